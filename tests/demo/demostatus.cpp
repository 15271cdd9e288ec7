// `lanportctl status` for the demo's port, run inside the printing program: Wine's
// spooler runs the monitor in the program that prints, so only there does the monitor
// know the job in progress.
#include <windows.h>

#include <cstdio>
#include <string>

#include "commandline.h"
#include "demotool.h"
#include "xcvclient.h"
#include "xcvrequests.h"

namespace {

std::string utf8(const std::wstring& line)
{
    int bytes = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string text(bytes > 0 ? bytes - 1 : 0, '\0');
    if (bytes > 1) WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, text.data(), bytes, nullptr, nullptr);
    return text;
}

// lanportctl's lines, indented under the demo's own.
class IndentedOutput : public lanportctl::Output {
public:
    void out(const std::wstring& line) override { printf("  %s\n", utf8(line).c_str()); }
    void err(const std::wstring& line) override { fprintf(stderr, "  %s\n", utf8(line).c_str()); }
};

// The printer has reported a page of the job in progress.
bool pagePrinting(HANDLE xcv, const std::wstring& port)
{
    GetPortStatusReply status{};
    return lanportctl::IssueGetPortStatus(xcv, port, &status).succeeded() && status.jobInProgress &&
           status.lastReport == kPortReportPage;
}

// How often the watch asks while it waits for the first page.
constexpr DWORD kPollMs = 20;

}  // namespace

void ShowPortStatus(const std::wstring& port, const char* when)
{
    printf("lanportctl status %s (%s):\n", utf8(port).c_str(), when);
    IndentedOutput output;
    const lanportctl::Session session{lanportctl::kMonitorName, output, L""};
    lanportctl::RunCommandLine({L"status", port}, session);
}

StatusWatch::StatusWatch(const std::wstring& port)
    : port_(port), ended_(CreateEventW(nullptr, TRUE, FALSE, nullptr)), thread_([this] { watch(); })
{
}

StatusWatch::~StatusWatch()
{
    SetEvent(ended_);
    thread_.join();
    CloseHandle(ended_);
}

void StatusWatch::watch()
{
    HANDLE xcv = lanportui::getXcvHandle(nullptr, port_.c_str(), FALSE);
    if (!xcv) return;
    // Until the first page report or the job's end, whichever comes first.
    while (!pagePrinting(xcv, port_)) {
        if (WaitForSingleObject(ended_, kPollMs) == WAIT_OBJECT_0) {
            lanportui::closeXcvHandle(xcv);
            return;
        }
    }
    lanportui::closeXcvHandle(xcv);
    ShowPortStatus(port_, "while the printer reports its pages");
}
