// The command line of lanportctl (see commandline.h).
#include "commandline.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>

#include "commands.h"
#include "messages.h"

namespace lanportctl {

namespace {

// A command's arguments sorted into options and operands; "--" ends the options, so that
// an operand may begin with "-".
struct Arguments {
    std::set<std::wstring> flags;
    std::map<std::wstring, std::wstring> values;
    std::vector<std::wstring> operands;

    bool has(const std::wstring& flag) const { return flags.count(flag) != 0; }
    const std::wstring* value(const std::wstring& option) const
    {
        auto found = values.find(option);
        return found == values.end() ? nullptr : &found->second;
    }
};

struct OptionNames {
    std::vector<std::wstring> flags;   // options on their own
    std::vector<std::wstring> valued;  // options followed by their value
};

bool listed(const std::vector<std::wstring>& names, const std::wstring& name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

int parse(const Session& session, const std::wstring& command, const std::vector<std::wstring>& args,
          const OptionNames& names, Arguments* parsed)
{
    bool options = true;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::wstring& arg = args[i];
        if (options && arg == L"--") {
            options = false;
        } else if (!options || arg.size() < 2 || arg[0] != L'-') {
            parsed->operands.push_back(arg);
        } else if (parsed->has(arg) || parsed->value(arg)) {
            return session.usageError(L"option " + arg + L" of " + command + L" given twice");
        } else if (listed(names.flags, arg)) {
            parsed->flags.insert(arg);
        } else if (!listed(names.valued, arg)) {
            return session.usageError(L"unknown option for " + command + L": " + arg);
        } else if (i + 1 == args.size()) {
            return session.usageError(L"option " + arg + L" of " + command + L" needs a value");
        } else {
            parsed->values[arg] = args[++i];
        }
    }
    return kExitSuccess;
}

int help(const Session& session)
{
    for (const std::wstring& line : UsageLines()) session.output.out(line);
    return kExitSuccess;
}

int wrongCount(const Session& session, const std::wstring& command)
{
    return session.usageError(L"wrong number of arguments for " + command);
}

Format formatOf(const Arguments& parsed)
{
    return parsed.has(L"--json") ? Format::Json : Format::Text;
}

// A whole decimal number within [min, max]; nothing for any other text.
std::optional<LONG> wholeNumber(const std::wstring& text, LONG min, LONG max)
{
    if (text.empty() || text.size() > 10) return std::nullopt;
    long long value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return std::nullopt;
        value = value * 10 + (c - L'0');
    }
    if (value < min || value > max) return std::nullopt;
    return static_cast<LONG>(value);
}

int number(const Session& session, const Arguments& parsed, const wchar_t* option, LONG min, LONG max,
           std::optional<LONG>* result)
{
    const std::wstring* text = parsed.value(option);
    if (!text) return kExitSuccess;
    *result = wholeNumber(*text, min, max);
    if (*result) return kExitSuccess;
    return session.invalidValue(std::wstring(option) + L" must be a whole number from " + std::to_wstring(min) +
                                L" to " + std::to_wstring(max) + L": " + *text);
}

int set(const Session& session, const std::vector<std::wstring>& args)
{
    Arguments parsed;
    if (int rc = parse(session, L"set", args,
                       {{}, {L"--address", L"--timeout", L"--retries", L"--community"}}, &parsed))
        return rc;
    if (parsed.operands.size() != 1) return wrongCount(session, L"set");
    if (parsed.values.empty())
        return session.usageError(L"set needs at least one of --address, --timeout, --retries, --community");
    PortChanges changes;
    if (const std::wstring* address = parsed.value(L"--address")) changes.address = *address;
    if (int rc = number(session, parsed, L"--timeout", kMinTimeout, kMaxTimeout, &changes.timeout)) return rc;
    if (int rc = number(session, parsed, L"--retries", kMinRetries, kMaxRetries, &changes.retryCount)) return rc;
    if (const std::wstring* community = parsed.value(L"--community")) {
        if (community->empty() || community->size() > kMaxCommunityChars)
            return session.invalidValue(L"--community must have 1 to " + std::to_wstring(kMaxCommunityChars) +
                                        L" characters, not " + std::to_wstring(community->size()));
        changes.community = *community;
    }
    return RunSet(session, parsed.operands[0], changes);
}

int add(const Session& session, const std::vector<std::wstring>& args)
{
    Arguments parsed;
    if (int rc = parse(session, L"add", args, {{L"--force"}, {}}, &parsed)) return rc;
    const std::vector<std::wstring>& operands = parsed.operands;
    if (operands.empty() || operands.size() > 2) return wrongCount(session, L"add");
    return RunAdd(session, operands[0], operands.size() == 2 ? operands[1] : L"", parsed.has(L"--force"));
}

// The commands that take --json and a fixed range of operands.
int formatted(const Session& session, const std::wstring& command, const std::vector<std::wstring>& args)
{
    Arguments parsed;
    if (int rc = parse(session, command, args, {{L"--json"}, {}}, &parsed)) return rc;
    const std::vector<std::wstring>& operands = parsed.operands;
    if (command == L"list") return operands.empty() ? RunList(session, formatOf(parsed)) : wrongCount(session, command);
    if (command == L"show")
        return operands.size() == 1 ? RunShow(session, operands[0], formatOf(parsed)) : wrongCount(session, command);
    if (operands.size() > 1) return wrongCount(session, command);
    return RunStatus(session, operands.empty() ? nullptr : &operands[0], formatOf(parsed));
}

bool isHelp(const std::wstring& command)
{
    for (const wchar_t* name : {L"-h", L"--help", L"-?", L"/?", L"help"})
        if (command == name) return true;
    return false;
}

// "\\name": the spooler's form of a server name; the name itself cannot hold the
// separators of the XCV object name.
bool validServerName(const std::wstring& server)
{
    return server.size() > 2 && server.compare(0, 2, L"\\\\") == 0 &&
           server.find_first_of(L"\\, ", 2) == std::wstring::npos;
}

}  // namespace

int RunCommandLine(const std::vector<std::wstring>& allArgs, const Session& given)
{
    Session session = given;
    auto next = allArgs.begin();
    if (next != allArgs.end() && *next == L"--server") {
        if (++next == allArgs.end()) return session.usageError(L"option --server needs a value");
        if (!validServerName(*next))
            return session.invalidValue(L"--server needs a server name of the form \\\\name: " + *next);
        session.server = *next++;
    }
    if (next == allArgs.end()) return session.usageError(L"a command is required");
    const std::wstring& command = *next;
    const std::vector<std::wstring> rest(next + 1, allArgs.end());
    if (isHelp(command)) return rest.empty() ? help(session) : wrongCount(session, command);
    if (command == L"add") return add(session, rest);
    if (command == L"list" || command == L"show" || command == L"status") return formatted(session, command, rest);
    if (command == L"set") return set(session, rest);
    if (command == L"set-address") {
        if (rest.size() != 2) return wrongCount(session, command);
        PortChanges changes;
        changes.address = rest[1];
        return RunSet(session, rest[0], changes);
    }
    if (command == L"delete") return rest.size() == 1 ? RunDelete(session, rest[0]) : wrongCount(session, command);
    return session.usageError(L"unknown command: " + command);
}

}  // namespace lanportctl
