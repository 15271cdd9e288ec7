// The printer simulator itself, through real loopback sockets: what it answers and
// reports, when, how its connections end, and what it records.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <chrono>
#include <iterator>
#include <string>

#include "printersim.h"
#include "test_seams.h"

using namespace printersim;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

namespace {

const std::string kData = "%!PS\nshowpage\n" + std::string(2000, 'x');

long long msSince(steady_clock::time_point start)
{
    return std::chrono::duration_cast<milliseconds>(steady_clock::now() - start).count();
}

// The host's side of one connection.
class Client {
public:
    explicit Client(const Printer& printer)
    {
        socket_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(printer.options().port);
        to.sin_addr.s_addr = printer.ipAddress();
        connected_ = connect(socket_, reinterpret_cast<sockaddr*>(&to), sizeof(to)) == 0;
    }
    ~Client() { Close(); }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    bool connected() const { return connected_; }
    bool closed() const { return closed_; }
    int closeError() const { return closeError_; }  // 0: an orderly close

    bool Send(std::string_view data)
    {
        while (!data.empty()) {
            int sent = send(socket_, data.data(), static_cast<int>(data.size()), 0);
            if (sent <= 0) return false;
            data.remove_prefix(static_cast<size_t>(sent));
        }
        return true;
    }
    // Until size bytes have arrived, the printer has closed, or the time is up (long
    // enough for a loaded machine: a read that succeeds ends as soon as it has its bytes).
    std::string Read(size_t size, DWORD timeoutMs = 10000)
    {
        std::string got;
        auto deadline = steady_clock::now() + milliseconds(timeoutMs);
        while (got.size() < size && !closed_ && receive(got, deadline)) {
        }
        return got;
    }
    // Everything that arrives within that time, or until the printer closes.
    std::string ReadFor(DWORD ms)
    {
        std::string got;
        auto deadline = steady_clock::now() + milliseconds(ms);
        while (!closed_ && receive(got, deadline)) {
        }
        return got;
    }
    // One receive, whatever is there first.
    std::string ReadSome(DWORD timeoutMs = 10000)
    {
        std::string got;
        receive(got, steady_clock::now() + milliseconds(timeoutMs));
        return got;
    }
    void ShutdownSend() { shutdown(socket_, SD_SEND); }
    void Close()
    {
        if (socket_ != INVALID_SOCKET) closesocket(socket_);
        socket_ = INVALID_SOCKET;
    }

private:
    // False when nothing happened before the deadline.
    bool receive(std::string& into, steady_clock::time_point deadline)
    {
        auto left = std::chrono::duration_cast<milliseconds>(deadline - steady_clock::now()).count();
        if (left <= 0) return false;
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(socket_, &readable);
        timeval wait{static_cast<long>(left / 1000), static_cast<long>(left % 1000 * 1000)};
        if (select(0, &readable, nullptr, nullptr, &wait) <= 0) return false;
        char buffer[4096];
        int count = recv(socket_, buffer, sizeof(buffer), 0);
        if (count > 0) {
            into.append(buffer, static_cast<size_t>(count));
        } else {
            closed_ = true;
            closeError_ = count == 0 ? 0 : WSAGetLastError();
        }
        return true;
    }

    SOCKET socket_ = INVALID_SOCKET;
    bool connected_ = false;
    bool closed_ = false;
    int closeError_ = 0;
};

class PrinterSimTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WSADATA data;
        ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    }
    void TearDown() override { WSACleanup(); }

    // Sends the probe and the header and reads the answer and the start report.
    static void startJob(Client& client)
    {
        ASSERT_TRUE(client.connected());
        ASSERT_TRUE(client.Send(kEchoProbe));
        ASSERT_EQ(client.Read(EchoAnswer("Testing").size()), EchoAnswer("Testing"));
        ASSERT_TRUE(client.Send(kJobHeader));
        ASSERT_EQ(client.Read(StartReport().size()), StartReport());
    }
};

std::string pages(int count)
{
    std::string all;
    for (int page = 1; page <= count; ++page) all += PageReport(page);
    return all;
}

TEST(PrinterSimReports, WireFormat)
{
    EXPECT_EQ(EchoAnswer("Testing"), "@PJL ECHO Testing\r\n\f");
    EXPECT_EQ(StartReport(), "@PJL USTATUS JOB\r\nSTART\r\nNAME=\"\"\r\n\f");
    EXPECT_EQ(PageReport(7), "@PJL USTATUS PAGE\r\n7\r\n\f");
    EXPECT_EQ(EndReport(3), "@PJL USTATUS JOB\r\nEND\r\nNAME=\"\"\r\nPAGES=3\r\n\f");
    EXPECT_EQ(CancelReport(2), "@PJL USTATUS JOB\r\nCANCELED\r\nNAME=\"\"\r\nPAGES=2\r\n\f");
}

TEST_F(PrinterSimTest, EchoIsAnswered)
{
    Printer printer({.quietMs = 150});
    ASSERT_TRUE(printer.Start());
    Client client(printer);
    ASSERT_TRUE(client.connected());
    ASSERT_TRUE(client.Send(kEchoProbe));
    EXPECT_EQ(client.Read(20), "@PJL ECHO Testing\r\n\f");
    EXPECT_EQ(client.ReadFor(250), "") << "no job without a header";
    auto connections = printer.Connections();
    ASSERT_EQ(connections.size(), 1u);
    EXPECT_EQ(connections[0].received, kEchoProbe);
    EXPECT_EQ(connections[0].sent, std::vector<std::string>{EchoAnswer("Testing")});
}

TEST_F(PrinterSimTest, ReportsFollowTheHeaderAndTheQuietTimeInOrder)
{
    Printer printer({.pages = 3, .quietMs = 150});
    ASSERT_TRUE(printer.Start());
    Client client(printer);
    startJob(client);
    ASSERT_TRUE(client.Send(kData));
    auto sent = steady_clock::now();
    std::string expected = pages(3) + EndReport(3);
    EXPECT_EQ(client.Read(expected.size()), expected);
    EXPECT_GE(msSince(sent), 130) << "the pages come only after the quiet time";
    auto connections = printer.Connections();
    ASSERT_EQ(connections.size(), 1u);
    EXPECT_EQ(connections[0].received, std::string(kEchoProbe) + std::string(kJobHeader) + kData);
    EXPECT_EQ(connections[0].sent, (std::vector<std::string>{EchoAnswer("Testing"), StartReport(), PageReport(1),
                                                             PageReport(2), PageReport(3), EndReport(3)}));
}

TEST_F(PrinterSimTest, DataKeepsTheJobGoing)
{
    // A quiet time a loaded machine's sends 60 ms apart stay well within.
    Printer printer({.pages = 1, .quietMs = testseams::kShortestWaitMs});
    ASSERT_TRUE(printer.Start());
    Client client(printer);
    startJob(client);
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(client.Send("more data\n"));
        EXPECT_EQ(client.ReadFor(60), "") << "pauses shorter than the quiet time: " << i;
    }
    std::string expected = PageReport(1) + EndReport(1);
    EXPECT_EQ(client.Read(expected.size()), expected);
}

TEST_F(PrinterSimTest, PageIntervalPacesThePages)
{
    Printer printer({.pages = 2, .pageIntervalMs = 100, .quietMs = 100});
    ASSERT_TRUE(printer.Start());
    Client client(printer);
    startJob(client);
    ASSERT_TRUE(client.Send(kData));
    auto sent = steady_clock::now();
    EXPECT_EQ(client.Read(PageReport(1).size()), PageReport(1));
    EXPECT_GE(msSince(sent), 180);
    std::string rest = PageReport(2) + EndReport(2);
    EXPECT_EQ(client.Read(rest.size()), rest);
    EXPECT_GE(msSince(sent), 280);
}

TEST_F(PrinterSimTest, CanceledEnding)
{
    Printer printer({.pages = 2, .quietMs = 100, .ending = Ending::Canceled});
    ASSERT_TRUE(printer.Start());
    Client client(printer);
    startJob(client);
    ASSERT_TRUE(client.Send(kData));
    std::string expected = pages(2) + CancelReport(2);
    EXPECT_EQ(client.Read(expected.size()), expected);
    EXPECT_EQ(client.ReadFor(200), "");
}

TEST_F(PrinterSimTest, NeverEndingKeepsTheConnectionOpen)
{
    Printer printer({.pages = 2, .quietMs = 100, .ending = Ending::Never});
    ASSERT_TRUE(printer.Start());
    Client client(printer);
    startJob(client);
    ASSERT_TRUE(client.Send(kData));
    EXPECT_EQ(client.Read(pages(2).size()), pages(2));
    EXPECT_EQ(client.ReadFor(300), "");
    EXPECT_FALSE(client.closed());
    client.ShutdownSend();
    EXPECT_TRUE(printer.WaitForClosed(1, 1000));
    EXPECT_EQ(client.ReadFor(300), "");
    EXPECT_FALSE(client.closed()) << "the printer keeps its side open after the host's shutdown";
    EXPECT_TRUE(printer.Connections()[0].peerClosed);
    printer.Stop();
    client.ReadFor(1000);
    EXPECT_TRUE(client.closed());
}

TEST_F(PrinterSimTest, CloseEndingClosesAfterThePages)
{
    Printer printer({.pages = 2, .quietMs = 100, .ending = Ending::Close});
    ASSERT_TRUE(printer.Start());
    Client client(printer);
    startJob(client);
    ASSERT_TRUE(client.Send(kData));
    EXPECT_EQ(client.ReadFor(10000), pages(2));
    EXPECT_TRUE(client.closed());
    EXPECT_EQ(client.closeError(), 0);
    EXPECT_TRUE(printer.WaitForClosed(1, 1000));
    EXPECT_FALSE(printer.Connections()[0].peerClosed);
}

TEST_F(PrinterSimTest, GarbageInPlaceOfEveryReport)
{
    Printer printer({.pages = 2, .quietMs = 100, .reports = Reports::Garbage});
    ASSERT_TRUE(printer.Start());
    Client client(printer);
    ASSERT_TRUE(client.Send(kEchoProbe));
    EXPECT_EQ(client.Read(20), EchoAnswer("Testing")) << "ECHO is still answered";
    ASSERT_TRUE(client.Send(std::string(kJobHeader) + kData));
    ASSERT_TRUE(printer.WaitForSent(0, 5, 10000)) << "echo, then start, two pages and the end";
    auto sent = printer.Connections()[0].sent;
    ASSERT_EQ(sent.size(), 5u);
    std::string garbage;
    for (size_t i = 1; i < sent.size(); ++i) {
        EXPECT_FALSE(sent[i].empty());
        EXPECT_EQ(sent[i].find("@PJL"), std::string::npos) << sent[i];
        garbage += sent[i];
    }
    EXPECT_EQ(client.Read(garbage.size()), garbage);
}

TEST_F(PrinterSimTest, NoReportsButEchoIsAnswered)
{
    Printer printer({.pages = 2, .quietMs = 100, .reports = Reports::None});
    ASSERT_TRUE(printer.Start());
    Client client(printer);
    ASSERT_TRUE(client.Send(kEchoProbe));
    EXPECT_EQ(client.Read(20), EchoAnswer("Testing"));
    ASSERT_TRUE(client.Send(std::string(kJobHeader) + kData));
    EXPECT_EQ(client.ReadFor(400), "");
    EXPECT_EQ(printer.Connections()[0].sent.size(), 1u);
}

TEST_F(PrinterSimTest, NonPjlPrinterNeverAnswers)
{
    Printer printer({.pjl = false, .quietMs = 100});
    ASSERT_TRUE(printer.Start());
    Client client(printer);
    ASSERT_TRUE(client.connected());
    std::string all = std::string(kEchoProbe) + std::string(kJobHeader) + kData + std::string(kEndOfJob);
    ASSERT_TRUE(client.Send(all));
    EXPECT_EQ(client.ReadFor(400), "");
    client.ShutdownSend();
    EXPECT_EQ(client.ReadFor(1000), "");
    EXPECT_TRUE(client.closed()) << "the printer closes after the host's shutdown";
    ASSERT_TRUE(printer.WaitForClosed(1, 1000));
    auto connections = printer.Connections();
    EXPECT_EQ(connections[0].received, all);
    EXPECT_TRUE(connections[0].sent.empty());
    EXPECT_TRUE(connections[0].peerClosed);
}

// Wine reports a reset to recv as the end of the data, as it does a close; what tells
// them apart is the host's next send, which fails at once after a reset only.
TEST_F(PrinterSimTest, DropAfterBytesCloses)
{
    Printer printer({.pjl = false, .dropAfterBytes = 100});
    ASSERT_TRUE(printer.Start());
    Client client(printer);
    ASSERT_TRUE(client.connected());
    ASSERT_TRUE(client.Send(std::string(60, 'a')));
    EXPECT_EQ(client.ReadFor(150), "");
    EXPECT_FALSE(client.closed());
    ASSERT_TRUE(client.Send(std::string(40, 'b')));
    EXPECT_EQ(client.ReadFor(1000), "");
    EXPECT_TRUE(client.closed());
    EXPECT_EQ(client.closeError(), 0);
    EXPECT_TRUE(client.Send("late")) << "an orderly close, no reset";
    ASSERT_TRUE(printer.WaitForClosed(1, 1000));
    auto connections = printer.Connections();
    EXPECT_EQ(connections[0].received, std::string(60, 'a') + std::string(40, 'b'));
    EXPECT_FALSE(connections[0].peerClosed);
}

TEST_F(PrinterSimTest, DropWithResetOnDropResets)
{
    Printer printer({.pjl = false, .dropAfterBytes = 100, .resetOnDrop = true});
    ASSERT_TRUE(printer.Start());
    Client client(printer);
    ASSERT_TRUE(client.connected());
    ASSERT_TRUE(client.Send(std::string(100, 'r')));  // nothing left unread: only the linger resets
    client.ReadFor(1000);
    EXPECT_TRUE(client.closed());
    EXPECT_FALSE(client.Send("late"));
    EXPECT_EQ(WSAGetLastError(), WSAECONNRESET);
    ASSERT_TRUE(printer.WaitForClosed(1, 1000));
    EXPECT_EQ(printer.Connections()[0].received, std::string(100, 'r'));
}

TEST_F(PrinterSimTest, DropRecordsOnlyTheBytesBeforeIt)
{
    Printer printer({.pjl = false, .dropAfterBytes = 100, .resetOnDrop = true});
    ASSERT_TRUE(printer.Start());
    Client client(printer);
    ASSERT_TRUE(client.connected());
    std::string bytes;
    for (int i = 0; i < 300; ++i) bytes += static_cast<char>('0' + i % 10);
    ASSERT_TRUE(client.Send(bytes));
    client.ReadFor(1000);
    EXPECT_TRUE(client.closed());
    ASSERT_TRUE(printer.WaitForClosed(1, 1000));
    EXPECT_EQ(printer.Connections()[0].received, bytes.substr(0, 100));
    EXPECT_EQ(printer.BytesReceived(), 100u);
}

TEST_F(PrinterSimTest, SplitReportsArriveInTwoPieces)
{
    // The halves a second apart: the reader, woken by the first, gets it alone even on a
    // loaded machine.
    Printer printer({.quietMs = 100, .splitReports = true, .splitPauseMs = testseams::kShortestWaitMs});
    ASSERT_TRUE(printer.Start());
    Client client(printer);
    ASSERT_TRUE(client.connected());
    ASSERT_TRUE(client.Send(kEchoProbe));
    std::string answer = EchoAnswer("Testing");
    std::string first = client.ReadSome();
    EXPECT_EQ(first, answer.substr(0, answer.size() / 2));
    EXPECT_EQ(client.Read(answer.size() - first.size()), answer.substr(first.size()));
    EXPECT_EQ(printer.Connections()[0].sent, std::vector<std::string>{answer}) << "recorded whole";
}

TEST_F(PrinterSimTest, EndOfJobEndsTheJobAtOnce)
{
    Printer printer({.pages = 1, .quietMs = 3000});
    ASSERT_TRUE(printer.Start());
    Client client(printer);
    startJob(client);
    ASSERT_TRUE(client.Send(kData + std::string(kEndOfJob)));
    auto sent = steady_clock::now();
    std::string expected = PageReport(1) + EndReport(1);
    EXPECT_EQ(client.Read(expected.size()), expected);
    EXPECT_LT(msSince(sent), 1500) << "no wait for the quiet time";
}

TEST_F(PrinterSimTest, JobsFollowOneAnotherOnOneConnection)
{
    Printer printer({.pages = 1, .quietMs = 3000});
    ASSERT_TRUE(printer.Start());
    Client client(printer);
    startJob(client);
    std::string expected = PageReport(1) + EndReport(1);
    for (int job = 0; job < 2; ++job) {
        if (job > 0) {
            ASSERT_TRUE(client.Send(kJobHeader));
            ASSERT_EQ(client.Read(StartReport().size()), StartReport());
        }
        ASSERT_TRUE(client.Send(kData + std::string(kEndOfJob)));
        EXPECT_EQ(client.Read(expected.size(), 1500), expected) << job;
    }
}

TEST_F(PrinterSimTest, HostShutdownEndsTheJob)
{
    Printer printer({.pages = 1, .quietMs = 3000});
    ASSERT_TRUE(printer.Start());
    Client client(printer);
    startJob(client);
    ASSERT_TRUE(client.Send(kData));
    client.ShutdownSend();
    auto sent = steady_clock::now();
    EXPECT_EQ(client.ReadFor(2000), PageReport(1) + EndReport(1));
    EXPECT_TRUE(client.closed());
    EXPECT_EQ(client.closeError(), 0);
    EXPECT_LT(msSince(sent), 1500) << "no wait for the quiet time";
    ASSERT_TRUE(printer.WaitForClosed(1, 1000));
    EXPECT_TRUE(printer.Connections()[0].peerClosed);
}

TEST_F(PrinterSimTest, PrintersWithoutAddressGetDifferentOnes)
{
    Printer first({});
    Printer second({});
    ASSERT_TRUE(first.Start());
    ASSERT_TRUE(second.Start());
    EXPECT_NE(first.address(), second.address());
    for (const Printer* printer : {&first, &second}) {
        EXPECT_EQ(printer->address().rfind("127.0.0.", 0), 0u) << printer->address();
        EXPECT_EQ(printer->ipAddress(), inet_addr(printer->address().c_str()));
    }
    Client one(first), two(second);
    ASSERT_TRUE(one.Send("one"));
    ASSERT_TRUE(two.Send("two"));
    ASSERT_TRUE(first.WaitForBytes(3, 1000));
    ASSERT_TRUE(second.WaitForBytes(3, 1000));
    EXPECT_EQ(first.Received(), "one");
    EXPECT_EQ(second.Received(), "two");

    Printer taken({.address = first.address()});
    int error = 0;
    EXPECT_FALSE(taken.Start(&error));
    EXPECT_EQ(error, WSAEADDRINUSE) << "an address is never shared";
}

// A test in a prefix of its own gives its printers a range of addresses of their own;
// a range that is not one leaves them in the shared one.
TEST_F(PrinterSimTest, PrintersWithoutAddressStayInTheRangeTheEnvironmentGives)
{
    char saved[32]{};
    DWORD savedLength = GetEnvironmentVariableA("PRINTERSIM_ADDRESSES", saved, sizeof(saved));
    struct Case {
        const char* range;
        int first, last;
    } cases[] = {{"250-250", 250, 250}, {"100-99", 2, 99}, {"1-5", 2, 99}, {"x", 2, 99}};
    for (const auto& c : cases) {
        SetEnvironmentVariableA("PRINTERSIM_ADDRESSES", c.range);
        Printer printer({});
        ASSERT_TRUE(printer.Start()) << c.range;
        int n = std::stoi(printer.address().substr(printer.address().rfind('.') + 1));
        EXPECT_GE(n, c.first) << c.range;
        EXPECT_LE(n, c.last) << c.range;
        if (c.first == c.last) {
            Printer second({});
            int error = 0;
            EXPECT_FALSE(second.Start(&error)) << "the range is full";
            EXPECT_EQ(error, WSAEADDRINUSE);
        }
    }
    SetEnvironmentVariableA("PRINTERSIM_ADDRESSES", savedLength ? saved : nullptr);
}

TEST_F(PrinterSimTest, ListensOnLoopbackOnly)
{
    for (const char* address : {"192.0.2.1", "127.0.1.5", "0.0.0.0", "localhost"}) {
        Printer printer({.address = address});
        int error = 0;
        EXPECT_FALSE(printer.Start(&error)) << address;
        EXPECT_EQ(error, WSAEADDRNOTAVAIL) << address;
    }
}

TEST_F(PrinterSimTest, BytesAreRecordedExactlyPerConnectionInOrder)
{
    Printer printer({.pjl = false});
    ASSERT_TRUE(printer.Start());
    std::string everyByte;
    for (int c = 0; c < 256; ++c) everyByte += static_cast<char>(c);
    std::string big;
    for (int i = 0; i < 100000; ++i) big += static_cast<char>(i * 7 % 251);
    const std::string contents[] = {everyByte, std::string(kEchoProbe), std::string(kJobHeader) + big};
    unsigned long long total = 0;
    for (size_t i = 0; i < std::size(contents); ++i) {
        Client client(printer);
        ASSERT_TRUE(client.connected());
        ASSERT_TRUE(printer.WaitForConnections(i + 1, 1000));
        ASSERT_TRUE(client.Send(contents[i]));
        total += contents[i].size();
        ASSERT_TRUE(printer.WaitForBytes(total, 2000));
    }
    ASSERT_TRUE(printer.WaitForClosed(3, 2000));
    auto connections = printer.Connections();
    ASSERT_EQ(connections.size(), 3u);
    std::string all;
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(connections[i].received, contents[i]) << i;
        EXPECT_TRUE(connections[i].peerClosed) << i;
        all += contents[i];
    }
    EXPECT_EQ(printer.Received(), all);
    EXPECT_EQ(printer.BytesReceived(), total);
}

TEST_F(PrinterSimTest, HostClosesAfterTheProbeAndReconnects)
{
    Printer printer({.pages = 1, .quietMs = 100});
    ASSERT_TRUE(printer.Start());
    {
        Client probe(printer);
        ASSERT_TRUE(probe.Send(kEchoProbe));
        EXPECT_EQ(probe.Read(20), EchoAnswer("Testing"));
    }
    ASSERT_TRUE(printer.WaitForClosed(1, 1000));
    Client job(printer);
    ASSERT_TRUE(job.Send(std::string(kJobHeader) + kData));
    std::string expected = StartReport() + PageReport(1) + EndReport(1);
    EXPECT_EQ(job.Read(expected.size()), expected);
    auto connections = printer.Connections();
    ASSERT_EQ(connections.size(), 2u);
    EXPECT_EQ(connections[0].received, kEchoProbe);
    EXPECT_TRUE(connections[0].peerClosed);
    EXPECT_EQ(connections[1].received, std::string(kJobHeader) + kData);
}

TEST_F(PrinterSimTest, UnrecordedBytesAreCounted)
{
    Printer printer({.pjl = false, .record = false});
    ASSERT_TRUE(printer.Start());
    Client client(printer);
    ASSERT_TRUE(client.Send(std::string(50000, 'q')));
    ASSERT_TRUE(printer.WaitForBytes(50000, 2000));
    EXPECT_EQ(printer.BytesReceived(), 50000u);
    EXPECT_EQ(printer.Received(), "");
}

TEST_F(PrinterSimTest, ReadDelayPausesBetweenReceives)
{
    Printer printer({.pjl = false, .readDelayMs = 40});
    ASSERT_TRUE(printer.Start());
    Client client(printer);
    auto start = steady_clock::now();
    ASSERT_TRUE(client.Send(std::string(2048, 's')));  // four receives of 512 bytes
    ASSERT_TRUE(printer.WaitForBytes(2048, 2000));
    EXPECT_GE(msSince(start), 100);
    EXPECT_FALSE(printer.WaitForBytes(2049, 0));
}

TEST_F(PrinterSimTest, StopIsPromptAndSafeTwice)
{
    Printer printer({.pages = 1, .pageIntervalMs = 10000, .quietMs = 50, .ending = Ending::Never});
    ASSERT_TRUE(printer.Start());
    Client busy(printer), idle(printer);
    startJob(busy);
    ASSERT_TRUE(busy.Send(kData));
    ASSERT_TRUE(printer.WaitForConnections(2, 1000));
    Sleep(200);  // the busy connection now waits before its page
    auto start = steady_clock::now();
    printer.Stop();
    EXPECT_LT(msSince(start), 1000);
    printer.Stop();
    idle.ReadFor(1000);
    EXPECT_TRUE(idle.closed());
    EXPECT_TRUE(printer.WaitForClosed(2, 0));
}

}  // namespace
