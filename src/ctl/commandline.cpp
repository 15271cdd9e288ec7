// The command line of lanportctl (see commandline.h).
#include "commandline.h"

#include "commands.h"
#include "messages.h"

namespace lanportctl {

namespace {

int help(const Session& session)
{
    for (const std::wstring& line : UsageLines()) session.output.out(line);
    return kExitSuccess;
}

int wrongCount(const Session& session, const std::wstring& command)
{
    return session.usageError(L"wrong number of arguments for " + command);
}

// add [--force] <address> [name]; "--" ends the options, so that a name may begin with "-".
int add(const Session& session, const std::vector<std::wstring>& args)
{
    bool force = false, options = true;
    std::vector<std::wstring> operands;
    for (const std::wstring& arg : args) {
        if (options && arg == L"--") {
            options = false;
        } else if (options && arg == L"--force") {
            force = true;
        } else if (options && arg.size() > 1 && arg[0] == L'-') {
            return session.usageError(L"unknown option for add: " + arg);
        } else {
            operands.push_back(arg);
        }
    }
    if (operands.empty() || operands.size() > 2) return wrongCount(session, L"add");
    return RunAdd(session, operands[0], operands.size() == 2 ? operands[1] : L"", force);
}

}  // namespace

int RunCommandLine(const std::vector<std::wstring>& args, const Session& session)
{
    if (args.empty()) return session.usageError(L"a command is required");
    const std::wstring& command = args[0];
    const std::vector<std::wstring> rest(args.begin() + 1, args.end());
    if (command == L"-h" || command == L"--help") return rest.empty() ? help(session) : wrongCount(session, command);
    if (command == L"add") return add(session, rest);
    if (command == L"list") return rest.empty() ? RunList(session) : wrongCount(session, command);
    if (command == L"show") return rest.size() == 1 ? RunShow(session, rest[0]) : wrongCount(session, command);
    if (command == L"set-address")
        return rest.size() == 2 ? RunSetAddress(session, rest[0], rest[1]) : wrongCount(session, command);
    if (command == L"delete") return rest.size() == 1 ? RunDelete(session, rest[0]) : wrongCount(session, command);
    return session.usageError(L"unknown command: " + command);
}

}  // namespace lanportctl
