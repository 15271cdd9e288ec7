// The network layer against the printer simulator on loopback: connect and its retry
// rules, writes in pieces, closing with and without a drain.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "netlayer.h"
#include "printersim.h"
#include "socketoption.h"
#include "test_seams.h"
#include "trace.h"
#include "tracefiles.h"

using namespace testing_support;
using std::chrono::steady_clock;

namespace {

class NetLayerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WSADATA data;
        WSAStartup(MAKEWORD(1, 1), &data);
        port.portName = const_cast<LPWSTR>(L"Zephrin:test");
    }
    void TearDown() override
    {
        if (slot != kNoSocket) netClose(&slot, FALSE);
        testseams::Reset();
    }
    // Starts a simulated printer and points the port at it.
    void startPrinter(printersim::Options options = {})
    {
        printer = std::make_unique<printersim::Printer>(options);
        int error = 0;
        ASSERT_TRUE(printer->Start(&error)) << error;
        port.ipAddress = printer->ipAddress();
    }
    void pointAtNothing() { port.ipAddress = inet_addr(printersim::kRefusingAddress); }
    void startTrace()
    {
        WriteFile("lanportm.cfg", "traceon 1");
        ASSERT_TRUE(TraceStart());
    }
    std::string traceText()
    {
        TraceStop();
        return ReadFile("lanportm.log");
    }

    ScratchDirectory scratch;
    QelPort port{};
    LONG slot = kNoSocket;
    std::unique_ptr<printersim::Printer> printer;
};

}  // namespace

TEST_F(NetLayerTest, ConnectsAndTunesTheSocket)
{
    startPrinter();
    ASSERT_EQ(prtConnect(&port, &slot), kConnected);
    EXPECT_NE(slot, kNoSocket);
    EXPECT_EQ(socketOption(slot, SOL_SOCKET, SO_KEEPALIVE), 1);
    linger value{};
    int length = sizeof(value);
    getsockopt(AsSocket(slot), SOL_SOCKET, SO_LINGER, reinterpret_cast<char*>(&value), &length);
    EXPECT_EQ(value.l_onoff, 1);
    EXPECT_EQ(value.l_linger, kNewSocketLingerSeconds);
    EXPECT_TRUE(printer->WaitForConnections(1, 2000));
    EXPECT_TRUE(testseams::RequestedWaits().empty());
}

TEST_F(NetLayerTest, RefusalGives2AfterOneAttemptWithoutPause)
{
    pointAtNothing();
    startTrace();
    EXPECT_EQ(prtConnect(&port, &slot), kConnectRefused);
    EXPECT_EQ(slot, kNoSocket);
    EXPECT_TRUE(testseams::RequestedWaits().empty());
    std::string log = traceText();
    EXPECT_NE(log.find("connect() error=10061"), std::string::npos) << log;
    EXPECT_NE(log.find("Exit  netConnectPrinter returns rejected"), std::string::npos);
    EXPECT_EQ(log.find("connect() error=10061", log.find("connect() error=10061") + 1), std::string::npos)
        << "a refusal was retried";
}

TEST_F(NetLayerTest, OtherConnectErrorGives1AfterTwoAttemptsWithAPause)
{
    startPrinter();
    testseams::SetWaitDivisor(1000);
    testseams::InjectFault(FaultPoint::SocketConnect, WSAETIMEDOUT, 2);
    EXPECT_EQ(prtConnect(&port, &slot), kConnectFailed);
    EXPECT_EQ(slot, kNoSocket);
    EXPECT_EQ(testseams::RequestedWaits(), (std::vector<DWORD>{5000}));
}

TEST_F(NetLayerTest, SecondWholeAttemptMayConnect)
{
    startPrinter();
    testseams::SetWaitDivisor(1000);
    testseams::InjectFault(FaultPoint::SocketConnect, WSAETIMEDOUT, 1);
    EXPECT_EQ(prtConnect(&port, &slot), kConnected);
    EXPECT_NE(slot, kNoSocket);
}

TEST_F(NetLayerTest, ThreeTransientConnectErrorsPause5And10And15)
{
    startPrinter();
    testseams::SetWaitDivisor(1000);
    testseams::InjectFault(FaultPoint::SocketConnect, WSAENOBUFS, 3);
    EXPECT_EQ(netConnectPrinter(&port, &slot), kConnectFailed);
    EXPECT_EQ(slot, kNoSocket);
    EXPECT_EQ(testseams::RequestedWaits(), (std::vector<DWORD>{5000, 10000, 15000}));
}

TEST_F(NetLayerTest, TransientConnectErrorsThenSuccess)
{
    startPrinter();
    testseams::SetWaitDivisor(1000);
    testseams::InjectFault(FaultPoint::SocketConnect, WSAEINPROGRESS, 2);
    EXPECT_EQ(netConnectPrinter(&port, &slot), kConnected);
    EXPECT_EQ(testseams::RequestedWaits(), (std::vector<DWORD>{5000, 10000}));
}

TEST_F(NetLayerTest, TransientSocketCreationErrors)
{
    testseams::SetWaitDivisor(1000);
    testseams::InjectFault(FaultPoint::SocketCreate, WSAEMFILE, 2);
    EXPECT_TRUE(netCreateSocket(&slot));
    EXPECT_NE(slot, kNoSocket);
    netClose(&slot, FALSE);
    testseams::Reset();
    testseams::SetWaitDivisor(1000);
    testseams::InjectFault(FaultPoint::SocketCreate, WSAENOBUFS, 3);
    EXPECT_FALSE(netCreateSocket(&slot));
    EXPECT_EQ(testseams::RequestedWaits(), (std::vector<DWORD>{5000, 10000, 15000}));
    testseams::Reset();
    testseams::InjectFault(FaultPoint::SocketCreate, WSAEAFNOSUPPORT, 1);
    EXPECT_FALSE(netCreateSocket(&slot));
    EXPECT_TRUE(testseams::RequestedWaits().empty()) << "a lasting error is not retried";
}

TEST_F(NetLayerTest, WriteGoesOutIn1024BytePieces)
{
    startPrinter({.pjl = false});
    ASSERT_EQ(prtConnect(&port, &slot), kConnected);
    std::string data(2500, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
    DWORD written = 0;
    ASSERT_TRUE(prtWrite(slot, reinterpret_cast<const BYTE*>(data.data()), 2500, &written));
    EXPECT_EQ(written, 2500u);
    EXPECT_EQ(testseams::Observed(Observation::SendCall), (std::vector<DWORD>{1024, 1024, 452}));
    ASSERT_TRUE(printer->WaitForBytes(2500, 5000));
    EXPECT_EQ(printer->Received(), data);
}

TEST_F(NetLayerTest, WriteOfNothingSendsNothing)
{
    startPrinter({.pjl = false});
    ASSERT_EQ(prtConnect(&port, &slot), kConnected);
    DWORD written = 0xdeadbeef;
    EXPECT_TRUE(prtWrite(slot, nullptr, 0, &written));
    EXPECT_EQ(written, 0u);
    EXPECT_TRUE(testseams::Observed(Observation::SendCall).empty());
}

TEST_F(NetLayerTest, WriteToAClosedSocketFails)
{
    startPrinter({.pjl = false});
    ASSERT_EQ(prtConnect(&port, &slot), kConnected);
    LONG stale = slot;
    netClose(&slot, FALSE);
    DWORD written = 0xdeadbeef;
    EXPECT_FALSE(prtWrite(stale, reinterpret_cast<const BYTE*>("abc"), 3, &written));
    EXPECT_EQ(written, 0u);
}

TEST_F(NetLayerTest, DrainOfASilentPrinterWaitsThenCloses)
{
    startPrinter({.pjl = false, .ending = printersim::Ending::Never});
    ASSERT_EQ(prtConnect(&port, &slot), kConnected);
    testseams::SetWaitDivisor(30);  // 3 s become 100 ms
    startTrace();
    EXPECT_TRUE(netClose(&slot, TRUE));
    EXPECT_EQ(slot, kNoSocket);
    EXPECT_EQ(testseams::RequestedWaits(), (std::vector<DWORD>{kDrainLimitMs, 3000}));
    std::string log = traceText();
    EXPECT_NE(log.find("Shutdown() returns success."), std::string::npos) << log;
    EXPECT_NE(log.find("select(readfds) timeout or error, sockRc=0"), std::string::npos);
}

TEST_F(NetLayerTest, DrainOfAPrinterThatNeverStopsTalkingEndsAtItsLimit)
{
    startPrinter({.pages = 1, .floodPages = true});
    ASSERT_EQ(prtConnect(&port, &slot), kConnected);
    DWORD written = 0;
    std::string header(printersim::kJobHeader);
    ASSERT_TRUE(prtWrite(slot, reinterpret_cast<const BYTE*>(header.data()), static_cast<DWORD>(header.size()), &written));
    ASSERT_TRUE(printer->WaitForSent(0, printersim::kKeptSent, 10000)) << "the flood has begun";
    // The 3 s window and the 15 s limit become 1 s and 1.5 s: the flood need not keep
    // the socket filled on a loaded machine, only talk once a second.
    testseams::SetWaitDivisor({10, testseams::kShortestWaitMs});
    startTrace();
    DWORD start = GetTickCount();
    EXPECT_TRUE(netClose(&slot, TRUE));
    EXPECT_LT(GetTickCount() - start, 5000u);
    std::string log = traceText();
    EXPECT_NE(log.find("the printer still talks after"), std::string::npos);
}

TEST_F(NetLayerTest, DrainTracesWhatAChattyPrinterSends)
{
    startPrinter();  // answers the probe, then closes when the host shuts down
    ASSERT_EQ(prtConnect(&port, &slot), kConnected);
    DWORD written = 0;
    ASSERT_TRUE(prtWrite(slot, reinterpret_cast<const BYTE*>(printersim::kEchoProbe.data()),
                         static_cast<DWORD>(printersim::kEchoProbe.size()), &written));
    ASSERT_TRUE(printer->WaitForSent(0, 1, 10000)) << "the answer is on its way";
    startTrace();
    EXPECT_TRUE(netClose(&slot, TRUE));
    std::string log = traceText();
    EXPECT_NE(log.find("recv() 20 bytes UNEXPECTEDLY; Here they are:"), std::string::npos) << log;
    EXPECT_NE(log.find("@PJL ECHO Testing"), std::string::npos);
    EXPECT_NE(log.find("CONNECTION CONFIRMED CLOSED BY PRINTER"), std::string::npos);
}

TEST_F(NetLayerTest, FailedCloseStillClearsTheSlot)
{
    ASSERT_TRUE(netCreateSocket(&slot));
    testseams::InjectFault(FaultPoint::CloseSocket, WSAENOTSOCK);
    EXPECT_FALSE(netClose(&slot, FALSE));
    EXPECT_EQ(slot, kNoSocket);
    LONG bogus = 0x7ffffff0;  // no such socket: the real close fails too
    EXPECT_FALSE(netClose(&bogus, FALSE));
    EXPECT_EQ(bogus, kNoSocket);
}

TEST_F(NetLayerTest, DisconnectLeavesTheCallersCopy)
{
    startPrinter({.pjl = false});
    ASSERT_EQ(prtConnect(&port, &slot), kConnected);
    LONG copy = slot;
    EXPECT_TRUE(prtDisconnect(slot, FALSE));
    EXPECT_EQ(slot, copy);
    slot = kNoSocket;
    EXPECT_TRUE(printer->WaitForClosed(1, 2000));
}

TEST_F(NetLayerTest, NodelayAndLingerOptions)
{
    ASSERT_TRUE(netCreateSocket(&slot));
    EXPECT_TRUE(netSetOptionNODELAY(slot, TRUE));
    EXPECT_NE(socketOption(slot, IPPROTO_TCP, TCP_NODELAY), 0);
    EXPECT_TRUE(netSetOptionNODELAY(slot, FALSE));
    EXPECT_EQ(socketOption(slot, IPPROTO_TCP, TCP_NODELAY), 0);
    EXPECT_TRUE(netSetOptionLinger(slot, TRUE, 0));
    linger value{};
    int length = sizeof(value);
    getsockopt(AsSocket(slot), SOL_SOCKET, SO_LINGER, reinterpret_cast<char*>(&value), &length);
    EXPECT_EQ(value.l_onoff, 1);
    EXPECT_EQ(value.l_linger, 0);
    EXPECT_FALSE(netSetOptionNODELAY(0x7ffffff0, TRUE));
}

TEST_F(NetLayerTest, SlowRealConnectRetryPausesFiveSeconds)
{
    startPrinter();
    testseams::InjectFault(FaultPoint::SocketConnect, WSAETIMEDOUT, 2);
    auto start = steady_clock::now();
    EXPECT_EQ(prtConnect(&port, &slot), kConnectFailed);
    auto took = steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(4900));
    EXPECT_EQ(testseams::RequestedWaits(), (std::vector<DWORD>{5000}));
}

TEST_F(NetLayerTest, SlowRealTransientPausesAddUpToThirtySeconds)
{
    startPrinter();
    testseams::InjectFault(FaultPoint::SocketConnect, WSAENOBUFS, 3);
    auto start = steady_clock::now();
    EXPECT_EQ(netConnectPrinter(&port, &slot), kConnectFailed);
    auto took = steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(29900));
    EXPECT_EQ(testseams::RequestedWaits(), (std::vector<DWORD>{5000, 10000, 15000}));
}

TEST_F(NetLayerTest, SlowRealDrainWaitIsThreeSeconds)
{
    startPrinter({.pjl = false, .ending = printersim::Ending::Never});
    ASSERT_EQ(prtConnect(&port, &slot), kConnected);
    auto start = steady_clock::now();
    EXPECT_TRUE(netClose(&slot, TRUE));
    auto took = steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(2900));
    EXPECT_EQ(testseams::RequestedWaits(), (std::vector<DWORD>{kDrainLimitMs, kDrainWaitMs}));
}
