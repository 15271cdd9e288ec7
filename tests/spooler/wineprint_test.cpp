// A RAW job printed through Wine's own spooler to a port of the shipped monitor: the
// simulated printer must receive the exact stream. Wine hands WritePort 4096-byte
// blocks and runs the job inside EndDocPrinter, on this thread; the product's own
// waits apply (the 10 s probe window, 500 ms per block), so these tests are slow.
#include <winsock2.h>
#include <windows.h>
#include <winspool.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "installedmonitor.h"
#include "portconfig.h"
#include "portkeys.h"
#include "printersim.h"
#include "records.h"
#include "spoolerprinter.h"
#include "portstatuscheck.h"
#include "utctime.h"
#include "waituntil.h"

namespace {

using lanport::kMonitorName;
using namespace testing_support;

class WinePrintTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WSADATA data;
        WSAStartup(MAKEWORD(1, 1), &data);
        ASSERT_EQ(CopyPackageFiles(), static_cast<DWORD>(ERROR_SUCCESS));
        ForgetMonitor();
    }
    void TearDown() override
    {
        printer.remove();
        ForgetMonitor();
    }

    // Registers the monitor with one port for `sim`, and a printer on that port.
    void install(const printersim::Printer& sim)
    {
        const std::string address = sim.address();
        port = L"Zephrin:" + std::wstring(address.begin(), address.end());
        WritePortKey(InstalledMonitorKey().key(), port, DefaultConfig(sim.ipAddress()));
        ASSERT_EQ(RegisterMonitor(), static_cast<DWORD>(ERROR_SUCCESS));

        ASSERT_EQ(printer.add(L"lanport test printer " + std::to_wstring(GetCurrentProcessId()), port),
                  static_cast<DWORD>(ERROR_SUCCESS));
    }

    void printRaw(const std::string& data) { ASSERT_TRUE(printer.printRaw(data)) << GetLastError(); }

    // A RAW job to a printer that may fail it: the spooler's results are not asserted,
    // only how long the job held this thread, in milliseconds.
    DWORD printRawTimed(const std::string& data)
    {
        DWORD start = GetTickCount();
        printer.printRaw(data);
        return GetTickCount() - start;
    }

    // The monitor's XCV handle, as an administration tool opens it; null when refused.
    static HANDLE openMonitorXcv()
    {
        PRINTER_DEFAULTSW admin{nullptr, nullptr, SERVER_ACCESS_ADMINISTER};
        HANDLE xcv = nullptr;
        const std::wstring name = std::wstring(L",XcvMonitor ") + kMonitorName;
        return OpenPrinterW(const_cast<LPWSTR>(name.c_str()), &xcv, &admin) ? xcv : nullptr;
    }

    SpoolerPrinter printer;
    std::wstring port;
};

// The product's waits that a job to a misbehaving printer may take in full: the probe
// window, 500 ms per 4096-byte block, and time for the machine.
DWORD jobAllowanceMs(size_t bytes)
{
    return 10000 + static_cast<DWORD>((bytes / 4096 + 1) * 500) + 10000;
}


// The port's "GetPortStatus" reply through the spooler; *ok is false when the call or the
// command failed.
GetPortStatusReply portStatus(HANDLE xcv, const std::wstring& port, bool* ok)
{
    GetPortStatusRequest request{};
    wcsncpy(request.portName, port.c_str(), 129);
    GetPortStatusReply reply;
    memset(&reply, 0xCD, sizeof reply);
    DWORD needed = 0, status = ~0u;
    *ok = XcvDataW(xcv, L"GetPortStatus", reinterpret_cast<BYTE*>(&request), sizeof request,
                   reinterpret_cast<BYTE*>(&reply), sizeof reply, &needed, &status) &&
          status == ERROR_SUCCESS && reply.errRc == kErrRcSuccess;
    return reply;
}

std::string jobData(size_t size = 9000)
{
    std::string data = "\x1b%-12345X@PJL ENTER LANGUAGE=PCL\r\n";
    for (int i = 0; data.size() < size; ++i) data += "line " + std::to_string(i) + " of the test job\r\n";
    return data;
}

}  // namespace

TEST_F(WinePrintTest, SlowRawJobReachesAPjlPrinterFramed)
{
    printersim::Printer sim({.pages = 2});
    ASSERT_TRUE(sim.Start());
    install(sim);
    std::string data = jobData();
    printRaw(data);
    auto connections = sim.Connections();
    ASSERT_EQ(connections.size(), 1u);
    EXPECT_EQ(connections[0].received,
              std::string(printersim::kEchoProbe) + std::string(printersim::kJobHeader) + data);
    ASSERT_FALSE(connections[0].sent.empty());
    EXPECT_EQ(connections[0].sent.back(), printersim::EndReport(2));
}

TEST_F(WinePrintTest, SlowRawJobReachesANonPjlPrinterUnframed)
{
    printersim::Printer sim({.pjl = false});
    ASSERT_TRUE(sim.Start());
    install(sim);
    std::string data = jobData();
    printRaw(data);
    ASSERT_TRUE(sim.WaitForClosed(2, 5000));
    auto connections = sim.Connections();
    ASSERT_EQ(connections.size(), 2u);
    EXPECT_EQ(connections[0].received, printersim::kEchoProbe);
    EXPECT_EQ(connections[1].received, data);
}

TEST_F(WinePrintTest, SlowNeverReadingPrinterDoesNotHoldTheSpooler)
{
    printersim::Printer sim({.pjl = false, .readLimit = 28});
    ASSERT_TRUE(sim.Start());
    install(sim);
    std::string data(40 * 1024, 'n');
    EXPECT_LT(printRawTimed(data), jobAllowanceMs(data.size())) << "the close does not linger";
}

TEST_F(WinePrintTest, SlowPrinterThatClosesAfterTheProbeThenRefusesEndsWithinTheSilence)
{
    printersim::Printer sim({.dropAfterBytes = 28, .acceptLimit = 1});
    ASSERT_TRUE(sim.Start());
    install(sim);
    std::string data = jobData();
    EXPECT_LT(printRawTimed(data), jobAllowanceMs(data.size()) + 120000);
}

TEST_F(WinePrintTest, SlowPrinterThatClosesEveryConnectionIsCalledAtAPace)
{
    printersim::Printer sim({.pages = 1, .quietMs = 2000, .ending = printersim::Ending::Close, .closeIdleMs = 100});
    ASSERT_TRUE(sim.Start());
    install(sim);
    std::string data = jobData();
    DWORD elapsed = printRawTimed(data);
    EXPECT_LT(elapsed, jobAllowanceMs(data.size()) + 120000) << "the printer's silence ends the wait";
    size_t reconnects = sim.Connections().size() - 1;
    EXPECT_GE(reconnects, 2u);
    EXPECT_LE(reconnects, elapsed / 5000 + 1) << "one connect per 5-second pause at most";
}

// Wine prints the job inside EndDocPrinter on this thread; an administrator deletes the
// port from another while its blocks go out.
TEST_F(WinePrintTest, SlowPortDeletedThroughXcvWhileItPrintsFinishesTheJob)
{
    printersim::Printer sim({.pages = 1});
    ASSERT_TRUE(sim.Start());
    install(sim);
    HANDLE xcv = openMonitorXcv();
    ASSERT_NE(xcv, nullptr) << GetLastError();
    // Twelve blocks: once the printer has the first, eleven pauses of 500 ms are left.
    constexpr size_t kBlock = 4096;
    std::string data = jobData(12 * kBlock);
    const size_t prefix = printersim::kEchoProbe.size() + printersim::kJobHeader.size();
    BOOL sent = FALSE;
    DWORD status = ~0u;
    unsigned long long receivedWhenDeleted = 0;
    std::thread deleter([&] {
        if (!sim.WaitForBytes(prefix + kBlock, 60000)) return;
        std::vector<WCHAR> name(port.begin(), port.end());
        name.push_back(L'\0');
        DWORD needed = 0;
        sent = XcvDataW(xcv, L"DeletePort", reinterpret_cast<BYTE*>(name.data()),
                        static_cast<DWORD>(name.size() * sizeof(WCHAR)), nullptr, 0, &needed, &status);
        receivedWhenDeleted = sim.BytesReceived();
    });
    printRaw(data);
    deleter.join();
    ClosePrinter(xcv);
    ASSERT_TRUE(sent) << "no deletion: the printer got too little, or XcvDataW failed";
    ASSERT_EQ(status, 0u);
    EXPECT_LT(receivedWhenDeleted, prefix + data.size()) << "the port went while the job was printing";
    auto connections = sim.Connections();
    ASSERT_EQ(connections.size(), 1u);
    EXPECT_EQ(connections[0].received, std::string(printersim::kEchoProbe) + std::string(printersim::kJobHeader) + data);
    EXPECT_FALSE(PortKeyExists(InstalledMonitorKey().key(), port));

    // The port is gone: the next job fails, and nothing reaches the printer.
    DOC_INFO_1W doc{const_cast<LPWSTR>(L"lanport test"), nullptr, const_cast<LPWSTR>(L"RAW")};
    DWORD job = StartDocPrinterW(printer.handle(), 1, reinterpret_cast<BYTE*>(&doc));
    BOOL ended = FALSE;
    if (job) {
        DWORD written = 0;
        WritePrinter(printer.handle(), const_cast<char*>(data.data()), kBlock, &written);
        ended = EndDocPrinter(printer.handle());
    }
    EXPECT_FALSE(job && ended) << "the job on the deleted port succeeded";
    EXPECT_EQ(sim.Connections().size(), 1u);
}

// Wine runs the job inside EndDocPrinter on this thread; another asks the monitor through
// the spooler how the port is doing. The printer reports its pages two seconds apart, so
// that each can be seen.
TEST_F(WinePrintTest, SlowPortStatusFollowsAJobThroughWinesSpooler)
{
    printersim::Printer sim({.pages = 3, .pageIntervalMs = 2000});
    ASSERT_TRUE(sim.Start());
    install(sim);
    HANDLE xcv = openMonitorXcv();
    ASSERT_NE(xcv, nullptr) << GetLastError();
    bool ok = false;
    GetPortStatusReply status = portStatus(xcv, port, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(status.jobInProgress, 0u);
    EXPECT_EQ(status.lastReport, kPortReportNone);
    EXPECT_EQ(TicksOf(status.lastReportTime), 0u);

    // What the watcher saw while the job printed: the job in progress on a busy port, and
    // two pages one after the other.
    struct Seen {
        bool inProgress = false;
        DWORD jobId = 0;
        DWORD pjlAnswered = 0;
        std::vector<LONG> pages;
    } seen;
    std::thread watcher([&] {
        bool answered = false;
        GetPortStatusReply now{};
        auto poll = [&] {
            now = portStatus(xcv, port, &answered);
            return answered && now.jobInProgress && (now.portFlags & kPortStatusBusy);
        };
        // StartDocPort's probe reads the printer's answer for a 10 s window.
        if (!testing_support::WaitUntil(poll, 60000)) return;
        seen.inProgress = true;
        seen.jobId = now.jobId;
        for (int rise = 0; rise < 2; ++rise) {
            LONG last = seen.pages.empty() ? 0 : seen.pages.back();
            if (!testing_support::WaitUntil(
                    [&] { return poll() && now.lastReport == kPortReportPage && now.lastPage > last; }, 60000))
                return;
            seen.pages.push_back(now.lastPage);
            seen.pjlAnswered = now.pjlAnswered;
        }
    });
    ULONGLONG started = UtcNow();
    DOC_INFO_1W doc{const_cast<LPWSTR>(L"lanport test"), nullptr, const_cast<LPWSTR>(L"RAW")};
    DWORD job = StartDocPrinterW(printer.handle(), 1, reinterpret_cast<BYTE*>(&doc));
    std::string data = jobData();
    DWORD written = 0;
    BOOL printed = job && WritePrinter(printer.handle(), data.data(), static_cast<DWORD>(data.size()), &written) &&
                   EndDocPrinter(printer.handle());
    ULONGLONG ended = UtcNow();
    watcher.join();
    ASSERT_TRUE(printed) << GetLastError();

    EXPECT_TRUE(seen.inProgress);
    // Wine's spooler hands StartDocPort no job id: the status has the 0 it was given.
    EXPECT_EQ(seen.jobId, 0u) << "spooler job " << job;
    EXPECT_EQ(seen.pjlAnswered, 1u);
    ASSERT_EQ(seen.pages.size(), 2u) << "pages seen while the job printed";
    EXPECT_LT(seen.pages[0], seen.pages[1]);

    status = portStatus(xcv, port, &ok);
    ClosePrinter(xcv);
    ASSERT_TRUE(ok);
    EXPECT_EQ(status.portFlags & kPortStatusBusy, 0u);
    ExpectEndedJob(status, 0, 3, started, ended);  // Wine's spooler gives no job id
}
