// The print path against printers that misbehave: every wait ends within its bound, and
// every job ends once, truthfully, with the port free for the next job.
#include <gtest/gtest.h>

#include <thread>

#include "jobfixture.h"
#include "listener.h"
#include "monitor.h"
#include "netlayer.h"
#include "printjob.h"
#include "trace.h"
#include "tracefiles.h"

using namespace testing_support;
using printersim::Ending;
using printersim::Options;
using printersim::Reports;

namespace {

const std::string kHostileJob = "%!PS\n" + std::string(20 * 1024, 'h');

// What EndDocPort may take at most beyond the printer's silence: the checks of the end wait
// and the listener, and the time the machine needs for the calls in between.
constexpr DWORD kSlackMs = 5000;

}  // namespace

TEST_F(PrintPathTest, CloseOfANeverReadingPrinterReturnsAtOnce)
{
    // Without and with the drain: neither waits for the printer to take the data queued.
    for (DWORD printerType : {0u, 7u}) {
        Station station = addStation(L"N" + std::to_wstring(printerType), {.pjl = false, .readLimit = 28});
        station.port->printerType = printerType;
        DWORD jobId = 200 + printerType;
        Outcome outcome = runJob(station, L"Office", jobId, kHostileJob, 5);
        EXPECT_FALSE(outcome.writeFailed) << printerType;
        EXPECT_TRUE(outcome.ended) << printerType;
        EXPECT_LT(outcome.endMs, testseams::Shortened(kDrainLimitMs) + kSlackMs) << printerType;
        EXPECT_EQ(endings(jobId), (std::set<DWORD>{JOB_CONTROL_LAST_PAGE_EJECTED})) << printerType;
    }
}

TEST_F(PrintPathTest, ResetMidJobRestartsTheJobAndNothingElse)
{
    Station station = addStation(L"P1", {.pages = 1, .dropAfterBytes = kProbeAndHeader + 2000, .resetOnDrop = true});
    Outcome outcome = runJob(station, L"Office", 210, kHostileJob, 10);
    EXPECT_EQ(endings(210), (std::set<DWORD>{JOB_CONTROL_RESTART}));
    EXPECT_EQ(commands(210).back(), static_cast<DWORD>(JOB_CONTROL_RESTART)) << "restarted once, at the end";
    EXPECT_LT(outcome.endMs, testseams::Shortened(kPrinterSilenceMs) + kSlackMs);
    for (const auto& update : statusUpdates(210)) EXPECT_NE(update.status, ResourceText(8, 1));
}

TEST_F(PrintPathTest, PrinterThatClosesAfterTheProbeAndThenRefusesEndsTheJobOnce)
{
    Station station = addStation(L"P1", {.dropAfterBytes = 28, .acceptLimit = 1});
    Outcome outcome = runJob(station, L"Office", 211, kHostileJob, 4);
    EXPECT_LT(outcome.endMs, testseams::Shortened(kPrinterSilenceMs) + kSlackMs);
    EXPECT_EQ(endings(211).size(), 1u);
    EXPECT_EQ(standin::BadCloses(), 0u);
}

TEST_F(PrintPathTest, ListenerPausesBetweenReconnectsToAPrinterThatClosesEveryConnection)
{
    Station station = addStation(L"P1", {.pages = 1, .ending = Ending::Close, .closeIdleMs = 20});
    DWORD start = GetTickCount();
    Outcome outcome = runJob(station, L"Office", 212, kHostileJob);
    DWORD elapsed = GetTickCount() - start;
    EXPECT_TRUE(outcome.ended) << "EndDocPort closes its own connection, which the listener left alone";
    EXPECT_LT(outcome.endMs, testseams::Shortened(kPrinterSilenceMs) + kSlackMs);
    size_t reconnects = station.printer->Connections().size() - 1;
    EXPECT_GE(reconnects, 1u) << "an orderly close is followed by a reconnect";
    // Two connect again after the printer closed: the listener and the job's writer, each
    // pausing first. Without the pauses a printer that closes after 20 ms idle is called
    // several times as often.
    EXPECT_LE(reconnects, 2 * (elapsed / testseams::Shortened(kRetryPauseMs) + 1)) << "one connect per pause at most";
    EXPECT_EQ(endings(212), (std::set<DWORD>{JOB_CONTROL_LAST_PAGE_EJECTED}));
}

TEST_F(PrintPathTest, FailedCloseStillFailsEndDocPort)
{
    Station station = addStation(L"P1", {.pjl = false});
    standin::DefineJob(213, L"RAW", 0);
    ASSERT_TRUE(startDoc(station.handle, L"Office", 213));
    ASSERT_TRUE(write(station.handle, kHostileJob));
    testseams::InjectFault(FaultPoint::CloseSocket, WSAENETDOWN);
    EXPECT_FALSE(endDoc(station.handle));
}

// Printers whose reports are slow, cut up, malformed or missing: the job still ends with
// its final status and one completion, and EndDocPort waits no longer than the printer's
// silence after its last report.
TEST_F(PrintPathTest, ReportsThatDripOrBreakStillEndTheJobOnce)
{
    struct Case {
        const char* what;
        Options options;
        bool endReported;  // the printer's own end report arrives
    };
    const Case cases[] = {
        {"slow drip", {.pages = 4, .pageIntervalMs = testseams::Shortened(kPrinterSilenceMs) / 2}, true},
        {"split", {.pages = 3, .splitReports = true}, false},
        {"malformed drip", {.pages = 40, .pageIntervalMs = 100, .reports = Reports::Garbage}, false},
        {"none", {.pages = 1, .reports = Reports::None}, false},
        {"never ends", {.pages = 2, .ending = Ending::Never}, false},
    };
    // The end's status text up to its page number.
    const std::wstring kPrinted = ResourceText(8, 0).substr(0, ResourceText(8, 0).find(L'0'));
    DWORD jobId = 220;
    for (const Case& c : cases) {
        Station station = addStation(L"R" + std::to_wstring(jobId), c.options);
        Outcome outcome = runJob(station, L"Office", jobId, kHostileJob);
        EXPECT_TRUE(outcome.ended) << c.what;
        EXPECT_EQ(endings(jobId), (std::set<DWORD>{JOB_CONTROL_LAST_PAGE_EJECTED})) << c.what;
        auto updates = statusUpdates(jobId);
        ASSERT_FALSE(updates.empty()) << c.what;
        EXPECT_EQ(updates.back().status.rfind(kPrinted, 0), 0u) << c.what << ": the final status";
        EXPECT_EQ(updates.back().command, static_cast<DWORD>(JOB_CONTROL_LAST_PAGE_EJECTED)) << c.what;
        if (c.endReported) {
            EXPECT_EQ(station.printer->Connections()[0].sent.back(), printersim::EndReport(4)) << c.what;
            EXPECT_EQ(updates.back().status, ResourceText(8, 4)) << c.what;
        } else {
            EXPECT_LT(outcome.endMs, testseams::Shortened(kPrinterSilenceMs) + kSlackMs) << c.what;
        }
        ++jobId;
    }
}

TEST_F(PrintPathTest, SilentTrxPrinterStillGetsItsFinalStatusFromTheListener)
{
    trxInstalled = TRUE;
    Station station = addStation(L"P1", {.pages = 1, .reports = Reports::None});
    Outcome outcome = runJob(station, L"TRX-Office", 230, kHostileJob);
    EXPECT_TRUE(outcome.ended);
    auto updates = statusUpdates(230);
    ASSERT_EQ(updates.size(), 1u);
    EXPECT_EQ(updates[0].status, ResourceText(8, 0) + L"                    TRX:0,-2,0,-2,7,-2");
    for (DWORD command : commands(230)) EXPECT_EQ(command, 0u);
    EXPECT_EQ(standin::OpenPrinters(), 1) << "the handle stays with the record, to be closed once";
    EXPECT_EQ(standin::BadCloses(), 0u);
}

TEST_F(PrintPathTest, EchoAnswerWhoseFormFeedComesApartIsCompatible)
{
    Station station = addStation(L"P1", {.pages = 1, .echoFormFeedApart = true});
    printJob(station, L"Office", 231, kHostileJob);
    auto connections = station.printer->Connections();
    ASSERT_EQ(connections.size(), 1u) << "a compatible printer is not connected again";
    EXPECT_EQ(connections[0].received,
              std::string(printersim::kEchoProbe) + std::string(printersim::kJobHeader) + kHostileJob);
}

TEST_F(PrintPathTest, PageFloodKeepsTheTraceWithinItsSize)
{
    constexpr long kSize = 100000;
    ScratchDirectory scratch;
    WriteFile("lanportm.cfg", "traceon 1 size " + std::to_string(kSize));
    ASSERT_TRUE(TraceStart());
    Station station = addStation(L"P1", {.pages = 1, .floodPages = true});
    standin::DefineJob(232, L"RAW", 0);
    ASSERT_TRUE(startDoc(station.handle, L"Office", 232));
    ASSERT_TRUE(write(station.handle, kHostileJob));
    ASSERT_TRUE(station.printer->WaitForSent(0, printersim::kKeptSent, 10000)) << "the flood has begun";
    // The flood never falls silent: EndDocPort ends at the end wait's limit, here 3.6 s.
    testseams::SetWaitDivisor(1000);
    EXPECT_TRUE(endDoc(station.handle));
    TraceStop();
    ResetTrace();
    EXPECT_TRUE(FileExists("lanportm.lg1")) << "the flood filled the log";
    // A log may exceed its size by one line of at most 512 bytes and its line head.
    EXPECT_LE(ReadFile("lanportm.log").size(), static_cast<size_t>(kSize) + 600);
    EXPECT_LE(ReadFile("lanportm.lg1").size(), static_cast<size_t>(kSize) + 600);
    EXPECT_EQ(endings(232), (std::set<DWORD>{JOB_CONTROL_LAST_PAGE_EJECTED}));
}

TEST_F(PrintPathTest, EightPortsWithMixedPrintersKeepTheGoodOnesExact)
{
    const Options printers[] = {
        {.pages = 2},
        {.pjl = false, .readLimit = 28},
        {.pages = 2},
        {.pages = 1, .dropAfterBytes = kProbeAndHeader + 2000, .resetOnDrop = true},
        {.pjl = false},
        {.pages = 1, .ending = Ending::Close, .closeIdleMs = 20},
        {.pages = 3, .splitReports = true},
        {.pages = 1, .reports = Reports::Garbage},
    };
    std::vector<Station> stations;
    for (int i = 0; i < 8; ++i) stations.push_back(addStation(L"X" + std::to_wstring(i), printers[i]));
    std::vector<Outcome> outcomes(8);
    std::vector<std::thread> jobs;
    for (int i = 0; i < 8; ++i)
        jobs.emplace_back([&, i] { outcomes[i] = runJob(stations[i], L"Office", 240 + i, kHostileJob, 4); });
    for (auto& job : jobs) job.join();
    for (int i : {0, 2, 6, 7}) {
        EXPECT_TRUE(outcomes[i].ended) << i;
        EXPECT_EQ(stations[i].printer->Connections()[0].received,
                  std::string(printersim::kEchoProbe) + std::string(printersim::kJobHeader) + kHostileJob)
            << i;
    }
    ASSERT_TRUE(stations[4].printer->WaitForClosed(2, 5000));
    EXPECT_EQ(stations[4].printer->Connections()[1].received, kHostileJob);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(endings(240 + i).size(), 1u) << i;
        EXPECT_LT(outcomes[i].endMs, testseams::Shortened(kPrinterSilenceMs) + kSlackMs) << i;
    }
}
