// The monitor's RPC endpoint, called from this process through the widl-generated client
// stub while rpchost.exe, another process, has lanport.dll loaded and serving. Under Wine
// the spooler runs inside each process that uses it, so every such process starts the
// endpoint; the server process is the one that registered with the endpoint mapper last.
#include <gtest/gtest.h>

#include <windows.h>
#include <rpc.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "footprint.h"
#include "hostprocess.h"
#include "registrytree.h"
#include "rpcclient.h"
#include "rpctestdefs.h"
#include "tracefiles.h"

using namespace rpctest;
using testing_support::MessageOf;
using testing_support::ProcessThreads;
using testing_support::ReadLines;
using testing_support::ScratchDirectory;

namespace {

const std::string kLog = "lanportm.log";

// The registry record of one of the monitor's ports; empty when the port has no key.
std::vector<BYTE> storedConfig(const std::wstring& name)
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, (std::wstring(kMonitorPortsKey) + L"\\" + name).c_str(), 0, KEY_READ,
                      &key) != ERROR_SUCCESS)
        return {};
    std::vector<BYTE> config(sizeof(ConfigInfo) + 16);
    DWORD size = static_cast<DWORD>(config.size());
    DWORD type = 0;
    LONG status = RegQueryValueExW(key, L"configInfo", nullptr, &type, config.data(), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_BINARY) return {};
    config.resize(size);
    return config;
}

std::vector<BYTE> bytesOf(const ConfigInfo& config)
{
    const BYTE* bytes = reinterpret_cast<const BYTE*>(&config);
    return std::vector<BYTE>(bytes, bytes + sizeof(config));
}

std::vector<std::wstring> portKeys()
{
    return testing_support::SubkeyNames(HKEY_LOCAL_MACHINE, kMonitorPortsKey);
}

bool contains(const std::vector<std::string>& names, const std::string& name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

std::string narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

// The messages of the server's trace log, in order.
std::vector<std::string> traceMessages()
{
    std::vector<std::string> messages;
    for (const std::string& line : ReadLines(kLog)) messages.push_back(MessageOf(line));
    return messages;
}

// Where `message` first appears at or after `from`; npos when it does not.
size_t findMessage(const std::vector<std::string>& messages, const std::string& message, size_t from = 0)
{
    for (size_t i = from; i < messages.size(); ++i)
        if (messages[i] == message) return i;
    return std::string::npos;
}

// Every test: a trace switched on in a directory of its own (the server process's
// current directory), a server process, and the stub's handle bound to "ncacn_np:".
class RpcEndpointTest : public ::testing::Test {
protected:
    void SetUp() override { testing_support::WriteFile("lanportm.cfg", "traceon 1\n"); }
    void TearDown() override
    {
        Unbind();
        host_.Stop();
    }

    // Starts the server process in `mode` and binds; the ports in `seeds`
    // ("name=address") exist before the monitor starts.
    void Serve(const std::wstring& mode, const std::vector<std::wstring>& seeds = {})
    {
        std::vector<std::wstring> arguments{mode};
        arguments.insert(arguments.end(), seeds.begin(), seeds.end());
        std::string failure;
        ASSERT_TRUE(StartServing(host_, arguments, &failure)) << failure;
        ASSERT_EQ(BindPartial(), RPC_S_OK);
    }

    // The call through the stub, which must not fail at the RPC level.
    LONG Call(NameBuffer& name, const std::wstring& address, unsigned char flags = 0)
    {
        CallResult call = CallNewPort(name.chars, address, flags);
        EXPECT_FALSE(call.raised) << "RPC failure " << call.exceptionCode;
        return call.result;
    }

    // Ends the server process; what it did is then in the registry and its trace.
    void StopServer() { EXPECT_EQ(host_.Stop(), 0u); }

    ScratchDirectory scratch_;
    HostProcess host_;
};

}  // namespace

// --- Binding --------------------------------------------------------------------------

TEST_F(RpcEndpointTest, PartialBindingIsResolvedThroughTheEndpointMapper)
{
    ASSERT_NO_FATAL_FAILURE(Serve(L"spooler"));
    EXPECT_EQ(BindingProtseq(), L"ncacn_np");
    EXPECT_EQ(BindingEndpoint(), L"") << "no endpoint before the first call";
    NameBuffer name = MarkedName(std::wstring(129, L'N'));
    CallResult call = CallNewPort(name.chars, L"127.0.0.20", 0);
    ASSERT_FALSE(call.raised) << call.exceptionCode;
    std::wstring endpoint = BindingEndpoint();
    EXPECT_NE(endpoint.find(L"pipe"), std::wstring::npos) << "a pipe chosen by the run-time: " << narrow(endpoint);
    EXPECT_EQ(narrow(endpoint), host_.Endpoint()) << "the server process's own pipe";
}

// --- The server's start and stop -------------------------------------------------------

TEST_F(RpcEndpointTest, ServerThreadRegistersEveryStepAndListens)
{
    ASSERT_NO_FATAL_FAILURE(Serve(L"spooler"));
    StopServer();
    std::vector<std::string> log = traceMessages();
    size_t entry = findMessage(log, "Entry InitRPC()");
    ASSERT_NE(entry, std::string::npos);
    EXPECT_NE(findMessage(log, "Exit  InitRPC success ", entry), std::string::npos);
    size_t at = findMessage(log, "Entry StartRPCServer()", entry);
    ASSERT_NE(at, std::string::npos);
    for (const char* step : {"RpcServerUseProtseq returned 0x0", "RpcServerRegisterIf returned 0x0",
                             "RpcServerInqBindings returned 0x0", "RpcEpRegister returned: 0x0",
                             "Calling RpcServerListen"}) {
        size_t next = findMessage(log, step, at);
        ASSERT_NE(next, std::string::npos) << step;
        at = next;
    }
    EXPECT_EQ(findMessage(log, "Exit  StartRPCServer()"), std::string::npos) << "still listening";
}

TEST_F(RpcEndpointTest, DetachStopsTheMonitorsOwnListening)
{
    ASSERT_NO_FATAL_FAILURE(Serve(L"spooler"));
    host_.Send("detach");
    EXPECT_EQ(host_.ReadLine(), "listening " + std::to_string(RPC_S_NOT_LISTENING));
    NameBuffer name = MarkedName(std::wstring(129, L'N'));
    CallResult call = CallNewPort(name.chars, L"127.0.0.20", 0);
    EXPECT_TRUE(call.raised) << "the endpoint is gone, result " << call.result;
    StopServer();
    std::vector<std::string> log = traceMessages();
    size_t entry = findMessage(log, "Entry  StopRPCServer()");
    ASSERT_NE(entry, std::string::npos);
    size_t owns = findMessage(log, "PM owns RPC server, so it can stop it now", entry);
    ASSERT_NE(owns, std::string::npos);
    EXPECT_NE(findMessage(log, "Exit  StopRPCServer()", owns), std::string::npos);
    for (const std::string& message : log) EXPECT_EQ(message.find("ERROR"), std::string::npos) << message;
}

// A detach while the monitor's thread is still to register: that thread ends without
// listening, so nothing serves the interface after the detach.
TEST_F(RpcEndpointTest, DetachBeforeTheListeningBeganLeavesNothingListening)
{
    ASSERT_TRUE(host_.Start({L"early"}));
    EXPECT_EQ(host_.ReadLine(), "listening " + std::to_string(RPC_S_NOT_LISTENING));
    EXPECT_EQ(host_.WaitForExit(20000), 0u);
}

// At process exit the system ends every other thread before the detach, the listening
// thread and the run-time's among them; waiting for them would never end (under Wine,
// RpcMgmtStopServerListening does wait).
TEST_F(RpcEndpointTest, ProcessExitEndsWithoutWaitingForTheEndedListener)
{
    ASSERT_NO_FATAL_FAILURE(Serve(L"spooler"));
    host_.Send("end");
    EXPECT_EQ(host_.WaitForExit(20000), 0u) << "the process ended by itself";
    StopServer();
    std::vector<std::string> log = traceMessages();
    size_t entry = findMessage(log, "Entry  StopRPCServer()");
    ASSERT_NE(entry, std::string::npos);
    size_t ended = findMessage(log, "PM owns RPC server, but its listening thread has ended", entry);
    ASSERT_NE(ended, std::string::npos);
    EXPECT_NE(findMessage(log, "Exit  StopRPCServer()", ended), std::string::npos);
}

TEST_F(RpcEndpointTest, ProcessThatListensAlreadyKeepsItsListenerAndStillAnswers)
{
    ASSERT_NO_FATAL_FAILURE(Serve(L"listening"));
    // An over-long name gets 10 from the monitor in any state: the call proves the
    // interface answers, whatever becomes of the port.
    NameBuffer name = MarkedName(std::wstring(129, L'N'));
    EXPECT_EQ(Call(name, L"127.0.0.20"), static_cast<LONG>(kErrRcGeneral));

    host_.Send("detach");
    EXPECT_EQ(host_.ReadLine(), "listening 0") << "the process's listener keeps listening";
    NameBuffer again = MarkedName(std::wstring(129, L'N'));
    CallResult call = CallNewPort(again.chars, L"127.0.0.20", 0);
    EXPECT_TRUE(call.raised) << "the interface is unregistered";
    EXPECT_EQ(call.exceptionCode, static_cast<DWORD>(RPC_S_UNKNOWN_IF));
    StopServer();

    std::vector<std::string> log = traceMessages();
    size_t listen = findMessage(log, "Calling RpcServerListen");
    ASSERT_NE(listen, std::string::npos);
    size_t returned = findMessage(log, "RpcServerListen returned: 0x6b1", listen);
    ASSERT_NE(returned, std::string::npos) << "RPC_S_ALREADY_LISTENING";
    EXPECT_NE(findMessage(log, "Exit  StartRPCServer()", returned), std::string::npos);
    size_t stop = findMessage(log, "Entry  StopRPCServer()", returned);
    ASSERT_NE(stop, std::string::npos);
    for (size_t i = stop; i < log.size(); ++i)
        EXPECT_NE(log[i].rfind("PM owns RPC server", 0), 0u) << "the monitor does not own the listener";
    EXPECT_NE(findMessage(log, "Exit  StopRPCServer()", stop), std::string::npos);
}

TEST_F(RpcEndpointTest, LibraryLoadedButNotInitialisedAnswers10AndCreatesNothing)
{
    ASSERT_NO_FATAL_FAILURE(Serve(L"loaded"));
    NameBuffer name = MarkedName(L"RpcUninitialised");
    NameBuffer sent = name;
    EXPECT_EQ(Call(name, L"127.0.0.27"), static_cast<LONG>(kErrRcGeneral));
    EXPECT_EQ(memcmp(name.chars, sent.chars, sizeof(name.chars)), 0) << "name left as sent";
    StopServer();
    EXPECT_TRUE(storedConfig(L"RpcUninitialised").empty());
}

// --- Creating ports --------------------------------------------------------------------

TEST_F(RpcEndpointTest, NewAddressCreatesThePortAndReturnsItsName)
{
    ASSERT_NO_FATAL_FAILURE(Serve(L"spooler"));
    NameBuffer name = MarkedName(L"RpcPrinter");
    EXPECT_EQ(Call(name, L"127.0.0.21", 0x5a), static_cast<LONG>(kErrRcSuccess));
    EXPECT_EQ(Text(name), L"RpcPrinter");
    StopServer();
    EXPECT_EQ(storedConfig(L"RpcPrinter"), bytesOf(DefaultConfig("127.0.0.21")));
    EXPECT_TRUE(contains(ListedPorts(), "RpcPrinter"));
}

TEST_F(RpcEndpointTest, AddressOfAnExistingPortReturns51AndThatPortsName)
{
    ASSERT_NO_FATAL_FAILURE(Serve(L"spooler", {L"RpcExisting=127.0.0.22"}));
    NameBuffer name = MarkedName(L"RpcOther");
    EXPECT_EQ(Call(name, L"127.0.0.22"), static_cast<LONG>(kErrRcAddressUsed));
    EXPECT_EQ(Text(name), L"RpcExisting");
    StopServer();
    EXPECT_TRUE(storedConfig(L"RpcOther").empty());
    std::vector<std::string> listed = ListedPorts();
    EXPECT_TRUE(contains(listed, "RpcExisting"));
    EXPECT_FALSE(contains(listed, "RpcOther"));
}

TEST_F(RpcEndpointTest, SameNameAndAddressReturns1)
{
    ASSERT_NO_FATAL_FAILURE(Serve(L"spooler", {L"RpcExisting=127.0.0.22"}));
    NameBuffer name = MarkedName(L"RpcExisting");
    EXPECT_EQ(Call(name, L"127.0.0.22"), static_cast<LONG>(kErrRcPortExists));
    EXPECT_EQ(Text(name), L"RpcExisting");
    StopServer();
    EXPECT_EQ(portKeys(), std::vector<std::wstring>{L"RpcExisting"});
}

TEST_F(RpcEndpointTest, AddressThatIPAddrFormatRejectsReturns50AndLeavesTheNameAsSent)
{
    ASSERT_NO_FATAL_FAILURE(Serve(L"spooler"));
    // Each is dotted-decimal in shape with a part over 255 or too few parts.
    for (const wchar_t* address : {L"127.0.0.300", L"127.0.1", L"256.0.0.1"}) {
        NameBuffer name = MarkedName(L"RpcBadAddress");
        NameBuffer sent = name;
        EXPECT_EQ(Call(name, address), static_cast<LONG>(kErrRcBadAddress)) << narrow(address);
        EXPECT_EQ(memcmp(name.chars, sent.chars, sizeof(name.chars)), 0) << narrow(address);
    }
    StopServer();
    EXPECT_TRUE(portKeys().empty());
}

TEST_F(RpcEndpointTest, TakenNameWithAFreeAddressReturns61AndTheGeneratedName)
{
    ASSERT_NO_FATAL_FAILURE(Serve(L"spooler", {L"RpcTaken=127.0.0.23"}));
    NameBuffer name = MarkedName(L"RpcTaken");
    EXPECT_EQ(Call(name, L"127.0.0.24"), static_cast<LONG>(kErrRcNameUsed));
    EXPECT_EQ(Text(name), L"Zephrin:127.0.0.24");
    StopServer();
    EXPECT_EQ(storedConfig(L"Zephrin:127.0.0.24"), bytesOf(DefaultConfig("127.0.0.24")));
    EXPECT_EQ(storedConfig(L"RpcTaken"), bytesOf(DefaultConfig("127.0.0.23")));
    EXPECT_TRUE(contains(ListedPorts(), "Zephrin:127.0.0.24"));
}

TEST_F(RpcEndpointTest, TakenGeneratedNameGetsTheFirstFreeNumber)
{
    ASSERT_NO_FATAL_FAILURE(Serve(L"spooler", {L"RpcTaken=127.0.0.23", L"Zephrin:127.0.0.24=127.0.0.25"}));
    NameBuffer name = MarkedName(L"RpcTaken");
    EXPECT_EQ(Call(name, L"127.0.0.24"), static_cast<LONG>(kErrRcNameUsed));
    EXPECT_EQ(Text(name), L"Zephrin:127.0.0.24_2");
    StopServer();
    EXPECT_EQ(storedConfig(L"Zephrin:127.0.0.24_2"), bytesOf(DefaultConfig("127.0.0.24")));
    EXPECT_TRUE(contains(ListedPorts(), "Zephrin:127.0.0.24_2"));
}

TEST_F(RpcEndpointTest, NameOfAnotherMonitorsPortReturns61AndTheGeneratedName)
{
    ASSERT_NO_FATAL_FAILURE(Serve(L"spooler"));
    NameBuffer name = MarkedName(L"FILE:");
    EXPECT_EQ(Call(name, L"127.0.0.26"), static_cast<LONG>(kErrRcNameUsed));
    EXPECT_EQ(Text(name), L"Zephrin:127.0.0.26");
    StopServer();
    EXPECT_EQ(portKeys(), std::vector<std::wstring>{L"Zephrin:127.0.0.26"});
}

// --- Texts the monitor cannot hold ------------------------------------------------------

TEST_F(RpcEndpointTest, NameOf128CharactersIsTheLongestAccepted)
{
    ASSERT_NO_FATAL_FAILURE(Serve(L"spooler"));
    std::wstring longest(128, L'L');
    NameBuffer name = MarkedName(longest);
    EXPECT_EQ(Call(name, L"127.0.0.28"), static_cast<LONG>(kErrRcSuccess));
    EXPECT_EQ(Text(name), longest);
    StopServer();
    EXPECT_EQ(storedConfig(longest), bytesOf(DefaultConfig("127.0.0.28")));
}

TEST_F(RpcEndpointTest, OverLongNamesReturn10AndCreateNothing)
{
    ASSERT_NO_FATAL_FAILURE(Serve(L"spooler"));
    for (size_t length : {129u, 200u, 257u}) {
        NameBuffer name = MarkedName(std::wstring(length, L'L'));
        NameBuffer sent = name;
        EXPECT_EQ(Call(name, L"127.0.0.29"), static_cast<LONG>(kErrRcGeneral)) << length;
        EXPECT_EQ(memcmp(name.chars, sent.chars, sizeof(name.chars)), 0) << length;
    }
    StopServer();
    EXPECT_TRUE(portKeys().empty());
}

TEST_F(RpcEndpointTest, NamesThatReachAnotherPortsKeyReturn10AndChangeNothing)
{
    ASSERT_NO_FATAL_FAILURE(Serve(L"spooler", {L"RpcBS=127.0.0.35"}));
    for (const wchar_t* requested : {L"RpcBS\\", L"RpcBS\\\\", L"\\RpcBS", L"Rpc,BS", L""}) {
        NameBuffer name = MarkedName(requested);
        NameBuffer sent = name;
        EXPECT_EQ(Call(name, L"127.0.0.36"), static_cast<LONG>(kErrRcGeneral)) << narrow(requested);
        EXPECT_EQ(memcmp(name.chars, sent.chars, sizeof(name.chars)), 0) << narrow(requested);
    }
    StopServer();
    EXPECT_EQ(portKeys(), std::vector<std::wstring>{L"RpcBS"});
    EXPECT_EQ(storedConfig(L"RpcBS"), bytesOf(DefaultConfig("127.0.0.35")));
}

// The interface's array has no room for a terminator the client did not send.
TEST_F(RpcEndpointTest, NameWithoutTerminatorReturns10AndCreatesNothing)
{
    ASSERT_NO_FATAL_FAILURE(Serve(L"spooler"));
    NameBuffer name = MarkedName(std::wstring(kPortNameChars, L'U'));
    EXPECT_EQ(Call(name, L"127.0.0.29"), static_cast<LONG>(kErrRcGeneral));
    StopServer();
    EXPECT_TRUE(portKeys().empty());
}

TEST_F(RpcEndpointTest, OverLongAddressesReturn10AndCreateNothing)
{
    ASSERT_NO_FATAL_FAILURE(Serve(L"spooler"));
    // Dots in a row make no empty parts, so these still look dotted-decimal.
    for (size_t dots : {121u, 122u, 4000u}) {
        std::wstring address = L"127." + std::wstring(dots, L'.') + L"0.0.30";
        NameBuffer name = MarkedName(L"RpcLongAddress");
        EXPECT_EQ(Call(name, address), static_cast<LONG>(kErrRcGeneral)) << address.size();
        EXPECT_EQ(Text(name), L"RpcLongAddress");
    }
    StopServer();
    EXPECT_TRUE(portKeys().empty());
}

// --- Requests the stub rejects -----------------------------------------------------------

TEST_F(RpcEndpointTest, WellFormedRawRequestIsAnswered)
{
    ASSERT_NO_FATAL_FAILURE(Serve(L"spooler"));
    NameBuffer name = MarkedName(std::wstring(129, L'N'));
    std::vector<BYTE> reply;
    ASSERT_EQ(RawCall(RequestBytes(name, L"127.0.0.31", 0), &reply), RPC_S_OK);
    ASSERT_EQ(reply.size(), sizeof(name.chars) + sizeof(LONG)) << "the name array and the result";
    EXPECT_EQ(memcmp(reply.data(), name.chars, sizeof(name.chars)), 0);
    LONG result;
    memcpy(&result, reply.data() + sizeof(name.chars), sizeof(result));
    EXPECT_EQ(result, static_cast<LONG>(kErrRcGeneral));
}

TEST_F(RpcEndpointTest, TruncatedRequestIsRejectedWith1783AndCreatesNothing)
{
    ASSERT_NO_FATAL_FAILURE(Serve(L"spooler"));
    NameBuffer name = MarkedName(L"RpcTruncated");
    std::vector<BYTE> full = RequestBytes(name, L"127.0.0.32", 0);
    const size_t addressStart = sizeof(name.chars) + 12;
    for (size_t length : {full.size() - 1, full.size() - 3, addressStart, sizeof(name.chars), size_t{7},
                          size_t{0}}) {
        std::vector<BYTE> request(full.begin(), full.begin() + length);
        std::vector<BYTE> reply;
        EXPECT_EQ(RawCall(request, &reply), static_cast<RPC_STATUS>(RPC_X_BAD_STUB_DATA)) << length;
    }
    // The endpoint goes on serving.
    NameBuffer probe = MarkedName(std::wstring(129, L'N'));
    EXPECT_EQ(Call(probe, L"127.0.0.32"), static_cast<LONG>(kErrRcGeneral));
    StopServer();
    EXPECT_TRUE(portKeys().empty());
    EXPECT_FALSE(contains(ListedPorts(), "RpcTruncated"));
    for (const std::string& message : traceMessages())
        EXPECT_EQ(message.find("RpcTruncated"), std::string::npos) << "monSetNewPort reached: " << message;
}

TEST_F(RpcEndpointTest, StringCountBeyondTheRequestIsRejectedWith1783)
{
    ASSERT_NO_FATAL_FAILURE(Serve(L"spooler"));
    NameBuffer name = MarkedName(L"RpcBadCount");
    std::vector<BYTE> request = RequestBytes(name, L"127.0.0.33", 0);
    // Maximum and actual count claim a thousand characters more than follow.
    const size_t counts = sizeof(name.chars);
    for (size_t at : {counts, counts + 8}) {
        DWORD count;
        memcpy(&count, &request[at], 4);
        count += 1000;
        memcpy(&request[at], &count, 4);
    }
    std::vector<BYTE> reply;
    EXPECT_EQ(RawCall(request, &reply), static_cast<RPC_STATUS>(RPC_X_BAD_STUB_DATA));
    StopServer();
    EXPECT_TRUE(portKeys().empty());
    for (const std::string& message : traceMessages())
        EXPECT_EQ(message.find("RpcBadCount"), std::string::npos) << "monSetNewPort reached: " << message;
}

namespace {

// Offsets in a request of RequestBytes: the address string's counts follow the name array.
constexpr size_t kMaxCountAt = sizeof(NameBuffer::chars);
constexpr size_t kOffsetAt = kMaxCountAt + 4;
constexpr size_t kActualCountAt = kMaxCountAt + 8;

void putDword(std::vector<BYTE>& bytes, size_t at, DWORD value)
{
    memcpy(&bytes[at], &value, sizeof value);
}

std::vector<BYTE> wellFormed()
{
    return RequestBytes(MarkedName(L"RpcMalformed"), L"127.0.0.34", 0);
}

// A conformant string where the fixed name array belongs: 10,000 characters and a NUL,
// then the address and the flags.
std::vector<BYTE> longNameAsString()
{
    std::vector<BYTE> bytes;
    const DWORD count = 10001;
    for (DWORD value : {count, 0ul, count}) {
        BYTE word[4];
        memcpy(word, &value, 4);
        bytes.insert(bytes.end(), word, word + 4);
    }
    std::wstring name(10000, L'R');
    const BYTE* chars = reinterpret_cast<const BYTE*>(name.c_str());
    bytes.insert(bytes.end(), chars, chars + count * sizeof(wchar_t));
    std::vector<BYTE> rest = wellFormed();
    bytes.insert(bytes.end(), rest.begin() + kMaxCountAt, rest.end());
    return bytes;
}

struct MalformedRequest {
    const char* what;
    std::vector<BYTE> (*make)();
};

const MalformedRequest kMalformedRequests[] = {
    {"actual count above the maximum",
     [] {
         std::vector<BYTE> bytes = wellFormed();
         DWORD count;
         memcpy(&count, &bytes[kActualCountAt], 4);
         putDword(bytes, kMaxCountAt, count - 1);
         return bytes;
     }},
    {"non-zero offset",
     [] {
         std::vector<BYTE> bytes = wellFormed();
         putDword(bytes, kOffsetAt, 1);
         return bytes;
     }},
    {"count 0",
     [] {
         std::vector<BYTE> bytes = wellFormed();
         bytes.resize(kMaxCountAt);
         for (int i = 0; i < 3; ++i) bytes.insert(bytes.end(), 4, 0);
         bytes.push_back(0);  // the flags
         return bytes;
     }},
    {"address without its terminating NUL",
     [] {
         std::vector<BYTE> bytes = wellFormed();
         bytes[bytes.size() - 3] = 'x';  // the NUL before the flags byte
         return bytes;
     }},
    {"a 10,000-character name", longNameAsString},
};

}  // namespace

TEST_F(RpcEndpointTest, MalformedRequestsAreRejectedWith1783AndCreateNothing)
{
    ASSERT_NO_FATAL_FAILURE(Serve(L"spooler"));
    for (const MalformedRequest& request : kMalformedRequests) {
        std::vector<BYTE> reply;
        EXPECT_EQ(RawCall(request.make(), &reply), static_cast<RPC_STATUS>(RPC_X_BAD_STUB_DATA)) << request.what;
    }
    NameBuffer probe = MarkedName(std::wstring(129, L'N'));
    EXPECT_EQ(Call(probe, L"127.0.0.34"), static_cast<LONG>(kErrRcGeneral)) << "the endpoint goes on serving";
    StopServer();
    EXPECT_TRUE(portKeys().empty());
    for (const std::string& message : traceMessages())
        EXPECT_EQ(message.find("RpcMalformed"), std::string::npos) << "monSetNewPort reached: " << message;
}

// Random requests: most cannot be unmarshalled, and each of those is answered 1783; the
// server ends up with the threads it had.
TEST_F(RpcEndpointTest, RandomRequestsAreAnsweredOrRejectedWith1783)
{
    ASSERT_NO_FATAL_FAILURE(Serve(L"spooler"));
    // One rejected call first: the client's connection, and the server's thread for it,
    // are then in the count.
    std::vector<BYTE> reply;
    ASSERT_EQ(RawCall({}, &reply), static_cast<RPC_STATUS>(RPC_X_BAD_STUB_DATA));
    const size_t threadsBefore = ProcessThreads(host_.ProcessId()).size();
    ASSERT_GT(threadsBefore, 0u);
    std::mt19937 random(19);
    // A name the monitor refuses: whatever address a changed request carries, a request
    // that does unmarshal creates nothing.
    const std::vector<BYTE> base = RequestBytes(MarkedName(std::wstring(129, L'N')), L"127.0.0.34", 0);
    int rejected = 0;
    for (int i = 0; i < 1000; ++i) {
        std::vector<BYTE> request;
        if (i % 2 == 0) {
            request.resize(random() % 1200);
            for (BYTE& b : request) b = static_cast<BYTE>(random());
        } else {
            // A well-formed request with a few bytes of its string's counts and text changed.
            request = base;
            for (int n = 1 + random() % 4; n > 0; --n)
                request[kMaxCountAt + random() % (request.size() - kMaxCountAt)] = static_cast<BYTE>(random());
        }
        RPC_STATUS status = RawCall(request, &reply);
        if (status == RPC_X_BAD_STUB_DATA) ++rejected;
        else ASSERT_EQ(status, RPC_S_OK) << "request " << i;
    }
    EXPECT_GT(rejected, 0);
    // A thread per client connection the run-time keeps; a few more may come and go.
    EXPECT_LE(ProcessThreads(host_.ProcessId()).size(), threadsBefore + 4);
    StopServer();
    EXPECT_TRUE(portKeys().empty());
}
