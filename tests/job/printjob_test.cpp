// Job submission end to end against simulated printers, with the spooler stand-in:
// the bytes on the wire, the spooler's job status, restarts, record reuse, the bounded
// wait for the printer's end, and several ports at once.
#include <gtest/gtest.h>

#include <thread>

#include "jobfixture.h"
#include "listener.h"
#include "monitor.h"
#include "paths.h"
#include "pjl.h"
#include "printjob.h"

using namespace testing_support;
using printersim::Ending;
using printersim::Options;
using printersim::Reports;

namespace {

const std::string kData = "%!PS\nshowpage\n" + std::string(3000, 'x');

std::wstring tail(const std::wstring& status)
{
    size_t at = status.find(L"TRX:");
    return at == std::wstring::npos ? L"" : status.substr(at - 20);
}

}  // namespace

TEST_F(PrintPathTest, PjlPrinterGetsProbeHeaderDataInOrder)
{
    Station station = addStation(L"P1", {.pages = 3});
    printJob(station, L"Office", 41, kData);
    auto connections = station.printer->Connections();
    ASSERT_EQ(connections.size(), 1u);
    EXPECT_EQ(connections[0].received,
              std::string(printersim::kEchoProbe) + std::string(printersim::kJobHeader) + kData);
    EXPECT_EQ(standin::OpenPrinters(), 0) << "the printer handle stays open";
    EXPECT_EQ(standin::BadCloses(), 0u);
}

TEST_F(PrintPathTest, PjlStatusReachesTheSpoolerJob)
{
    Station station = addStation(L"P1", {.pages = 3});
    printJob(station, L"Office", 42, kData);
    auto updates = statusUpdates(42);
    ASSERT_EQ(updates.size(), 5u);
    EXPECT_EQ(updates[0].status, ResourceText(2));
    for (int page = 1; page <= 3; ++page) {
        EXPECT_EQ(updates[page].status, ResourceText(6, page));
        EXPECT_EQ(updates[page].pagesPrinted, static_cast<DWORD>(page));
        EXPECT_EQ(updates[page].command, 0u);
    }
    EXPECT_EQ(updates[4].status, ResourceText(8, 3));
    for (const auto& update : updates) EXPECT_EQ(update.position, static_cast<DWORD>(JOB_POSITION_UNSPECIFIED));
    // The listener's end (7), then EndDocPort's completion (7).
    EXPECT_EQ(commands(42), (std::vector<DWORD>{0, 0, 0, 0, JOB_CONTROL_LAST_PAGE_EJECTED, JOB_CONTROL_LAST_PAGE_EJECTED}));
}

TEST_F(PrintPathTest, CancelReportCancelsTheSpoolerJob)
{
    Station station = addStation(L"P1", {.pages = 1, .ending = Ending::Canceled});
    printJob(station, L"Office", 43, kData);
    auto updates = statusUpdates(43);
    ASSERT_FALSE(updates.empty());
    EXPECT_EQ(updates.back().status, ResourceText(3));
    EXPECT_EQ(updates.back().command, static_cast<DWORD>(JOB_CONTROL_CANCEL));
}

TEST_F(PrintPathTest, NonPjlPrinterIsReconnectedAndGetsNoHeader)
{
    Station station = addStation(L"P1", {.pjl = false});
    printJob(station, L"Office", 44, kData);
    ASSERT_TRUE(station.printer->WaitForClosed(2, 3000));
    auto connections = station.printer->Connections();
    ASSERT_EQ(connections.size(), 2u);
    EXPECT_EQ(connections[0].received, printersim::kEchoProbe);
    EXPECT_EQ(connections[1].received, kData);
    EXPECT_TRUE(statusUpdates(44).empty());
    EXPECT_EQ(commands(44), (std::vector<DWORD>{JOB_CONTROL_LAST_PAGE_EJECTED}));
}

TEST_F(PrintPathTest, TrxPrinterGetsEndOfJobAndTheStatusTail)
{
    trxInstalled = TRUE;
    Station station = addStation(L"P1", {.pages = 5, .quietMs = 5000});  // only the end of job ends it
    printJob(station, L"TRX-Office", 45, kData);
    EXPECT_EQ(station.printer->Connections()[0].received,
              std::string(printersim::kEchoProbe) + std::string(printersim::kJobHeader) + kData +
                  std::string(printersim::kEndOfJob));
    auto updates = statusUpdates(45);
    ASSERT_EQ(updates.size(), 7u);
    EXPECT_EQ(tail(updates[0].status), L"                    TRX:-2,-2,-2,-2,0,-2");
    EXPECT_EQ(tail(updates[5].status), L"                    TRX:5,-2,2,-2,0,-2");
    EXPECT_EQ(updates[6].status, ResourceText(8, 5) + L"                    TRX:5,-2,2,-2,7,-2");
    for (DWORD command : commands(45)) EXPECT_EQ(command, 0u) << "TRX jobs get no job commands";
    // The status listener owns the spooler job: the printer handle stays with the record.
    EXPECT_EQ(standin::OpenPrinters(), 1);
}

TEST_F(PrintPathTest, TrxPrefixIsCaseSensitiveAndNeedsTheProduct)
{
    trxInstalled = TRUE;
    Station station = addStation(L"P1", {.pages = 1});
    printJob(station, L"trx-office", 46, kData);
    EXPECT_EQ(station.printer->Received().find(std::string(printersim::kEndOfJob)), std::string::npos);
    trxInstalled = FALSE;
    printJob(station, L"TRX-Office", 47, kData);
    for (const auto& update : statusUpdates(47)) EXPECT_EQ(update.status.find(L"TRX:"), std::wstring::npos);
}

TEST_F(PrintPathTest, EndDocPortReturnsOnlyAfterThePrintersEnd)
{
    Station station = addStation(L"P1", {.pages = 3, .pageIntervalMs = 300});
    standin::DefineJob(48, L"RAW", 0);
    ASSERT_TRUE(startDoc(station.handle, L"Office", 48));
    ASSERT_TRUE(write(station.handle, kData));
    ASSERT_TRUE(endDoc(station.handle));
    auto sent = station.printer->Connections()[0].sent;
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.back(), printersim::EndReport(3)) << "EndDocPort returned before the end report";
}

TEST_F(PrintPathTest, PrintersThatNeverEndStillEndTheJobAndFreeThePort)
{
    const Options broken[] = {
        {.pages = 2, .ending = Ending::Never},
        {.pages = 2, .ending = Ending::Close},
        {.pages = 2, .reports = Reports::Garbage},
        {.pages = 2, .dropAfterBytes = 200},
    };
    int index = 0;
    for (const Options& options : broken) {
        Station station = addStation(L"B" + std::to_wstring(index), options);
        DWORD jobId = 60 + index++;
        standin::DefineJob(jobId, L"RAW", 0);
        ASSERT_TRUE(startDoc(station.handle, L"Office", jobId)) << index;
        write(station.handle, kData);
        auto start = GetTickCount();
        endDoc(station.handle);
        EXPECT_LT(GetTickCount() - start, 10000u) << "the wait for the end is bounded: " << index;
        // The port prints the next job.
        standin::DefineJob(jobId + 100, L"RAW", 0);
        EXPECT_TRUE(startDoc(station.handle, L"Office", jobId + 100)) << index;
        endDoc(station.handle);
    }
}

TEST_F(PrintPathTest, WriteOfNothingSucceedsAndStillPauses)
{
    Station station = addStation(L"P1", {.pjl = false});
    standin::DefineJob(49, L"RAW", 0);
    ASSERT_TRUE(startDoc(station.handle, L"Office", 49));
    testseams::Reset();
    testseams::SetWaitDivisor(kShortening);
    DWORD written = 0xdeadbeef;
    EXPECT_TRUE(write(station.handle, "", &written));
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(testseams::RequestedWaits(), (std::vector<DWORD>{kWritePortPauseMs}));
    EXPECT_TRUE(endDoc(station.handle));
}

TEST_F(PrintPathTest, NetworkResetAsksTheSpoolerToRestart)
{
    QelPort* port = addPort(L"P1", inet_addr("127.0.0.1"));
    QelJob job{};
    job.port = port;
    job.jobId = 50;
    standin::DefineJob(50, L"RAW", 0);
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(L"Office"), &job.hPrinter, nullptr));
    WSASetLastError(WSAECONNRESET);
    EXPECT_TRUE(CheckAndRestartJob(&job));
    EXPECT_EQ(WSAGetLastError(), 0);
    EXPECT_EQ(commands(50), (std::vector<DWORD>{JOB_CONTROL_RESTART}));
    WSASetLastError(WSAECONNREFUSED);
    EXPECT_TRUE(CheckAndRestartJob(&job));
    EXPECT_EQ(commands(50).size(), 1u) << "a refusal is no reason to restart";
    standin::FailSetJob(ERROR_ACCESS_DENIED);
    WSASetLastError(WSAENETRESET);
    EXPECT_FALSE(CheckAndRestartJob(&job));
    ClosePrinter(job.hPrinter);
}

TEST_F(PrintPathTest, WriteToADroppedConnectionFails)
{
    Station station = addStation(L"P1", {.pjl = false, .dropAfterBytes = 100, .resetOnDrop = true});
    standin::DefineJob(51, L"RAW", 0);
    ASSERT_TRUE(startDoc(station.handle, L"Office", 51));
    bool failed = false;
    for (int i = 0; i < 50 && !failed; ++i) failed = !write(station.handle, std::string(8192, 'z'));
    EXPECT_TRUE(failed);
    endDoc(station.handle);
}

TEST_F(PrintPathTest, MonitoringPortGetsANewRecordPerJobAndHandsItOnWhenDone)
{
    Station station = addStation(L"P1", {.pjl = false}, 6);
    standin::DefineJob(52, L"RAW", 0);
    ASSERT_TRUE(startDoc(station.handle, L"Office", 52));
    QelJob* first = station.port->firstJob;
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(activeJobCount, 1u);
    EXPECT_EQ(WaitForSingleObject(activeJobsEvent, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    ASSERT_TRUE(endDoc(station.handle));
    // Once ended, the record waits on the garbage list, not in the port's list.
    EXPECT_EQ(station.port->firstJob, nullptr);
    EXPECT_TRUE(first->jobFlags & jobDeleted);
    EXPECT_EQ(activeJobCount, 0u);
    EXPECT_EQ(WaitForSingleObject(activeJobsEvent, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    printJob(station, L"Office", 53, "two");
    EXPECT_EQ(station.port->firstJob, nullptr);
    EXPECT_EQ(activeJobCount, 0u);
}

TEST_F(PrintPathTest, FailedStartOnAMonitoringPortDeletesItsRecord)
{
    Station station = addStation(L"P1", {.pages = 1}, 6);
    standin::FailGetJob(ERROR_ACCESS_DENIED);  // the header cannot be built
    EXPECT_FALSE(startDoc(station.handle, L"Office", 54));
    EXPECT_EQ(station.port->firstJob, nullptr);
    EXPECT_EQ(station.port->flags & portBusy, 0u);
    EXPECT_EQ(standin::OpenPrinters(), 0);
    standin::FailGetJob(0);
    printJob(station, L"Office", 55, "after");
}

TEST_F(PrintPathTest, OtherPortReusesItsFirstRecord)
{
    Station station = addStation(L"P1", {.pjl = false}, 1);
    printJob(station, L"Office", 56, "one");
    QelJob* first = station.port->firstJob;
    printJob(station, L"Office", 57, "two");
    EXPECT_EQ(station.port->firstJob, first);
    EXPECT_EQ(first->next, nullptr);
    EXPECT_EQ(first->jobId, 0u) << "EndDocPort clears the job id";
}

TEST_F(PrintPathTest, StartDocPortRefusals)
{
    Station station = addStation(L"P1", {.pjl = false});
    DOC_INFO_1W doc{const_cast<LPWSTR>(L"d"), nullptr, nullptr};
    EXPECT_FALSE(monitor->pfnStartDocPort(nullptr, const_cast<LPWSTR>(L"Office"), 1, 1, reinterpret_cast<BYTE*>(&doc)));
    EXPECT_FALSE(monitor->pfnStartDocPort(station.handle, const_cast<LPWSTR>(L"Office"), 1, 2, reinterpret_cast<BYTE*>(&doc)));
    EXPECT_FALSE(monitor->pfnStartDocPort(station.handle, const_cast<LPWSTR>(L"Office"), 1, 1, nullptr));
    EXPECT_FALSE(startDoc(station.handle, L"Missing printer", 1));
    EXPECT_EQ(station.port->flags & portBusy, 0u);
    // Every refusal left the port's submission free: a job still prints.
    printJob(station, L"Office", 58, "fine");
}

TEST_F(PrintPathTest, EndDocPortWithoutAStartTouchesNothing)
{
    Station station = addStation(L"P1", {.pjl = false});
    EXPECT_FALSE(endDoc(station.handle));
    EXPECT_FALSE(endDoc(nullptr));
    std::thread other([&] { EXPECT_FALSE(endDoc(station.handle)); });
    standin::DefineJob(59, L"RAW", 0);
    ASSERT_TRUE(startDoc(station.handle, L"Office", 59));
    other.join();
    EXPECT_TRUE(endDoc(station.handle));
}

TEST_F(PrintPathTest, SpoolerWithoutPrinterNameOrJobIdStillPrints)
{
    // Wine's spooler calls StartDocPort with no printer name and job id 0.
    Station station = addStation(L"Zephrin:wine", {.pages = 2});
    standin::DefinePrinter(L"Other", L"LPT1:");
    standin::DefinePrinter(L"Wine printer", L"FILE:, Zephrin:wine");
    ASSERT_TRUE(startDoc(station.handle, nullptr, 0));
    ASSERT_TRUE(write(station.handle, kData));
    ASSERT_TRUE(endDoc(station.handle));
    EXPECT_EQ(standin::OpenedNames(), L"Wine printer");
    EXPECT_EQ(station.printer->Connections()[0].received,
              std::string(printersim::kEchoProbe) + std::string(printersim::kJobHeader) + kData);
    EXPECT_EQ(standin::GetJobCalls(), 0u);
    EXPECT_TRUE(standin::SetJobCalls().empty());
    EXPECT_EQ(standin::OpenPrinters(), 0);
}

TEST_F(PrintPathTest, EightPortsAtOnceKeepTheirOwnPagesAndEnds)
{
    std::vector<Station> stations;
    for (int i = 0; i < 8; ++i)
        stations.push_back(addStation(L"M" + std::to_wstring(i), {.pages = i + 1, .pageIntervalMs = 20}));
    std::vector<std::thread> jobs;
    for (int i = 0; i < 8; ++i)
        jobs.emplace_back([&, i] { printJob(stations[i], L"Office", 100 + i, kData); });
    for (auto& job : jobs) job.join();
    for (int i = 0; i < 8; ++i) {
        auto updates = statusUpdates(100 + i);
        ASSERT_EQ(updates.size(), static_cast<size_t>(i + 3)) << i;
        EXPECT_EQ(updates.back().status, ResourceText(8, i + 1)) << i;
        EXPECT_EQ(updates[i + 1].pagesPrinted, static_cast<DWORD>(i + 1)) << i;
    }
}

TEST_F(PrintPathTest, SlowRealProbeWindowAndWritePause)
{
    testseams::SetWaitDivisor(1);
    Station station = addStation(L"P1", {.pages = 1});
    standin::DefineJob(70, L"RAW", 0);
    DWORD start = GetTickCount();
    ASSERT_TRUE(startDoc(station.handle, L"Office", 70));
    EXPECT_GE(GetTickCount() - start, 9800u) << "a printer that answers costs one full probe window";
    start = GetTickCount();
    ASSERT_TRUE(write(station.handle, "data"));
    EXPECT_GE(GetTickCount() - start, 450u);
    ASSERT_TRUE(endDoc(station.handle));
}

TEST(JobLabelTest, DocumentNameOutsideTheCodePageKeepsWhatItCan)
{
    char label[kJobLabelLength + 1];
    BuildJobLabel(L"\u041E\u0442\u0447\u0451\u0442 2024.doc", label);
    EXPECT_EQ(std::string(label, 15), "1????? 2024.doc");
    EXPECT_EQ(std::string(label + 15, 25), std::string(25, ' '));
    EXPECT_EQ(strlen(label), static_cast<size_t>(kJobLabelLength));
}
