// What every command of lanportctl works with: the monitor it administers, the server
// whose spooler it asks, where its lines go, and the program's exit statuses.
#pragma once

#include <windows.h>

#include <string>

#include "names.h"

namespace lanportctl {

using lanport::kMonitorName;
constexpr WCHAR kProgramName[] = L"lanportctl";

constexpr int kExitSuccess = 0;
constexpr int kExitRefused = 1;       // the monitor or the spooler said no
constexpr int kExitUsage = 2;         // the command line names no command, option or operand count we know
constexpr int kExitInvalidValue = 3;  // an option's value is out of its range; nothing was sent
constexpr int kExitServer = 4;        // the spooler of the server named by --server refused or cannot be reached

// Where a command's lines go, one line a call, without the line end: results to out,
// failures to err.
class Output {
public:
    virtual ~Output() = default;
    virtual void out(const std::wstring& line) = 0;
    virtual void err(const std::wstring& line) = 0;
};

struct Session {
    std::wstring monitor;
    Output& output;
    std::wstring server;  // "\\name" from --server; empty for this computer's spooler

    // The server name as the spooler's functions take it: NULL for this computer.
    LPCWSTR serverName() const { return server.empty() ? nullptr : server.c_str(); }

    // Reports a refusal as "lanportctl: <message>" and gives its exit status.
    int fail(const std::wstring& message) const;
    int usageError(const std::wstring& message) const;
    int invalidValue(const std::wstring& message) const;
    // The spooler failed `what` with `error`: a refusal on this computer, the server's
    // own status when --server named one.
    int spoolerFailed(const std::wstring& what, DWORD error) const;
};

}  // namespace lanportctl
