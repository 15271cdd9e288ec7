// The garbage collector with passes every 120 ms and a clock the tests move forward.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "footprint.h"
#include "garbage.h"
#include "monitor.h"
#include "monitorfixture.h"
#include "pmuports.h"
#include "printersim.h"
#include "standin_client.h"
#include "test_seams.h"
#include "trace.h"

using namespace testing_support;

namespace {

class CollectorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WriteFile("lanportm.cfg", "traceon 1");
        ASSERT_TRUE(TraceStart());
        // Before the monitor starts: the collector's first sleep is shortened too.
        testseams::SetWaitDivisor(divisor);
        standin::Reset();
        monitor = StartMonitor(root.key());
        ASSERT_NE(monitor, nullptr);
    }
    void TearDown() override
    {
        TraceStop();
        testseams::Reset();
    }

    QelPort* add(const wchar_t* name, LONG timeout = 300, LONG retryCount = 2)
    {
        ConfigInfo config = DefaultConfig("10.0.0.1");
        config.ipAddress += static_cast<DWORD>(++ports) << 24;
        config.timeout = timeout;
        config.retryCount = retryCount;
        return CreatePortEntry(name, &config);
    }
    QelJob* addJob(QelPort* port, DWORD jobId)
    {
        QelJob job{};
        job.port = port;
        job.jobId = jobId;
        job.socket = -1;
        job.JobIdOnPrintDevice = -1;
        return CreateJobEntry(&job);
    }
    std::vector<std::string> messages()
    {
        std::vector<std::string> result;
        for (const auto& line : ReadLines("lanportm.log")) result.push_back(MessageOf(line));
        return result;
    }
    int count(const std::string& message)
    {
        auto all = messages();
        return static_cast<int>(std::count(all.begin(), all.end(), message));
    }
    // Waits until `passes` more collection passes have ended (a loaded machine slows the
    // shortened passes; only a collector that stops fails the wait).
    void waitForPasses(int passes, DWORD timeoutMs = 60000)
    {
        int target = count("GarbageCollection: Done") + passes;
        for (DWORD start = GetTickCount(); GetTickCount() - start < timeoutMs && count("GarbageCollection: Done") < target;)
            Sleep(20);
        auto all = messages();
        ASSERT_GE(count("GarbageCollection: Done"), target)
            << all.size() << " lines, last: " << (all.empty() ? "" : all.back());
    }
    int collected(const std::string& port) { return count("GarbageCollection: Collecting port " + port); }

    // A port on a simulated printer, opened as the spooler opens it.
    HANDLE openPrinterPort(const wchar_t* name, const printersim::Printer& printer, DWORD monitorLevel = 1)
    {
        ConfigInfo config = DefaultConfig("127.0.0.1");
        config.ipAddress = printer.ipAddress();
        config.monitorLevel = monitorLevel;
        EXPECT_NE(CreatePortEntry(name, &config), nullptr);
        HANDLE handle = nullptr;
        EXPECT_TRUE(monitor->pfnOpenPort(nullptr, const_cast<LPWSTR>(name), &handle));
        return handle;
    }
    BOOL startDoc(HANDLE handle, DWORD jobId = 0)
    {
        DOC_INFO_1W doc{const_cast<LPWSTR>(L"Report"), nullptr, const_cast<LPWSTR>(L"RAW")};
        return monitor->pfnStartDocPort(handle, const_cast<LPWSTR>(L"Office"), jobId, 1, reinterpret_cast<BYTE*>(&doc));
    }
    BOOL write(HANDLE handle, std::string data)
    {
        DWORD written = 0;
        return monitor->pfnWritePort(handle, reinterpret_cast<BYTE*>(data.data()), static_cast<DWORD>(data.size()),
                                     &written) &&
               written == data.size();
    }
    DWORD deletePort(const std::wstring& name)
    {
        DWORD none = 0;
        return monitor->pfnXcvDataPort(reinterpret_cast<HANDLE>(1), L"DeletePort",
                                       reinterpret_cast<BYTE*>(const_cast<wchar_t*>(name.c_str())),
                                       static_cast<DWORD>((name.size() + 1) * sizeof(wchar_t)), nullptr, 0, &none);
    }

    DWORD divisor = 1000;
    ScratchDirectory scratch;
    RegistryRoot root;
    LPMONITOR2 monitor = nullptr;
    int ports = 0;
};

}  // namespace

TEST_F(CollectorTest, DefaultPortFreedInTheFirstPassAfterThirtySeconds)
{
    add(L"p");
    ASSERT_TRUE(DeletePortEntry(L"p"));
    waitForPasses(2);
    // A second short of the delay, allowing for the real second that may pass meanwhile.
    testseams::AdvanceClock(28);
    waitForPasses(2);
    EXPECT_EQ(collected("p"), 0);
    EXPECT_GE(count("GarbageCollection: Some garbage not collected--putting back in list"), 1);
    testseams::AdvanceClock(2);
    waitForPasses(2);
    EXPECT_EQ(collected("p"), 1);
    EXPECT_EQ(garbageList, nullptr);
}

TEST_F(CollectorTest, LongDelayPortWaitsItsWholeDelay)
{
    QelPort* port = add(L"slow", 3000, 4);
    ASSERT_EQ(port->collectDelay, 300u);
    ASSERT_TRUE(DeletePortEntry(L"slow"));
    testseams::AdvanceClock(298);
    waitForPasses(2);
    EXPECT_EQ(collected("slow"), 0);
    testseams::AdvanceClock(2);
    waitForPasses(2);
    EXPECT_EQ(collected("slow"), 1);
}

TEST_F(CollectorTest, RecordQueuedTwiceCountsFromItsLaterQueuing)
{
    QelPort* port = add(L"p");
    ASSERT_TRUE(DeletePortEntry(L"p"));
    waitForPasses(1);
    testseams::AdvanceClock(20);
    ASSERT_TRUE(AddToGarbage(kGarbagePort, port));
    testseams::AdvanceClock(15);
    waitForPasses(2);
    EXPECT_EQ(collected("p"), 0);
    EXPECT_GE(count("EliminateDuplicates: Duplicate entry found: port p"), 1);
    testseams::AdvanceClock(15);
    waitForPasses(2);
    EXPECT_EQ(collected("p"), 1);
}

TEST_F(CollectorTest, JobQueuedBeforeItsPortGoesFirst)
{
    QelPort* port = add(L"p");
    QelJob* job = addJob(port, 7);
    ASSERT_TRUE(DeleteJobEntry(job));
    testseams::AdvanceClock(10);
    ASSERT_TRUE(DeletePortEntry(L"p"));
    testseams::AdvanceClock(25);
    waitForPasses(2);
    EXPECT_EQ(count("GarbageCollection: Collecting job 7 on port p"), 1);
    EXPECT_EQ(collected("p"), 0);
    testseams::AdvanceClock(10);
    waitForPasses(2);
    EXPECT_EQ(collected("p"), 1);
}

TEST_F(CollectorTest, PortWaitsForAJobQueuedAfterIt)
{
    QelPort* port = add(L"p");
    QelJob* job = addJob(port, 8);
    ASSERT_TRUE(DeletePortEntry(L"p"));
    testseams::AdvanceClock(10);
    ASSERT_TRUE(DeleteJobEntry(job));
    testseams::AdvanceClock(25);
    waitForPasses(2);
    // The port is due but its job is not; the job reads its port, so the port stays.
    EXPECT_EQ(collected("p"), 0);
    testseams::AdvanceClock(10);
    waitForPasses(2);
    auto all = messages();
    auto jobLine = std::find(all.begin(), all.end(), "GarbageCollection: Collecting job 8 on port p");
    auto portLine = std::find(all.begin(), all.end(), "GarbageCollection: Collecting port p");
    ASSERT_NE(jobLine, all.end());
    ASSERT_NE(portLine, all.end());
    EXPECT_LT(jobLine - all.begin(), portLine - all.begin());
}

TEST_F(CollectorTest, RecordsQueuedDuringPassesAreAllCollectedOnce)
{
    constexpr int kPorts = 150;
    for (int i = 0; i < kPorts; ++i) {
        std::wstring name = L"p" + std::to_wstring(i);
        add(name.c_str());
        ASSERT_TRUE(DeletePortEntry(name.c_str()));
        if (i % 10 == 0) Sleep(15);
    }
    testseams::AdvanceClock(31);
    waitForPasses(2);
    for (int i = 0; i < kPorts; ++i) EXPECT_EQ(collected("p" + std::to_string(i)), 1) << i;
    EXPECT_EQ(garbageList, nullptr);
}

TEST_F(CollectorTest, DeletedPortOutlivesItsJobAndItsHandle)
{
    printersim::Printer printer({.pjl = false});
    ASSERT_TRUE(printer.Start());
    HANDLE handle = openPrinterPort(L"p", printer);
    ASSERT_TRUE(startDoc(handle));
    ASSERT_TRUE(write(handle, "first block;"));
    ASSERT_EQ(deletePort(L"p"), 0u);
    EXPECT_EQ(FindPortEntryByName(L"p"), nullptr);
    // Past the delay, passes come and go: the job goes on on the deleted port.
    testseams::AdvanceClock(31);
    waitForPasses(2);
    EXPECT_EQ(collected("p"), 0);
    auto* port = static_cast<QelPort*>(handle);
    EXPECT_EQ(port->signature, kPortSignature);
    ASSERT_TRUE(write(handle, "second block"));
    ASSERT_TRUE(monitor->pfnEndDocPort(handle));
    ASSERT_TRUE(printer.WaitForBytes(printersim::kEchoProbe.size() + 24, 10000));
    EXPECT_EQ(printer.Received(), std::string(printersim::kEchoProbe) + "first block;second block");
    waitForPasses(2);
    EXPECT_EQ(collected("p"), 0) << "the handle is still open";
    // No new work on the stale handle.
    SetLastError(0);
    EXPECT_FALSE(startDoc(handle));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_UNKNOWN_PORT));
    SetLastError(0);
    EXPECT_FALSE(write(handle, "late"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_UNKNOWN_PORT));
    EXPECT_EQ(count("StartDocPort: Port p has been deleted"), 1);
    EXPECT_EQ(count("WritePort: Port p has been deleted"), 1);
    ASSERT_TRUE(monitor->pfnClosePort(handle));
    waitForPasses(2);
    EXPECT_EQ(collected("p"), 1);
    EXPECT_EQ(garbageList, nullptr);
}

TEST_F(CollectorTest, MonitoredJobsLeaveNothingBehind)
{
    // Jobs with a status listener (PJL) and without, with the printer handle left to the
    // record (TRX product) and without. The steady-state benchmark runs ten thousand.
    struct Case {
        bool pjl;
        BOOL trx;
        int jobs;
    };
    constexpr Case kCases[] = {{true, FALSE, 150}, {true, TRUE, 75}, {false, FALSE, 75}};
    printersim::Printer printer({.pages = 1, .quietMs = 20});
    printersim::Printer silent({.pjl = false});
    ASSERT_TRUE(printer.Start());
    ASSERT_TRUE(silent.Start());
    HANDLE talking = openPrinterPort(L"talking", printer, 6);
    HANDLE quiet = openPrinterPort(L"quiet", silent, 6);
    auto runJob = [&](HANDLE handle, DWORD jobId) {
        standin::DefineJob(jobId, L"RAW", 0);
        ASSERT_TRUE(startDoc(handle, jobId));
        ASSERT_TRUE(write(handle, "job"));
        ASSERT_TRUE(monitor->pfnEndDocPort(handle));
    };
    auto settle = [&] {
        testseams::AdvanceClock(31);
        waitForPasses(2);
    };
    runJob(talking, 1);
    runJob(quiet, 2);
    settle();
    // The simulated printers run in this process and keep a thread handle for each
    // connection they accepted; everything else must be back where it was.
    auto connections = [&] { return static_cast<DWORD>(printer.Connections().size() + silent.Connections().size()); };
    DWORD handlesBefore = ProcessHandleCount() - connections();
    ASSERT_GT(handlesBefore, 0u);
    LONG printersBefore = standin::OpenPrinters();
    DWORD jobId = 10;
    for (const auto& c : kCases) {
        trxInstalled = c.trx;
        for (int i = 0; i < c.jobs; ++i) {
            runJob(c.pjl ? talking : quiet, ++jobId);
            ASSERT_FALSE(HasFatalFailure()) << "job " << jobId;
        }
    }
    trxInstalled = FALSE;
    EXPECT_EQ(activeJobCount, 0u);
    EXPECT_EQ(WaitForSingleObject(activeJobsEvent, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    for (HANDLE handle : {talking, quiet}) EXPECT_EQ(static_cast<QelPort*>(handle)->firstJob, nullptr);
    settle();
    EXPECT_EQ(garbageList, nullptr);
    EXPECT_EQ(standin::OpenPrinters(), printersBefore);
    // A leak would show once per job, hundreds of times; a few handles come from the
    // first uses of Wine's and the harness's own objects.
    EXPECT_LE(ProcessHandleCount() - connections(), handlesBefore + 10);
    EXPECT_EQ(standin::BadCloses(), 0u);
}

class RealTimeCollectorTest : public CollectorTest {
protected:
    RealTimeCollectorTest() { divisor = 1; }
};

TEST_F(RealTimeCollectorTest, SlowDeletedPortSurvivesTheFirstRealPassWhileItsJobRuns)
{
    printersim::Printer printer({.pjl = false});
    ASSERT_TRUE(printer.Start());
    HANDLE handle = openPrinterPort(L"p", printer);
    ASSERT_TRUE(startDoc(handle));
    ASSERT_EQ(deletePort(L"p"), 0u);
    // The first pass comes two minutes after the start; the port is long due by then.
    waitForPasses(1, 150000);
    EXPECT_EQ(collected("p"), 0);
    EXPECT_EQ(count("GarbageCollection: Some garbage not collected--putting back in list"), 1);
    ASSERT_TRUE(write(handle, "after the pass"));
    ASSERT_TRUE(monitor->pfnEndDocPort(handle));
    ASSERT_TRUE(printer.WaitForBytes(printersim::kEchoProbe.size() + 14, 10000));
    EXPECT_EQ(printer.Received(), std::string(printersim::kEchoProbe) + "after the pass");
    EXPECT_TRUE(monitor->pfnClosePort(handle));
}
