// PJL framing: the exact bytes on the wire, the header's socket options, the job
// information read from the spooler (a recording stand-in here), and the exported
// value filter.
#include <winsock2.h>
#include <winspool.h>

#include <gtest/gtest.h>

#include <string>

#include "netlayer.h"
#include "paths.h"
#include "pjl.h"
#include "printersim.h"
#include "socketoption.h"
#include "standin_client.h"
#include "test_seams.h"
#include "trace.h"
#include "tracefiles.h"

using namespace testing_support;

namespace {

class PjlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(standin::Loaded()) << "run with the spooler stand-in (WINEDLLOVERRIDES)";
        standin::Reset();
        WSADATA data;
        WSAStartup(MAKEWORD(1, 1), &data);
        printer = std::make_unique<printersim::Printer>(printersim::Options{.pjl = false});
        ASSERT_TRUE(printer->Start());
        port.portName = const_cast<LPWSTR>(L"Zephrin:test");
        port.ipAddress = printer->ipAddress();
        job.port = &port;
        job.jobId = 12;
        job.socket = kNoSocket;
        ASSERT_EQ(prtConnect(&port, &job.socket), kConnected);
        ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(L"Test printer"), &job.hPrinter, nullptr));
    }
    void TearDown() override
    {
        if (job.socket != kNoSocket) netClose(&job.socket, FALSE);
        ClosePrinter(job.hPrinter);
        testseams::Reset();
    }
    std::string receivedAfterClose()
    {
        netClose(&job.socket, FALSE);
        printer->WaitForClosed(1, 2000);
        return printer->Received();
    }

    ScratchDirectory scratch;
    std::unique_ptr<printersim::Printer> printer;
    QelPort port{};
    QelJob job{};
};

}  // namespace

TEST(PjlBytesTest, SequencesMatchThePrinterReference)
{
    EXPECT_EQ(kPjlEchoProbe, printersim::kEchoProbe);
    EXPECT_EQ(kPjlJobHeader, printersim::kJobHeader);
    EXPECT_EQ(kPjlEndOfJob, printersim::kEndOfJob);
    EXPECT_EQ(kPjlJobHeader.front(), '\x1b');
    EXPECT_EQ(kPjlJobHeader.substr(kPjlJobHeader.size() - 9), "PAGE=ON\r\n");
    EXPECT_NE(kPjlEndOfJob.find("EOJ \r\n"), std::string_view::npos);
}

TEST_F(PjlTest, HeaderIsExactOnTheWire)
{
    standin::DefineJob(12, L"RAW", 0);
    ASSERT_TRUE(prtWritePJL("1label", &job));
    EXPECT_EQ(receivedAfterClose(), printersim::kJobHeader);
    EXPECT_EQ(standin::GetJobCalls(), 2u) << "size query, then the read";
}

TEST_F(PjlTest, EndOfJobIsExactOnTheWire)
{
    ASSERT_TRUE(prtWritePJLEOJ(&job));
    EXPECT_EQ(receivedAfterClose(), printersim::kEndOfJob);
}

TEST_F(PjlTest, RawAndEmfJobsGetTheSameHeader)
{
    WriteFile("lanportm.cfg", "traceon 1");
    ASSERT_TRUE(TraceStart());
    standin::DefineJob(12, L"NT EMF 1.008", DMDUP_VERTICAL);
    ASSERT_TRUE(prtWritePJL("1emf", &job));
    TraceStop();
    EXPECT_EQ(receivedAfterClose(), printersim::kJobHeader);
    std::string log = ReadFile("lanportm.log");
    EXPECT_NE(log.find("Set 'sides' field of job state to 2"), std::string::npos) << log;
}

TEST_F(PjlTest, JobWithoutDatatypeOrDeviceModeIsNotEmf)
{
    // Wine's spooler returns both as NULL.
    standin::DefineJob(12, nullptr, 0);
    ASSERT_TRUE(prtWritePJL("1wine", &job));
    standin::DefineJob(12, L"NT EMF 1.008", 0);  // EMF, but no device mode
    ASSERT_TRUE(prtWritePJL("1nomode", &job));
    EXPECT_EQ(receivedAfterClose(), std::string(printersim::kJobHeader) + std::string(printersim::kJobHeader));
}

TEST_F(PjlTest, UnreadableJobSendsNothing)
{
    standin::FailGetJob(ERROR_INVALID_HANDLE);
    EXPECT_FALSE(prtWritePJL("1x", &job));
    EXPECT_EQ(standin::GetJobCalls(), 1u);
    EXPECT_EQ(receivedAfterClose(), "");
}

TEST_F(PjlTest, UnknownJobSendsNothing)
{
    job.jobId = 99;
    EXPECT_FALSE(prtWritePJL("1x", &job));
    EXPECT_EQ(receivedAfterClose(), "");
}

TEST_F(PjlTest, NoMemoryForTheJobInformationSendsNothing)
{
    standin::DefineJob(12, L"RAW", 0);
    testseams::InjectFault(FaultPoint::AllocSplMem, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_FALSE(prtWritePJL("1x", &job));
    EXPECT_EQ(receivedAfterClose(), "");
}

TEST_F(PjlTest, WriteAndWaitRestoresTheSocketOptions)
{
    int before = socketOption(job.socket, SOL_SOCKET, SO_SNDBUF);
    DWORD written = 0;
    ASSERT_TRUE(prtWriteAndWait(job.socket, reinterpret_cast<const BYTE*>(kPjlJobHeader.data()), 79, &written));
    EXPECT_EQ(written, 79u);
    EXPECT_EQ(socketOption(job.socket, IPPROTO_TCP, TCP_NODELAY), 0);
    EXPECT_EQ(socketOption(job.socket, SOL_SOCKET, SO_SNDBUF), before);
}

TEST_F(PjlTest, UnreadableSendBufferIsNotRestoredButNodelayGoesOff)
{
    testseams::InjectFault(FaultPoint::GetSendBuffer, WSAENOBUFS);
    WriteFile("lanportm.cfg", "traceon 1");
    ASSERT_TRUE(TraceStart());
    DWORD written = 0;
    EXPECT_FALSE(prtWriteAndWait(job.socket, reinterpret_cast<const BYTE*>(kPjlJobHeader.data()), 79, &written));
    TraceStop();
    EXPECT_EQ(socketOption(job.socket, IPPROTO_TCP, TCP_NODELAY), 0);
    std::string log = ReadFile("lanportm.log");
    EXPECT_NE(log.find("failed to query current SNDBUF size"), std::string::npos) << log;
    EXPECT_EQ(log.find("failed to restore SNDBUF"), std::string::npos);
    EXPECT_NE(log.find("Entry netSetOptionNODELAY(" + std::to_string(job.socket) + ",FALSE)"), std::string::npos);
    EXPECT_EQ(receivedAfterClose(), "");
}

TEST(EnforcePjlValueRulesTest, ThroughTheShippedDllByNameAndOrdinal)
{
    std::wstring dir = LANPORTRES_DLL_PATH;
    dir.resize(dir.find_last_of(L'\\'));
    wchar_t path[8192] = L"";
    GetEnvironmentVariableW(L"PATH", path, 8192);
    SetEnvironmentVariableW(L"PATH", (dir + L";" + path).c_str());
    HMODULE dll = LoadLibraryW(LANPORT_DLL_PATH);
    ASSERT_NE(dll, nullptr) << GetLastError();
    using Filter = int(__cdecl*)(char*);
    auto byName = reinterpret_cast<Filter>(reinterpret_cast<void*>(GetProcAddress(dll, "EnforcePJLValueRules")));
    auto byOrdinal = reinterpret_cast<Filter>(reinterpret_cast<void*>(GetProcAddress(dll, MAKEINTRESOURCEA(2))));
    ASSERT_NE(byName, nullptr);
    EXPECT_EQ(byName, byOrdinal);

    char text[] = "say \"hi\"\nthen\ttab \x1b esc \x01\x08\x0a\x19\x1a\x1f\x7f end";
    EXPECT_EQ(byName(text), 1);
    EXPECT_STREQ(text, "say 'hi' then\ttab \x1b esc     \x1a\x1f\x7f end");
    char empty[] = "";
    EXPECT_EQ(byOrdinal(empty), 1);
    EXPECT_STREQ(empty, "");
    char quotes[] = "\"\"";
    byOrdinal(quotes);
    EXPECT_STREQ(quotes, "''");
}
