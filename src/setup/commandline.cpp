// The installer's command-line switches.
#include "commandline.h"

#include <shellapi.h>

#include "messages.h"

namespace {

struct Switch {
    const wchar_t* name;
    bool SetupOptions::*flag;
};

constexpr Switch kSwitches[] = {
    {L"quiet", &SetupOptions::quiet},
    {L"uninstall", &SetupOptions::uninstall},
};

bool Apply(const wchar_t* argument, SetupOptions& options)
{
    if (argument[0] != L'/' && argument[0] != L'-') return false;
    for (const Switch& known : kSwitches) {
        if (lstrcmpiW(argument + 1, known.name) == 0) {
            options.*known.flag = true;
            return true;
        }
    }
    return false;
}

}  // namespace

SetupOptions ParseCommandLine(LPCWSTR commandLine)
{
    SetupOptions options;
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(commandLine, &count);
    if (!arguments) return options;
    for (int i = 1; i < count; ++i) {
        if (Apply(arguments[i], options) || !options.understood) continue;
        options.understood = false;
        options.unknown = Narrow(arguments[i]);
    }
    LocalFree(arguments);
    return options;
}
