// The installer's command-line switches.
#pragma once

#include <windows.h>

#include <string>

struct SetupOptions {
    bool quiet = false;      // no window, no message box
    bool uninstall = false;  // remove the monitor instead of installing it
    bool understood = true;  // false: a switch not understood, the first one in `unknown`
    std::string unknown;
};

// Reads the switches of `commandLine` (the whole line, program name first): "/quiet" and
// "/uninstall", also with "-" in front of them, in any case.
SetupOptions ParseCommandLine(LPCWSTR commandLine);
