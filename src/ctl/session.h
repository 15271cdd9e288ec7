// What every command of lanportctl works with: the monitor it administers, where its
// lines go, and the program's exit statuses.
#pragma once

#include <windows.h>

#include <string>

#include "names.h"

namespace lanportctl {

using lanport::kMonitorName;
constexpr WCHAR kProgramName[] = L"lanportctl";

constexpr int kExitSuccess = 0;
constexpr int kExitRefused = 1;  // the monitor or the spooler said no
constexpr int kExitUsage = 2;

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

    // Reports a refusal as "lanportctl: <message>" and gives its exit status.
    int fail(const std::wstring& message) const;
    int usageError(const std::wstring& message) const;
};

}  // namespace lanportctl
