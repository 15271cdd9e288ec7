// The status listener's parser and the job status texts, on a job record whose spooler
// job lives in the stand-in.
#include <gtest/gtest.h>

#include <cstring>

#include "jobfixture.h"
#include "listener.h"
#include "monitor.h"
#include "paths.h"
#include "trace.h"
#include "tracefiles.h"

using namespace testing_support;

namespace {

class ListenerTest : public PrintPathTest {
protected:
    void SetUp() override
    {
        PrintPathTest::SetUp();
        port = addPort(L"P1", inet_addr("127.0.0.1"));
        job.port = port;
        job.jobId = 7;
        job.socket = -1;
        job.jobEndEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        standin::DefineJob(7, L"RAW", 0);
        ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(L"Office"), &job.hPrinter, nullptr));
    }
    void TearDown() override
    {
        ClosePrinter(job.hPrinter);
        CloseHandle(job.jobEndEvent);
        PrintPathTest::TearDown();
    }
    void process(const char* text)
    {
        std::string copy = text;
        processPJLString(copy.data(), &job);
    }
    std::wstring statusFor(DWORD kind)
    {
        WCHAR text[kStatusTextChars];
        wmemset(text, L'#', kStatusTextChars);
        BuildStatusText(kind, &job, text);
        return text;
    }

    QelPort* port = nullptr;
    QelJob job{};
};

}  // namespace

TEST_F(ListenerTest, StartThenPageInOneBlock)
{
    job.currentPage = 9;
    process("@PJL USTATUS JOB\r\nSTART\r\n\f@PJL USTATUS PAGE\r\n3\r\n\f");
    auto updates = statusUpdates(7);
    ASSERT_EQ(updates.size(), 2u);
    EXPECT_EQ(updates[0].status, ResourceText(2));
    EXPECT_EQ(updates[1].status, ResourceText(6, 3));
    EXPECT_EQ(updates[1].pagesPrinted, 3u);
    EXPECT_EQ(job.currentPage, 3);
}

TEST_F(ListenerTest, PageReportWithoutLineFeedKeepsThePage)
{
    job.currentPage = 4;
    process("@PJL USTATUS PAGE 12\f");
    auto updates = statusUpdates(7);
    ASSERT_EQ(updates.size(), 1u);
    EXPECT_EQ(updates[0].pagesPrinted, 4u);
    process("@PJL USTATUS PAGE\r\n  17\r\n\f");
    EXPECT_EQ(job.currentPage, 17) << "leading blanks are skipped";
}

TEST_F(ListenerTest, CanceledBeatsEndAndSignalsTheJob)
{
    process("@PJL USTATUS JOB\r\nCANCELED\r\nEND\r\n\f");
    auto updates = statusUpdates(7);
    ASSERT_EQ(updates.size(), 1u);
    EXPECT_EQ(updates[0].command, static_cast<DWORD>(JOB_CONTROL_CANCEL));
    EXPECT_EQ(WaitForSingleObject(job.jobEndEvent, 0), WAIT_OBJECT_0);
}

TEST_F(ListenerTest, OtherSegmentsAndEmptySegmentsAreIgnored)
{
    process("\f\f@PJL INFO STATUS\r\nCODE=10001\r\n\fgarbage\f");
    EXPECT_TRUE(statusUpdates(7).empty());
}

TEST_F(ListenerTest, SplitReportLosesThePageNumberOfTheSecondHalf)
{
    job.currentPage = 2;
    process("@PJL USTATUS PA");
    process("GE\r\n5\r\n\f");
    EXPECT_TRUE(statusUpdates(7).empty());
    EXPECT_EQ(job.currentPage, 2);
}

TEST_F(ListenerTest, EndForAGoneJobStillSignals)
{
    job.jobId = 8;  // not in the spooler
    process("@PJL USTATUS JOB\r\nEND\r\n\f");
    EXPECT_TRUE(statusUpdates(8).empty());
    EXPECT_EQ(WaitForSingleObject(job.jobEndEvent, 0), WAIT_OBJECT_0);
}

TEST_F(ListenerTest, TrxTailNumbers)
{
    job.jobFlags = jobTrxPrinter;
    job.currentPage = 0;
    EXPECT_EQ(statusFor(kReportPage), ResourceText(6, 0) + L"                    TRX:0,-2,0,-2,0,-2");
    EXPECT_EQ(statusFor(kReportStart), ResourceText(2) + L"                    TRX:-2,-2,-2,-2,0,-2");
    job.currentPage = 5;
    EXPECT_EQ(statusFor(kReportEnd), ResourceText(8, 5) + L"                    TRX:5,-2,2,-2,7,-2");
    EXPECT_EQ(statusFor(kReportCancel), ResourceText(3) + L"                    TRX:5,-2,2,-2,3,-2");
    job.currentPage = -3;
    EXPECT_EQ(statusFor(kReportPage).substr(statusFor(kReportPage).find(L"TRX:")), L"TRX:-3,-2,-1,-2,0,-2");
}

TEST_F(ListenerTest, LongResourceTextIsCutSoTheTailFits)
{
    HMODULE real = languageModule;
    languageModule = LoadLibraryW(LANPORTRES_PARTIAL_DLL_PATH);
    ASSERT_NE(languageModule, nullptr);
    job.jobFlags = jobTrxPrinter;
    job.currentPage = 12;
    std::wstring text = statusFor(kReportPage);
    EXPECT_EQ(text.size(), static_cast<size_t>(kStatusTextChars - 1));
    EXPECT_EQ(text.substr(text.size() - 39), L"                    TRX:12,-2,6,-2,0,-2");
    EXPECT_EQ(text.rfind(L"Page 12 ...", 0), 0u);
    job.jobFlags = 0;
    EXPECT_EQ(statusFor(kReportPage).size(), static_cast<size_t>(kStatusTextChars - 1));
    FreeLibrary(languageModule);
    languageModule = real;
}

TEST_F(ListenerTest, MissingStringsGiveEmptyTexts)
{
    HMODULE real = languageModule;
    languageModule = LoadLibraryW(LANPORTRES_PARTIAL_DLL_PATH);
    WCHAR buffer[64];
    EXPECT_EQ(LoadResMessage(buffer, 64, 10, nullptr), 0);
    EXPECT_STREQ(buffer, L"");
    FreeLibrary(languageModule);
    languageModule = real;
}

TEST_F(ListenerTest, ReportLinesCarryThePrefixAndStayPaired)
{
    const char kReports[] = "@PJL USTATUS JOB\r\nSTART\r\n\f@PJL USTATUS PAGE\r\n1\r\n\f"
                            "@PJL USTATUS JOB\r\nEND\r\n\f";
    // A spooler job id, and none (as Wine's spooler passes).
    for (DWORD jobId : {7u, 0u}) {
        ScratchDirectory scratch;
        WriteFile("lanportm.cfg", "traceon 1");
        ASSERT_TRUE(TraceStart());
        job.jobId = jobId;
        process(kReports);
        TraceStop();
        auto lines = ReadLines("lanportm.log");
        ResetTrace();
        ASSERT_FALSE(lines.empty()) << jobId;
        std::vector<std::string> going;
        int entries = 0, exits = 0;
        for (const auto& line : lines) {
            std::string message = MessageOf(line);
            if (message.rfind("Going on JOB", 0) == 0) going.push_back(message);
            if (message == "Entry DoSetJob") ++entries;
            if (message == "Exit DoSetJob") ++exits;
        }
        EXPECT_EQ(entries, 3) << jobId;
        EXPECT_EQ(exits, 3) << jobId;
        EXPECT_EQ(IndentOf(lines.back()), IndentOf(lines.front())) << jobId;
        if (jobId)
            EXPECT_EQ(going, (std::vector<std::string>{"Going on JOB start", "Going on JOB page", "Going on JOB end"}));
        else
            EXPECT_TRUE(going.empty());
    }
}
