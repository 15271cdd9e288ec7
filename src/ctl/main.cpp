// lanportctl: administers the monitor's ports from the command line, through the print
// spooler as the port dialogs do.
#include <windows.h>

#include <new>
#include <string>
#include <vector>

#include "commandline.h"
#include "session.h"

namespace {

// Lines to the console as wide text; to a file or a pipe as UTF-8.
class ConsoleOutput : public lanportctl::Output {
public:
    void out(const std::wstring& line) override { write(STD_OUTPUT_HANDLE, line); }
    void err(const std::wstring& line) override { write(STD_ERROR_HANDLE, line); }

private:
    static void write(DWORD which, const std::wstring& line)
    {
        HANDLE handle = GetStdHandle(which);
        if (handle == INVALID_HANDLE_VALUE || !handle) return;
        const std::wstring text = line + L"\r\n";
        const int chars = static_cast<int>(text.size());
        DWORD mode = 0, written = 0;
        if (GetConsoleMode(handle, &mode)) {
            WriteConsoleW(handle, text.c_str(), chars, &written, nullptr);
            return;
        }
        int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), chars, nullptr, 0, nullptr, nullptr);
        std::string narrow(bytes, '\0');
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), chars, narrow.data(), bytes, nullptr, nullptr);
        WriteFile(handle, narrow.data(), static_cast<DWORD>(narrow.size()), &written, nullptr);
    }
};

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    ConsoleOutput output;
    const lanportctl::Session session{lanportctl::kMonitorName, output, L""};
    try {
        return lanportctl::RunCommandLine(std::vector<std::wstring>(argv + 1, argv + argc), session);
    } catch (const std::bad_alloc&) {
        return session.fail(L"out of memory");
    }
}
