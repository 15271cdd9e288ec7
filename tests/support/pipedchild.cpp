#include "pipedchild.h"

#include "startchild.h"

namespace testing_support {

namespace {

void closeHandle(HANDLE& handle)
{
    if (handle) CloseHandle(handle);
    handle = nullptr;
}

}  // namespace

PipedChild::~PipedChild()
{
    Stop();
}

bool PipedChild::Start(const std::wstring& program, const std::vector<std::wstring>& arguments)
{
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE childInput = nullptr, childOutput = nullptr;
    if (!CreatePipe(&childInput, &input_, &inherit, 0)) return false;
    if (!CreatePipe(&output_, &childOutput, &inherit, 0)) {
        closeHandle(childInput);
        closeHandle(input_);
        return false;
    }
    SetHandleInformation(input_, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(output_, HANDLE_FLAG_INHERIT, 0);

    std::wstring command = L"\"" + program + L"\"";
    for (const std::wstring& argument : arguments) command += L" \"" + argument + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childInput;
    startup.hStdOutput = childOutput;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION info{};
    BOOL started = StartChild(nullptr, command.data(), &startup, &info);
    CloseHandle(childInput);
    CloseHandle(childOutput);
    if (!started) {
        // Our pipe ends go too: Stop has nothing to stop.
        closeHandle(input_);
        closeHandle(output_);
        return false;
    }
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    return true;
}

std::string PipedChild::ReadLine(DWORD timeoutMs)
{
    DWORD deadline = GetTickCount() + timeoutMs;
    for (;;) {
        size_t end = pending_.find('\n');
        if (end != std::string::npos) {
            std::string line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return line;
        }
        DWORD available = 0;
        if (!output_ || !PeekNamedPipe(output_, nullptr, 0, nullptr, &available, nullptr)) return {};
        if (available == 0) {
            if (static_cast<LONG>(GetTickCount() - deadline) >= 0) return {};
            Sleep(10);
            continue;
        }
        char buffer[512];
        DWORD read = 0;
        if (!::ReadFile(output_, buffer, sizeof(buffer) < available ? sizeof(buffer) : available, &read,
                        nullptr))
            return {};
        pending_.append(buffer, read);
    }
}

void PipedChild::Send(const std::string& line)
{
    std::string text = line + "\n";
    DWORD written = 0;
    if (input_) ::WriteFile(input_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

DWORD PipedChild::WaitForExit(DWORD timeoutMs)
{
    DWORD code = STILL_ACTIVE;
    if (process_ && WaitForSingleObject(process_, timeoutMs) == WAIT_OBJECT_0) GetExitCodeProcess(process_, &code);
    return code;
}

DWORD PipedChild::Stop()
{
    if (!process_) return 0;
    Send("exit");
    closeHandle(input_);
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(process_, 30000) != WAIT_OBJECT_0) TerminateProcess(process_, 1);
    WaitForSingleObject(process_, 30000);
    GetExitCodeProcess(process_, &code);
    closeHandle(output_);
    closeHandle(process_);
    pending_.clear();
    return code;
}

std::wstring OwnProgram()
{
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::wstring(path, length);
}

std::wstring ProgramBeside(const wchar_t* name)
{
    std::wstring dir = OwnProgram();
    dir.resize(dir.find_last_of(L'\\') + 1);
    return dir + name;
}

}  // namespace testing_support
