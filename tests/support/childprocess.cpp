// A program run as a child process (see childprocess.h).
#include "childprocess.h"

#include <cstdio>
#include <thread>

#include "startchild.h"

namespace testing_support {

namespace {

// One argument as CommandLineToArgvW and the C run-time read it back.
std::wstring quoted(const std::wstring& argument)
{
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) return argument;
    std::wstring text = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        text.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        text += c;
    }
    text.append(backslashes * 2, L'\\');
    return text + L"\"";
}

void readAll(HANDLE pipe, std::string* text)
{
    char buffer[512];
    DWORD read = 0;
    while (ReadFile(pipe, buffer, sizeof buffer, &read, nullptr) && read) text->append(buffer, read);
}

// The stacks of every thread of every process in the prefix, on this program's standard
// error: what a child that ran out of time was waiting for, and on whom. Under Windows,
// where there is no winedbg, nothing is printed.
void printWineStacks()
{
    WCHAR command[] = L"winedbg.exe --command \"bt all\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_ERROR_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION info{};
    if (!StartChild(nullptr, command, &startup, &info)) return;
    if (WaitForSingleObject(info.hProcess, 30000) != WAIT_OBJECT_0) TerminateProcess(info.hProcess, 1);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
}

}  // namespace

ChildResult RunChild(const std::wstring& program, const std::vector<std::wstring>& arguments, DWORD timeoutMs)
{
    ChildResult result;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE outRead, outWrite, errRead, errWrite;
    if (!CreatePipe(&outRead, &outWrite, &inherit, 0)) return result;
    if (!CreatePipe(&errRead, &errWrite, &inherit, 0)) {
        CloseHandle(outRead);
        CloseHandle(outWrite);
        return result;
    }
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);

    std::wstring command = quoted(program);
    for (const std::wstring& argument : arguments) command += L" " + quoted(argument);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = outWrite;
    startup.hStdError = errWrite;
    PROCESS_INFORMATION info{};
    result.started = StartChild(program.c_str(), command.data(), &startup, &info);
    // Our copies of the write ends go, so that the reads end with the child.
    CloseHandle(outWrite);
    CloseHandle(errWrite);
    if (result.started) {
        std::thread outReader(readAll, outRead, &result.out);
        std::thread errReader(readAll, errRead, &result.err);
        result.finished = WaitForSingleObject(info.hProcess, timeoutMs) == WAIT_OBJECT_0;
        if (!result.finished) {
            fprintf(stderr, "%ls ran longer than %lu ms; the stacks of the prefix's processes:\n",
                    program.c_str(), static_cast<unsigned long>(timeoutMs));
            fflush(stderr);
            printWineStacks();
            TerminateProcess(info.hProcess, 1);
            WaitForSingleObject(info.hProcess, INFINITE);
        }
        outReader.join();
        errReader.join();
        GetExitCodeProcess(info.hProcess, &result.exitCode);
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
    }
    CloseHandle(outRead);
    CloseHandle(errRead);
    return result;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

}  // namespace testing_support
