// Runs the staged installer as an administrator who answers every question with Yes.
#include <windows.h>

#include <cstdio>
#include <set>
#include <string>

#include "demotool.h"
#include "messageboxes.h"

namespace {

constexpr char kStaging[] = "c:\\temp\\pmon";
constexpr char kSuccessText[] = "Zephrin TCPIP Port Monitor was installed successfully !";
constexpr DWORD kTimeLimitMs = 120000;

// The box's text on one line, for the demo's output.
std::string oneLine(std::string text)
{
    std::string line;
    bool space = false;
    for (char c : text) {
        if (c == '\r' || c == '\n' || c == ' ') {
            space = !line.empty();
            continue;
        }
        if (space) line += ' ';
        space = false;
        line += c;
    }
    return line;
}

}  // namespace

int RunSetupUnattended()
{
    std::string path = std::string(kStaging) + "\\Setup.exe";
    std::string commandLine = "\"" + path + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, kStaging, &startup,
                        &process)) {
        fprintf(stderr, "demotool: cannot start %s (error %lu)\n", path.c_str(), GetLastError());
        return 1;
    }
    bool succeeded = false, ended = false;
    std::set<HWND> answered;
    DWORD start = GetTickCount();
    while (!ended && GetTickCount() - start < kTimeLimitMs) {
        ended = WaitForSingleObject(process.hProcess, 50) == WAIT_OBJECT_0;
        for (HWND box : testwin::Dialogs(process.dwProcessId)) {
            // The progress window is a dialog too, but it has no button to answer.
            bool yes = testwin::HasButton(box, IDYES), ok = testwin::HasButton(box, IDOK);
            if ((!yes && !ok) || answered.count(box)) continue;
            std::string caption = testwin::WindowText(box), text = testwin::BoxText(box);
            if (caption.empty() || text.empty()) continue;
            answered.insert(box);
            printf("the installer says: \"%s\" -> %s\n", oneLine(text).c_str(), yes ? "Yes" : "OK");
            if (text == kSuccessText) succeeded = true;
            testwin::Press(box, yes ? IDYES : IDOK);
        }
        for (auto it = answered.begin(); it != answered.end();) it = IsWindow(*it) ? std::next(it) : answered.erase(it);
    }
    DWORD exitCode = STILL_ACTIVE;
    if (!ended) {
        fprintf(stderr, "demotool: the installer did not end within %lu s\n", kTimeLimitMs / 1000);
        TerminateProcess(process.hProcess, 1);
    } else {
        GetExitCodeProcess(process.hProcess, &exitCode);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (ended && !succeeded) fprintf(stderr, "demotool: the installer ended without reporting success\n");
    return ended && succeeded && exitCode == 0 ? 0 : 1;
}
