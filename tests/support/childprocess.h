// A program run as a child process, its standard output and error read through pipes.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testing_support {

struct ChildResult {
    bool started = false;
    bool finished = false;  // false: it ran longer than allowed and was ended
    DWORD exitCode = STILL_ACTIVE;
    std::string out;
    std::string err;
};

// Runs `program` with `arguments`, each quoted as the C run-time splits command lines,
// and waits at most `timeoutMs` for it.
ChildResult RunChild(const std::wstring& program, const std::vector<std::wstring>& arguments,
                     DWORD timeoutMs = 60000);

// The lines of a program's output, without their line ends.
std::vector<std::string> Lines(const std::string& text);

}  // namespace testing_support
