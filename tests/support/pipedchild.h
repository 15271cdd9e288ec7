// A child program driven line by line through its standard input and output.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testing_support {

class PipedChild {
public:
    PipedChild() = default;
    ~PipedChild();
    PipedChild(const PipedChild&) = delete;
    PipedChild& operator=(const PipedChild&) = delete;

    // Starts `program` with `arguments` (each quoted) in the current directory; false when
    // it cannot start.
    bool Start(const std::wstring& program, const std::vector<std::wstring>& arguments);
    // The next line the child printed, without its line end; empty when the child ended
    // or printed nothing within the time allowed.
    std::string ReadLine(DWORD timeoutMs = 30000);
    void Send(const std::string& line);
    // Waits for the child to end by itself; its exit code, or STILL_ACTIVE.
    DWORD WaitForExit(DWORD timeoutMs);
    // Sends "exit", closes the child's input and waits for it (ending it when it does
    // not); its exit code, or 0 when none was running.
    DWORD Stop();
    bool Running() const { return process_ != nullptr; }
    DWORD ProcessId() const { return process_ ? GetProcessId(process_) : 0; }

private:
    HANDLE process_ = nullptr;
    HANDLE input_ = nullptr;   // the child's stdin, our end
    HANDLE output_ = nullptr;  // the child's stdout, our end
    std::string pending_;
};

// This program's own path, and a program built beside it.
std::wstring OwnProgram();
std::wstring ProgramBeside(const wchar_t* name);

}  // namespace testing_support
