// "GetPortStatus" through the monitor's table while jobs print to simulated printers: the
// port's flags, the job in progress, the printer's reports as they come, and the last
// connection error.
#include <gtest/gtest.h>

#include "jobfixture.h"
#include "portstatuscheck.h"
#include "utctime.h"
#include "waituntil.h"

using namespace testing_support;

namespace {

const std::string kJob = "%!PS\n" + std::string(20 * 1024, 's');

}  // namespace

TEST_F(PrintPathTest, StatusOfAPortThatNeverPrintedIsEmpty)
{
    Station station = addStation(L"S0", {.pages = 1});
    GetPortStatusReply status = portStatus(station.name);
    EXPECT_EQ(status.portFlags, kPortStatusOpen);
    EXPECT_EQ(status.jobInProgress, 0u);
    EXPECT_EQ(status.jobId, 0u);
    EXPECT_EQ(status.pjlAnswered, 0u);
    EXPECT_EQ(status.lastPage, 0);
    EXPECT_EQ(status.lastReport, kPortReportNone);
    EXPECT_EQ(TicksOf(status.lastReportTime), 0u);
    EXPECT_EQ(status.lastConnectionError, 0u);
}

// The printer reports its pages a while apart, so that each one can be seen.
TEST_F(PrintPathTest, StatusFollowsTheJobFromItsStartToThePrintersEnd)
{
    Station station = addStation(L"S1", {.pages = 3, .pageIntervalMs = 300});
    standin::DefineJob(300, L"RAW", 0);
    ULONGLONG started = UtcNow();
    ASSERT_TRUE(startDoc(station.handle, L"Office", 300));
    GetPortStatusReply status = portStatus(station.name);
    EXPECT_EQ(status.portFlags, kPortStatusOpen | kPortStatusBusy);
    EXPECT_EQ(status.jobInProgress, 1u);
    EXPECT_EQ(status.jobId, 300u);
    EXPECT_EQ(status.pjlAnswered, 1u);
    ASSERT_TRUE(write(station.handle, kJob));

    LONG seen = 0;
    for (int rise = 0; rise < 2; ++rise) {
        ASSERT_TRUE(WaitUntil([&] {
            status = portStatus(station.name);
            return status.lastReport == kPortReportPage && status.lastPage > seen;
        })) << "after page " << seen;
        EXPECT_EQ(status.jobInProgress, 1u);
        EXPECT_EQ(status.portFlags & kPortStatusBusy, kPortStatusBusy);
        seen = status.lastPage;
    }
    ASSERT_TRUE(WaitUntil([&] { return portStatus(station.name).lastReport == kPortReportEnd; }));
    EXPECT_EQ(portStatus(station.name).jobInProgress, 1u) << "EndDocPort has not come yet";

    ASSERT_TRUE(endDoc(station.handle));
    ULONGLONG ended = UtcNow();
    status = portStatus(station.name);
    EXPECT_EQ(status.portFlags, kPortStatusOpen);
    ExpectEndedJob(status, 300, 3, started, ended);
}

TEST_F(PrintPathTest, StatusOfANonPjlPrinterHasNoReports)
{
    Station station = addStation(L"S2", {.pjl = false});
    printJob(station, L"Office", 301, kJob);
    GetPortStatusReply status = portStatus(station.name);
    EXPECT_EQ(status.jobId, 301u);
    EXPECT_EQ(status.jobInProgress, 0u);
    EXPECT_EQ(status.pjlAnswered, 0u);
    EXPECT_EQ(status.lastReport, kPortReportNone);
    EXPECT_EQ(TicksOf(status.lastReportTime), 0u);
}

// The Winsock error of the job's connection: a refused connect, a reset in the middle of
// the data. The next job starts without it.
TEST_F(PrintPathTest, StatusKeepsTheJobsLastConnectionError)
{
    Station reset = addStation(L"S3", {.pages = 1, .dropAfterBytes = kProbeAndHeader + 2000, .resetOnDrop = true});
    runJob(reset, L"Office", 302, kJob, 10);
    GetPortStatusReply status = portStatus(reset.name);
    EXPECT_EQ(status.lastConnectionError, static_cast<DWORD>(WSAECONNRESET));
    EXPECT_EQ(status.jobInProgress, 0u);
    standin::DefineJob(303, L"RAW", 0);
    ASSERT_TRUE(startDoc(reset.handle, L"Office", 303));
    EXPECT_EQ(portStatus(reset.name).lastConnectionError, 0u) << "a new job, connected";
    write(reset.handle, kJob);
    endDoc(reset.handle);

    ASSERT_NE(addPort(L"S4", inet_addr(printersim::kRefusingAddress)), nullptr);
    HANDLE refusing = nullptr;
    ASSERT_TRUE(monitor->pfnOpenPort(nullptr, const_cast<LPWSTR>(L"S4"), &refusing));
    standin::DefineJob(304, L"RAW", 0);
    ASSERT_TRUE(startDoc(refusing, L"Office", 304));
    EXPECT_EQ(portStatus(L"S4").lastConnectionError, static_cast<DWORD>(WSAECONNREFUSED));
    write(refusing, kJob);
    endDoc(refusing);
    status = portStatus(L"S4");
    EXPECT_EQ(status.lastConnectionError, static_cast<DWORD>(WSAECONNREFUSED));
    EXPECT_EQ(status.pjlAnswered, 0u);
}
