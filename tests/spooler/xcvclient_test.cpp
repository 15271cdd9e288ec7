// The configuration commands as an administration tool sends them: the shipped
// lanport.dll registered with Wine's spooler, an XCV handle from OpenPrinterW, and each
// command through winspool's XcvDataW, with the results checked in the spooler's port
// list and in the monitor's registry key.
#include <gtest/gtest.h>

#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

#include <algorithm>
#include <atomic>
#include <cwchar>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "installedmonitor.h"
#include "portconfig.h"
#include "portkeys.h"
#include "records.h"
#include "registrytree.h"

using namespace testing_support;

namespace {

using lanport::kMonitorName;

// A value the monitor never writes, to see which words a command left alone.
constexpr DWORD kUntouched = 0xdeadbeef;

// The installed monitor's port keys and the spooler's list, as the commands leave them.
bool portKeyExists(const std::wstring& name)
{
    return PortKeyExists(InstalledMonitorKey().key(), name);
}

std::vector<std::wstring> portKeys()
{
    return PortKeys(InstalledMonitorKey().key());
}

// False when there is no configInfo value of the right size.
bool storedConfig(const std::wstring& name, ConfigInfo* config)
{
    DWORD size = 0;
    return ReadPortConfig(InstalledMonitorKey().key(), name, config, &size) && size == sizeof *config;
}

std::vector<std::wstring> spoolerPorts()
{
    std::vector<std::wstring> names;
    EXPECT_TRUE(SpoolerPortNames(&names)) << "EnumPortsW failed: " << GetLastError();
    return names;
}

bool listed(const std::vector<std::wstring>& names, const std::wstring& name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

DWORD dotted(unsigned a, unsigned b, unsigned c, unsigned d)
{
    return a | b << 8 | c << 16 | d << 24;
}

// A port name as the commands take it: the text and its NUL.
std::vector<BYTE> nameInput(const std::wstring& name)
{
    std::vector<BYTE> bytes((name.size() + 1) * sizeof(WCHAR), 0);
    memcpy(bytes.data(), name.c_str(), name.size() * sizeof(WCHAR));
    return bytes;
}

std::vector<BYTE> statusRequest(const std::wstring& name)
{
    GetPortStatusRequest request{};
    wcsncpy(request.portName, name.c_str(), std::size(request.portName) - 1);
    std::vector<BYTE> bytes(sizeof request);
    memcpy(bytes.data(), &request, sizeof request);
    return bytes;
}

// A command that takes a port name, with the request it is sent for a given name.
struct NameCommand {
    const wchar_t* command;
    std::vector<BYTE> (*request)(const std::wstring& name);
    DWORD replySize;    // 0: the command has no reply
    size_t errRcAt;     // where the reply holds its errRc
};

template <class Record>
std::vector<BYTE> bytesOf(const Record& record)
{
    const BYTE* bytes = reinterpret_cast<const BYTE*>(&record);
    return std::vector<BYTE>(bytes, bytes + sizeof record);
}

const NameCommand kNameCommands[] = {
    {L"AddPort",
     [](const std::wstring& name) {
         AddPortRequest request{};
         wcsncpy(request.portName, name.c_str(), 255);
         request.configInfo = DefaultConfig(dotted(10, 9, 10, 9));
         return bytesOf(request);
     },
     sizeof(AddPortReply), offsetof(AddPortReply, errRc)},
    {L"DeletePort", nameInput, 0, 0},
    {L"CfgPort",
     [](const std::wstring& name) {
         CfgPortRequest request{};
         wcsncpy(request.portName, name.c_str(), 129);
         request.configInfo = DefaultConfig(dotted(10, 9, 10, 9));
         request.configInfo.timeout = 99;
         return bytesOf(request);
     },
     sizeof(DWORD), 0},
    {L"GetPortConfig", nameInput, sizeof(GetPortConfigReply), offsetof(GetPortConfigReply, errRc)},
    {L"GetCommAccess",
     [](const std::wstring& name) {
         std::vector<BYTE> in = nameInput(name);
         in.resize(std::max<size_t>(in.size(), kGetCommAccessMinInput), 0);
         return in;
     },
     sizeof(GetCommAccessReply), offsetof(GetCommAccessReply, errRc)},
    {L"VerPortName", nameInput, sizeof(DWORD), 0},
    {L"GetPortStatus", statusRequest, sizeof(GetPortStatusReply), offsetof(GetPortStatusReply, errRc)},
};

// Names no command may act on. The registry resolves "BS1\\" to the key "BS1" on open and
// delete, so each of the first would reach another port's key.
const std::wstring kUnusableNames[] = {
    L"BS1\\", L"BS1\\\\", L"\\BS1", L"BS1\\x", L"BS1,", L"", std::wstring(129, L'n'),
};

class XcvClientTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(CopyPackageFiles(), static_cast<DWORD>(ERROR_SUCCESS));
        // Ports left by an earlier program would be read at start-up.
        ForgetMonitor();
        ASSERT_EQ(RegisterMonitor(), static_cast<DWORD>(ERROR_SUCCESS));
        xcv = openXcv(std::wstring(L",XcvMonitor ") + kMonitorName);
        ASSERT_NE(xcv, nullptr);
    }
    void TearDown() override
    {
        if (xcv) ClosePrinter(xcv);
        ForgetMonitor();
    }

    static HANDLE openXcv(const std::wstring& object)
    {
        PRINTER_DEFAULTSW defaults{};
        defaults.DesiredAccess = SERVER_ACCESS_ADMINISTER;
        HANDLE handle = nullptr;
        if (!OpenPrinterW(const_cast<LPWSTR>(object.c_str()), &handle, &defaults)) {
            ADD_FAILURE() << "OpenPrinterW(" << std::string(object.begin(), object.end())
                          << ") failed: " << GetLastError();
            return nullptr;
        }
        return handle;
    }

    // One command through the client; the spooler's own failure fails the test, the
    // monitor's status is the result.
    DWORD send(LPCWSTR command, const void* in, DWORD cbIn, void* out, DWORD cbOut, DWORD* needed = nullptr,
               HANDLE handle = nullptr)
    {
        DWORD status = kUntouched, ignored = kUntouched;
        BOOL ok = XcvDataW(handle ? handle : xcv, command, static_cast<PBYTE>(const_cast<void*>(in)), cbIn,
                           static_cast<PBYTE>(out), cbOut, needed ? needed : &ignored, &status);
        EXPECT_TRUE(ok) << "XcvDataW failed: " << GetLastError();
        return status;
    }
    template <class Request, class Reply>
    DWORD send(LPCWSTR command, const Request& request, Reply& reply)
    {
        return send(command, &request, sizeof request, &reply, sizeof reply);
    }
    template <class Reply>
    DWORD sendName(LPCWSTR command, const std::wstring& name, Reply& reply)
    {
        std::vector<BYTE> in = nameInput(name);
        return send(command, in.data(), static_cast<DWORD>(in.size()), &reply, sizeof reply);
    }

    DWORD verifyAddress(const std::wstring& text, DWORD format, VerPortAddrReply* reply)
    {
        VerPortAddrRequest request{};
        wcsncpy(request.addressText, text.c_str(), 129);
        request.addrFormat = format;
        memset(reply, 0xCD, sizeof *reply);
        return send(L"VerPortAddr", request, *reply);
    }

    DWORD addPort(const std::wstring& name, DWORD ipAddress, DWORD* errRc = nullptr)
    {
        AddPortRequest request{};
        wcsncpy(request.portName, name.c_str(), 255);
        request.configInfo = DefaultConfig(ipAddress);
        request.configInfo.monitorLevel = 7;  // the monitor stores 1 whatever comes
        AddPortReply reply{kUntouched, kUntouched};
        DWORD status = send(L"AddPort", request, reply);
        if (errRc) *errRc = reply.errRc;
        return status;
    }

    // The administration tool's sequence: address and name checks, then the add.
    void addVerified(const std::wstring& name, const std::wstring& address, DWORD ipAddress)
    {
        VerPortAddrReply verified;
        ASSERT_EQ(verifyAddress(address, 2, &verified), ERROR_SUCCESS);
        ASSERT_EQ(verified.ipAddress, ipAddress);
        DWORD errRc = kUntouched;
        ASSERT_EQ(sendName(L"VerPortName", name, errRc), ERROR_SUCCESS);
        ASSERT_EQ(errRc, kErrRcSuccess);
        ASSERT_EQ(addPort(name, ipAddress, &errRc), ERROR_SUCCESS);
        ASSERT_EQ(errRc, kErrRcSuccess);
    }

    HANDLE xcv = nullptr;
};

}  // namespace

TEST_F(XcvClientTest, UnknownCommandsAreGeneralFailures)
{
    AddPortRequest request{};
    wcscpy(request.portName, L"Zephrin:lower");
    request.configInfo = DefaultConfig(dotted(10, 9, 9, 1));
    AddPortReply reply{kUntouched, kUntouched};
    EXPECT_EQ(send(L"addport", request, reply), ERROR_GEN_FAILURE);
    EXPECT_EQ(reply.errRc, kUntouched) << "no output written";
    EXPECT_EQ(send(L"NoSuchCommand", nullptr, 0, nullptr, 0), ERROR_GEN_FAILURE);
    EXPECT_EQ(send(L"", nullptr, 0, nullptr, 0), ERROR_GEN_FAILURE);
    EXPECT_FALSE(portKeyExists(L"Zephrin:lower"));
}

TEST_F(XcvClientTest, MonitorUINamesTheUiLibraryAfterASizingCall)
{
    BYTE small[2] = {0x55, 0x55};
    DWORD needed = 0;
    EXPECT_EQ(send(L"MonitorUI", nullptr, 0, small, sizeof small, &needed), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(needed, 28u);
    EXPECT_EQ(small[0], 0x55);

    std::vector<WCHAR> name(needed / sizeof(WCHAR), L'x');
    needed = 0;
    EXPECT_EQ(send(L"MonitorUI", nullptr, 0, name.data(), static_cast<DWORD>(name.size() * sizeof(WCHAR)), &needed),
              ERROR_SUCCESS);
    EXPECT_EQ(needed, 28u);
    EXPECT_STREQ(name.data(), L"lanportui.dll");

    // No output at all: the size only.
    needed = 0;
    EXPECT_EQ(send(L"MonitorUI", nullptr, 0, nullptr, 0, &needed), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(needed, 28u);
}

TEST_F(XcvClientTest, SpoolerRefusesMissingStatusAndSizeWordsItself)
{
    // Wine's spooler checks these before the monitor sees the call.
    WCHAR name[16];
    DWORD needed = 0, status = kUntouched;
    SetLastError(0);
    EXPECT_FALSE(XcvDataW(xcv, L"MonitorUI", nullptr, 0, reinterpret_cast<PBYTE>(name), sizeof name, nullptr,
                          &status));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(0);
    EXPECT_FALSE(XcvDataW(xcv, L"MonitorUI", nullptr, 0, reinterpret_cast<PBYTE>(name), sizeof name, &needed,
                          nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_X_NULL_REF_POINTER));
    SetLastError(0);
    EXPECT_FALSE(XcvDataW(xcv, L"MonitorUI", nullptr, 0, nullptr, 28, &needed, &status));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_X_NULL_REF_POINTER));
    EXPECT_EQ(status, kUntouched);
}

TEST_F(XcvClientTest, AddPortStoresLevelOneAndRefusesBadRequests)
{
    const DWORD address = dotted(10, 9, 0, 1);
    DWORD errRc = kUntouched;
    ASSERT_EQ(addPort(L"Zephrin:added", address, &errRc), ERROR_SUCCESS);
    EXPECT_EQ(errRc, kErrRcSuccess);
    ConfigInfo stored{};
    ASSERT_TRUE(storedConfig(L"Zephrin:added", &stored));
    EXPECT_EQ(stored.monitorLevel, 1u);
    EXPECT_EQ(stored.ipAddress, address);
    EXPECT_EQ(stored.timeout, 300);
    EXPECT_STREQ(stored.community, L"kestro_gauge");
    EXPECT_TRUE(listed(spoolerPorts(), L"Zephrin:added"));

    // One byte short: nothing is created, and the reply says nothing more.
    AddPortRequest request{};
    wcscpy(request.portName, L"Zephrin:short");
    request.configInfo = DefaultConfig(dotted(10, 9, 0, 2));
    AddPortReply reply{kUntouched, kUntouched};
    EXPECT_EQ(send(L"AddPort", &request, sizeof request - 1, &reply, sizeof reply), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(reply.printerType, 0u);
    EXPECT_EQ(reply.errRc, kErrRcSuccess);
    // A reply of the wrong size is not written.
    BYTE longReply[12];
    memset(longReply, 0x77, sizeof longReply);
    EXPECT_EQ(send(L"AddPort", &request, sizeof request, longReply, sizeof longReply), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(longReply[0], 0x77);
    EXPECT_EQ(send(L"AddPort", &request, sizeof request, nullptr, 0), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(portKeyExists(L"Zephrin:short"));
    EXPECT_FALSE(listed(spoolerPorts(), L"Zephrin:short"));

    // Names that cannot be a key or be addressed by every command: errRc 10.
    const std::wstring tooLong = L"Zephrin:" + std::wstring(121, L'n');  // 129 characters
    for (const std::wstring& bad : {std::wstring(), std::wstring(L"Zephrin:a\\b"), std::wstring(L"Zephrin:a,b"),
                                    tooLong}) {
        EXPECT_EQ(addPort(bad, dotted(10, 9, 0, 3), &errRc), ERROR_INVALID_PARAMETER) << bad.size();
        EXPECT_EQ(errRc, kErrRcGeneral);
    }
    // No NUL within the name field.
    AddPortRequest unterminated{};
    for (WCHAR& c : unterminated.portName) c = L'u';
    reply = {kUntouched, kUntouched};
    EXPECT_EQ(send(L"AddPort", unterminated, reply), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(reply.errRc, kErrRcGeneral);
    // The longest usable name is taken.
    const std::wstring longest = tooLong.substr(0, 128);
    EXPECT_EQ(addPort(longest, dotted(10, 9, 0, 4), &errRc), ERROR_SUCCESS);
    EXPECT_TRUE(portKeyExists(longest));

    std::vector<std::wstring> keys = portKeys();
    std::sort(keys.begin(), keys.end());
    std::vector<std::wstring> expected{L"Zephrin:added", longest};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(keys, expected);
}

TEST_F(XcvClientTest, VerPortAddrAnswersTheAddressUntilAPortHasIt)
{
    VerPortAddrReply reply;
    ASSERT_EQ(verifyAddress(L"10.1.2.3", 2, &reply), ERROR_SUCCESS);
    EXPECT_EQ(reply.ipAddress, 0x0302010Au);
    EXPECT_STREQ(reply.dottedAddress, L"10.1.2.3");
    EXPECT_EQ(reply.errRc, kErrRcSuccess);

    ASSERT_EQ(addPort(L"Zephrin:10.1.2.3", 0x0302010A), ERROR_SUCCESS);
    EXPECT_EQ(verifyAddress(L"10.1.2.3", 2, &reply), ERROR_GEN_FAILURE);
    EXPECT_EQ(reply.errRc, kErrRcAddressUsed);
    EXPECT_EQ(reply.ipAddress, 0x0302010Au);
    EXPECT_STREQ(reply.dottedAddress, L"10.1.2.3");

    // Invalid format codes and texts.
    for (DWORD format : {0u, 1u, 3u, 16u}) {
        EXPECT_EQ(verifyAddress(L"10.1.2.4", format, &reply), ERROR_GEN_FAILURE) << format;
        EXPECT_EQ(reply.errRc, kErrRcBadAddress) << format;
    }
    EXPECT_EQ(verifyAddress(L"10.1.2.x", 2, &reply), ERROR_GEN_FAILURE);
    EXPECT_EQ(reply.errRc, kErrRcBadAddress);
    // Longer than any dotted address: refused, not copied into the 16-character field.
    EXPECT_EQ(verifyAddress(L"010.001.002.0004", 2, &reply), ERROR_GEN_FAILURE);
    EXPECT_EQ(reply.errRc, kErrRcBadAddress);
    EXPECT_EQ(verifyAddress(L"255.255.255.254", 2, &reply), ERROR_SUCCESS);
    EXPECT_STREQ(reply.dottedAddress, L"255.255.255.254");

    // A host name from the machine's hosts file.
    EXPECT_EQ(verifyAddress(L"localhost", 4, &reply), ERROR_SUCCESS);
    EXPECT_EQ(reply.ipAddress, dotted(127, 0, 0, 1));
    EXPECT_STREQ(reply.dottedAddress, L"127.0.0.1");

    // Sizes: a short request is 87, a short reply 122, and neither is touched past its end.
    VerPortAddrRequest request{};
    wcscpy(request.addressText, L"10.1.2.5");
    request.addrFormat = 2;
    memset(&reply, 0xCD, sizeof reply);
    EXPECT_EQ(send(L"VerPortAddr", &request, sizeof request - 1, &reply, sizeof reply), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(reply.errRc, kErrRcGeneral);
    BYTE shortReply[sizeof(VerPortAddrReply)];
    memset(shortReply, 0x66, sizeof shortReply);
    EXPECT_EQ(send(L"VerPortAddr", &request, sizeof request, shortReply, sizeof shortReply - 1),
              ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(shortReply[0], 0x66);
    VerPortAddrRequest unterminated;
    for (WCHAR& c : unterminated.addressText) c = L'1';
    unterminated.addrFormat = 2;
    EXPECT_EQ(send(L"VerPortAddr", unterminated, reply), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(reply.errRc, kErrRcGeneral);
}

TEST_F(XcvClientTest, VerPortNameTellsAnotherMonitorsPortFromOurs)
{
    // Wine's local port monitor owns "FILE:"; the spooler lists it.
    ASSERT_TRUE(listed(spoolerPorts(), L"FILE:"));
    DWORD errRc = kUntouched;
    EXPECT_EQ(sendName(L"VerPortName", L"FILE:", errRc), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(errRc, kErrRcNameUsed);
    errRc = kUntouched;
    EXPECT_EQ(sendName(L"VerPortName", L"file:", errRc), ERROR_ALREADY_EXISTS) << "any case";
    EXPECT_EQ(errRc, kErrRcNameUsed);

    errRc = kUntouched;
    EXPECT_EQ(sendName(L"VerPortName", L"Zephrin:ours", errRc), ERROR_SUCCESS);
    EXPECT_EQ(errRc, kErrRcSuccess);
    ASSERT_EQ(addPort(L"Zephrin:ours", dotted(10, 9, 1, 1)), ERROR_SUCCESS);
    errRc = kUntouched;
    // The spooler lists this monitor's ports too (it asks every loaded monitor), so for
    // a registered monitor the spooler's answer comes first: 183, not 31.
    ASSERT_TRUE(listed(spoolerPorts(), L"Zephrin:ours"));
    EXPECT_EQ(sendName(L"VerPortName", L"Zephrin:ours", errRc), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(errRc, kErrRcNameUsed);

    // The name must end within the input; the reply must hold the errRc.
    const WCHAR unterminated[3] = {L'F', L'I', L'L'};
    errRc = kUntouched;
    EXPECT_EQ(send(L"VerPortName", unterminated, sizeof unterminated, &errRc, sizeof errRc),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(errRc, kErrRcGeneral);
    std::vector<BYTE> in = nameInput(L"Zephrin:free");
    BYTE shortReply[3] = {0x44, 0x44, 0x44};
    EXPECT_EQ(send(L"VerPortName", in.data(), static_cast<DWORD>(in.size()), shortReply, sizeof shortReply),
              ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(shortReply[0], 0x44);
}

TEST_F(XcvClientTest, VerPortNameForAPortOnlyInTheMonitorsTable)
{
    // A port whose registry key is gone is in the table alone; the spooler, asking the
    // monitor's EnumPorts, still sees it. Wine lists it, so 183 is the answer here.
    ASSERT_EQ(addPort(L"Zephrin:tableonly", dotted(10, 9, 1, 2)), ERROR_SUCCESS);
    DeleteKeyTree(InstalledMonitorKey().key(), L"Ports\\Zephrin:tableonly");
    ASSERT_FALSE(portKeyExists(L"Zephrin:tableonly"));
    ASSERT_TRUE(listed(spoolerPorts(), L"Zephrin:tableonly"));
    DWORD errRc = kUntouched;
    EXPECT_EQ(sendName(L"VerPortName", L"ZEPHRIN:TABLEONLY", errRc), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(errRc, kErrRcNameUsed);
}

TEST_F(XcvClientTest, GetPortConfigReturnsTheStoredRecord)
{
    const DWORD address = dotted(10, 9, 2, 1);
    ASSERT_EQ(addPort(L"Zephrin:config", address), ERROR_SUCCESS);
    GetPortConfigReply reply;
    memset(&reply, 0xCD, sizeof reply);
    ASSERT_EQ(sendName(L"GetPortConfig", L"Zephrin:config", reply), ERROR_SUCCESS);
    EXPECT_EQ(reply.errRc, kErrRcSuccess);
    EXPECT_EQ(reply.configInfo.ipAddress, address);
    EXPECT_EQ(reply.configInfo.monitorLevel, 1u);
    EXPECT_EQ(reply.configInfo.retryCount, 2);
    EXPECT_STREQ(reply.configInfo.community, L"kestro_gauge");
    EXPECT_STREQ(reply.dottedAddress, L"10.9.2.1");
    EXPECT_EQ(reply.portFlags, 0u) << "neither open nor busy";
    // The lookup ignores case.
    EXPECT_EQ(sendName(L"GetPortConfig", L"zephrin:CONFIG", reply), ERROR_SUCCESS);

    memset(&reply, 0xCD, sizeof reply);
    EXPECT_EQ(sendName(L"GetPortConfig", L"Zephrin:unknown", reply), ERROR_GEN_FAILURE);
    EXPECT_EQ(reply.errRc, kErrRcGeneral);

    // 128 characters is the longest name looked up; longer ones are refused before.
    EXPECT_EQ(sendName(L"GetPortConfig", std::wstring(128, L'c'), reply), ERROR_GEN_FAILURE);
    memset(&reply, 0xCD, sizeof reply);
    EXPECT_EQ(sendName(L"GetPortConfig", std::wstring(129, L'c'), reply), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(reply.errRc, kErrRcGeneral);
    EXPECT_EQ(sendName(L"GetPortConfig", L"", reply), ERROR_INVALID_PARAMETER);
    // Reply sizes other than 580, and no NUL within the input.
    BYTE longReply[sizeof(GetPortConfigReply) + 4];
    memset(longReply, 0x33, sizeof longReply);
    std::vector<BYTE> in = nameInput(L"Zephrin:config");
    EXPECT_EQ(send(L"GetPortConfig", in.data(), static_cast<DWORD>(in.size()), longReply, sizeof longReply),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(longReply[0], 0x33);
    EXPECT_EQ(send(L"GetPortConfig", in.data(), static_cast<DWORD>(in.size() - 2), &reply, sizeof reply),
              ERROR_INVALID_PARAMETER);
}

TEST_F(XcvClientTest, GetPortStatusOfAPortThatNeverPrinted)
{
    ASSERT_EQ(addPort(L"Zephrin:status", dotted(10, 9, 2, 2)), ERROR_SUCCESS);
    std::vector<BYTE> in = statusRequest(L"zephrin:STATUS");  // the lookup ignores case
    GetPortStatusReply reply;
    memset(&reply, 0xCD, sizeof reply);
    DWORD needed = 0;
    ASSERT_EQ(send(L"GetPortStatus", in.data(), static_cast<DWORD>(in.size()), &reply, sizeof reply, &needed),
              ERROR_SUCCESS);
    EXPECT_EQ(needed, sizeof reply);
    EXPECT_EQ(reply.errRc, kErrRcSuccess);
    EXPECT_EQ(reply.portFlags, 0u) << "neither open nor busy";
    EXPECT_EQ(reply.jobInProgress, 0u);
    EXPECT_EQ(reply.jobId, 0u);
    EXPECT_EQ(reply.pjlAnswered, 0u);
    EXPECT_EQ(reply.lastPage, 0);
    EXPECT_EQ(reply.lastReport, kPortReportNone);
    EXPECT_EQ(reply.lastReportTime.dwLowDateTime | reply.lastReportTime.dwHighDateTime, 0u);
    EXPECT_EQ(reply.lastConnectionError, 0u);

    memset(&reply, 0xCD, sizeof reply);
    in = statusRequest(L"Zephrin:unknown");
    EXPECT_EQ(send(L"GetPortStatus", in.data(), static_cast<DWORD>(in.size()), &reply, sizeof reply),
              ERROR_UNKNOWN_PORT);
    EXPECT_EQ(reply.errRc, kErrRcPortNotFound);
    // A short reply is not written and says the size; a short request is refused.
    BYTE shortReply[sizeof(GetPortStatusReply) - 1];
    memset(shortReply, 0x44, sizeof shortReply);
    needed = 0;
    EXPECT_EQ(send(L"GetPortStatus", in.data(), static_cast<DWORD>(in.size()), shortReply, sizeof shortReply, &needed),
              ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(needed, sizeof(GetPortStatusReply));
    EXPECT_EQ(shortReply[0], 0x44);
    EXPECT_EQ(send(L"GetPortStatus", in.data(), static_cast<DWORD>(in.size() - 1), &reply, sizeof reply),
              ERROR_INVALID_PARAMETER);
}

TEST_F(XcvClientTest, UpdPortCommIsVisibleInGetPortConfigAtOnce)
{
    const DWORD address = dotted(10, 9, 3, 1);
    ASSERT_EQ(addPort(L"Zephrin:community", address), ERROR_SUCCESS);
    UpdPortCommRequest request{};
    request.ipAddress = address;
    wcscpy(request.community, L"new_community");
    DWORD errRc = kUntouched;
    ASSERT_EQ(send(L"UpdPortComm", request, errRc), ERROR_SUCCESS);
    EXPECT_EQ(errRc, kErrRcSuccess);

    GetPortConfigReply reply;
    ASSERT_EQ(sendName(L"GetPortConfig", L"Zephrin:community", reply), ERROR_SUCCESS);
    EXPECT_STREQ(reply.configInfo.community, L"new_community");
    EXPECT_EQ(reply.configInfo.ipAddress, address) << "the rest of the record kept";
    ConfigInfo stored{};
    ASSERT_TRUE(storedConfig(L"Zephrin:community", &stored));
    EXPECT_STREQ(stored.community, L"new_community");

    request.ipAddress = dotted(10, 9, 3, 2);
    errRc = kUntouched;
    EXPECT_EQ(send(L"UpdPortComm", request, errRc), ERROR_UNKNOWN_PORT);
    EXPECT_EQ(errRc, kErrRcPortNotFound);

    request.ipAddress = address;
    errRc = kUntouched;
    EXPECT_EQ(send(L"UpdPortComm", &request, sizeof request - 1, &errRc, sizeof errRc), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(errRc, kErrRcGeneral);
    for (WCHAR& c : request.community) c = L'z';
    errRc = kUntouched;
    EXPECT_EQ(send(L"UpdPortComm", request, errRc), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(errRc, kErrRcGeneral);
    ASSERT_TRUE(storedConfig(L"Zephrin:community", &stored));
    EXPECT_STREQ(stored.community, L"new_community") << "a refused request changes nothing";
}

TEST_F(XcvClientTest, CfgPortReplacesTheStoredRecord)
{
    const DWORD address = dotted(10, 9, 4, 1);
    ASSERT_EQ(addPort(L"Zephrin:cfg", address), ERROR_SUCCESS);
    CfgPortRequest request{};
    wcscpy(request.portName, L"Zephrin:cfg");
    request.configInfo = DefaultConfig(address);
    request.configInfo.timeout = 45;
    request.configInfo.retryCount = 7;
    request.configInfo.monitorLevel = 3;  // stored as sent
    DWORD errRc = kUntouched;
    ASSERT_EQ(send(L"CfgPort", request, errRc), ERROR_SUCCESS);
    EXPECT_EQ(errRc, kErrRcSuccess);
    ConfigInfo stored{};
    ASSERT_TRUE(storedConfig(L"Zephrin:cfg", &stored));
    EXPECT_EQ(stored.timeout, 45);
    EXPECT_EQ(stored.retryCount, 7);
    EXPECT_EQ(stored.monitorLevel, 3u);
    GetPortConfigReply reply;
    ASSERT_EQ(sendName(L"GetPortConfig", L"Zephrin:cfg", reply), ERROR_SUCCESS);
    EXPECT_EQ(reply.configInfo.timeout, 45);

    // A port without a key: the registry read fails first.
    wcscpy(request.portName, L"Zephrin:nokey");
    errRc = kUntouched;
    EXPECT_EQ(send(L"CfgPort", request, errRc), ERROR_GEN_FAILURE);
    EXPECT_EQ(errRc, kErrRcGeneral);
    EXPECT_FALSE(portKeyExists(L"Zephrin:nokey"));

    // A key without a port in the table: the key goes, 1796/250.
    WritePortKey(InstalledMonitorKey().key(), L"Zephrin:stray", DefaultConfig(dotted(10, 9, 4, 2)));
    wcscpy(request.portName, L"Zephrin:stray");
    errRc = kUntouched;
    EXPECT_EQ(send(L"CfgPort", request, errRc), ERROR_UNKNOWN_PORT);
    EXPECT_EQ(errRc, kErrRcPortNotFound);
    EXPECT_FALSE(portKeyExists(L"Zephrin:stray"));

    errRc = kUntouched;
    EXPECT_EQ(send(L"CfgPort", &request, sizeof request + 1, &errRc, sizeof errRc), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(errRc, kErrRcGeneral);
    for (WCHAR& c : request.portName) c = L'p';
    errRc = kUntouched;
    EXPECT_EQ(send(L"CfgPort", request, errRc), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(errRc, kErrRcGeneral);
}

TEST_F(XcvClientTest, GetCommAccessClearsOrKeepsTheCallersCommunity)
{
    ASSERT_EQ(addPort(L"Zephrin:access", dotted(10, 9, 5, 1)), ERROR_SUCCESS);
    std::vector<BYTE> in = nameInput(L"Zephrin:access");
    in.resize(kGetCommAccessMinInput, 0);
    GetCommAccessReply reply{};
    reply.errRc = kUntouched;
    wcscpy(reply.szCommunity, L"caller");
    reply.callerWord = 238;
    ASSERT_EQ(send(L"GetCommAccess", in.data(), static_cast<DWORD>(in.size()), &reply, sizeof reply),
              ERROR_SUCCESS);
    EXPECT_EQ(reply.errRc, kErrRcSuccess);
    EXPECT_STREQ(reply.szCommunity, L"") << "238 clears it";
    EXPECT_EQ(reply.callerWord, 238u);

    wcscpy(reply.szCommunity, L"caller");
    reply.callerWord = 5;
    ASSERT_EQ(send(L"GetCommAccess", in.data(), static_cast<DWORD>(in.size()), &reply, sizeof reply),
              ERROR_SUCCESS);
    EXPECT_STREQ(reply.szCommunity, L"caller") << "the stored community is never returned";

    std::vector<BYTE> unknown = nameInput(L"Zephrin:nothere");
    unknown.resize(kGetCommAccessMinInput, 0);
    EXPECT_EQ(send(L"GetCommAccess", unknown.data(), static_cast<DWORD>(unknown.size()), &reply, sizeof reply),
              ERROR_UNKNOWN_PORT);
    EXPECT_EQ(reply.errRc, kErrRcPortNotFound);

    reply.errRc = kUntouched;
    EXPECT_EQ(send(L"GetCommAccess", in.data(), kGetCommAccessMinInput - 1, &reply, sizeof reply),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(reply.errRc, kErrRcGeneral);
    std::vector<BYTE> unterminated(kGetCommAccessMinInput, 'a');
    reply.errRc = kUntouched;
    EXPECT_EQ(send(L"GetCommAccess", unterminated.data(), static_cast<DWORD>(unterminated.size()), &reply,
                   sizeof reply),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(reply.errRc, kErrRcGeneral);
    BYTE shortReply[sizeof(GetCommAccessReply) - 1];
    memset(shortReply, 0x22, sizeof shortReply);
    EXPECT_EQ(send(L"GetCommAccess", in.data(), static_cast<DWORD>(in.size()), shortReply, sizeof shortReply),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(shortReply[0], 0x22);
}

TEST_F(XcvClientTest, GetPortNameFindsThePortByAddress)
{
    const DWORD address = dotted(10, 9, 6, 1);
    ASSERT_EQ(addPort(L"Zephrin:named", address), ERROR_SUCCESS);
    GetPortNameRequest request{address};
    WCHAR name[64];
    DWORD needed = 0;
    ASSERT_EQ(send(L"GetPortName", &request, sizeof request, name, sizeof name, &needed), ERROR_SUCCESS);
    EXPECT_STREQ(name, L"Zephrin:named");
    EXPECT_EQ(needed, sizeof(L"Zephrin:named"));

    // Too small by one character: 122 and the size, nothing written.
    std::vector<WCHAR> small(wcslen(L"Zephrin:named"), L'#');
    needed = 0;
    EXPECT_EQ(send(L"GetPortName", &request, sizeof request, small.data(),
                   static_cast<DWORD>(small.size() * sizeof(WCHAR)), &needed),
              ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(needed, sizeof(L"Zephrin:named"));
    EXPECT_EQ(small[0], L'#');

    request.ipAddress = dotted(10, 9, 6, 2);
    wcscpy(name, L"old");
    EXPECT_EQ(send(L"GetPortName", &request, sizeof request, name, sizeof name), ERROR_UNKNOWN_PORT);
    EXPECT_STREQ(name, L"");
    EXPECT_EQ(send(L"GetPortName", &request, sizeof request - 1, name, sizeof name), ERROR_INVALID_PARAMETER);
}

TEST_F(XcvClientTest, DeletePortRemovesThePortFromTheSpoolerAndTheRegistry)
{
    addVerified(L"Zephrin:10.9.7.1", L"10.9.7.1", dotted(10, 9, 7, 1));
    ASSERT_TRUE(listed(spoolerPorts(), L"Zephrin:10.9.7.1"));
    ASSERT_TRUE(portKeyExists(L"Zephrin:10.9.7.1"));

    std::vector<BYTE> in = nameInput(L"Zephrin:10.9.7.1");
    EXPECT_EQ(send(L"DeletePort", in.data(), static_cast<DWORD>(in.size()), nullptr, 0), ERROR_SUCCESS);
    EXPECT_FALSE(listed(spoolerPorts(), L"Zephrin:10.9.7.1"));
    EXPECT_FALSE(portKeyExists(L"Zephrin:10.9.7.1"));
    // The address is free again.
    VerPortAddrReply verified;
    EXPECT_EQ(verifyAddress(L"10.9.7.1", 2, &verified), ERROR_SUCCESS);

    EXPECT_EQ(send(L"DeletePort", in.data(), static_cast<DWORD>(in.size()), nullptr, 0), ERROR_UNKNOWN_PORT);
    EXPECT_EQ(send(L"DeletePort", nullptr, 0, nullptr, 0), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(send(L"DeletePort", in.data(), static_cast<DWORD>(in.size() - 2), nullptr, 0),
              ERROR_INVALID_PARAMETER);
}

TEST_F(XcvClientTest, DeletePortInAnotherCaseRemovesTableEntryAndKey)
{
    addVerified(L"Zephrin:Mixed", L"10.9.8.1", dotted(10, 9, 8, 1));
    std::vector<BYTE> in = nameInput(L"ZEPHRIN:MIXED");
    EXPECT_EQ(send(L"DeletePort", in.data(), static_cast<DWORD>(in.size()), nullptr, 0), ERROR_SUCCESS);
    std::vector<std::wstring> ports = spoolerPorts();
    EXPECT_FALSE(listed(ports, L"Zephrin:Mixed"));
    EXPECT_FALSE(listed(ports, L"ZEPHRIN:MIXED"));
    EXPECT_FALSE(portKeyExists(L"Zephrin:Mixed"));
    VerPortAddrReply verified;
    EXPECT_EQ(verifyAddress(L"10.9.8.1", 2, &verified), ERROR_SUCCESS) << "gone from the table too";
}

TEST_F(XcvClientTest, XcvPortHandleReachesTheSameCommands)
{
    addVerified(L"Zephrin:10.9.9.1", L"10.9.9.1", dotted(10, 9, 9, 1));
    HANDLE port = openXcv(L",XcvPort Zephrin:10.9.9.1");
    ASSERT_NE(port, nullptr);
    GetPortConfigReply reply;
    std::vector<BYTE> in = nameInput(L"Zephrin:10.9.9.1");
    EXPECT_EQ(send(L"GetPortConfig", in.data(), static_cast<DWORD>(in.size()), &reply, sizeof reply, nullptr, port),
              ERROR_SUCCESS);
    EXPECT_EQ(reply.configInfo.ipAddress, dotted(10, 9, 9, 1));
    DWORD needed = 0;
    WCHAR ui[16];
    EXPECT_EQ(send(L"MonitorUI", nullptr, 0, ui, sizeof ui, &needed, port), ERROR_SUCCESS);
    EXPECT_STREQ(ui, L"lanportui.dll");
    EXPECT_EQ(send(L"DeletePort", in.data(), static_cast<DWORD>(in.size()), nullptr, 0, nullptr, port),
              ERROR_SUCCESS);
    EXPECT_TRUE(ClosePrinter(port));
    EXPECT_FALSE(portKeyExists(L"Zephrin:10.9.9.1"));

    // The spooler finds a port's monitor by its key: without one there is no handle.
    HANDLE none = nullptr;
    PRINTER_DEFAULTSW defaults{};
    defaults.DesiredAccess = SERVER_ACCESS_ADMINISTER;
    EXPECT_FALSE(OpenPrinterW(const_cast<LPWSTR>(L",XcvPort Zephrin:10.9.9.1"), &none, &defaults));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_UNKNOWN_PORT));
}

TEST_F(XcvClientTest, EveryNameCommandRefusesUnusableNamesAndChangesNothing)
{
    addVerified(L"BS1", L"10.9.10.1", dotted(10, 9, 10, 1));
    ConfigInfo before{};
    ASSERT_TRUE(storedConfig(L"BS1", &before));
    for (const NameCommand& command : kNameCommands) {
        for (const std::wstring& name : kUnusableNames) {
            SCOPED_TRACE(std::string(command.command, command.command + wcslen(command.command)) + " \"" +
                         std::string(name.begin(), name.end()) + "\"");
            std::vector<BYTE> in = command.request(name);
            std::vector<BYTE> reply(command.replySize, 0xEE);
            EXPECT_EQ(send(command.command, in.data(), static_cast<DWORD>(in.size()),
                           reply.empty() ? nullptr : reply.data(), command.replySize),
                      ERROR_INVALID_PARAMETER);
            if (!reply.empty()) {
                DWORD errRc = kUntouched;
                memcpy(&errRc, reply.data() + command.errRcAt, sizeof errRc);
                EXPECT_EQ(errRc, kErrRcGeneral);
            }
            ConfigInfo after{};
            ASSERT_TRUE(storedConfig(L"BS1", &after)) << "the key of BS1 is gone";
            EXPECT_EQ(memcmp(&before, &after, sizeof before), 0) << "the record of BS1 changed";
        }
    }
    EXPECT_EQ(portKeys(), std::vector<std::wstring>{L"BS1"});
    EXPECT_TRUE(listed(spoolerPorts(), L"BS1"));
    // The port still answers to its own name.
    GetPortConfigReply config;
    EXPECT_EQ(sendName(L"GetPortConfig", L"BS1", config), ERROR_SUCCESS);
}

// Wine's spooler sizes a port listing in one pass and fills it in another; while ports
// come and go the listing VerPortName asks for holds records that point nowhere.
TEST_F(XcvClientTest, VerPortNameWhilePortsComeAndGoSlow)
{
    // A number of changes, not a length of time: the same churn on any machine. The
    // verifiers ask for as long as the ports change.
    constexpr int kChangers = 4, kVerifiers = 4, kRoundsPerChanger = 1000;
    std::atomic<int> failures{0}, changersDone{0};
    std::atomic<long> verified{0}, changed{0};
    std::vector<std::thread> threads;
    for (int worker = 0; worker < kChangers; ++worker) {
        threads.emplace_back([&, worker] {
            struct Done {
                std::atomic<int>& count;
                ~Done() { ++count; }
            } done{changersDone};
            HANDLE handle = openXcv(std::wstring(L",XcvMonitor ") + kMonitorName);
            if (!handle) {
                ++failures;
                return;
            }
            for (int round = 0; round < kRoundsPerChanger; ++round) {
                std::wstring name = L"Churn" + std::to_wstring(worker) + L"_" + std::to_wstring(round);
                AddPortRequest request{};
                wcscpy(request.portName, name.c_str());
                request.configInfo = DefaultConfig(dotted(10, 30 + worker, (round >> 8) & 255, round & 255));
                AddPortReply reply{kUntouched, kUntouched};
                DWORD status = kUntouched, needed = 0;
                std::vector<BYTE> in = nameInput(name);
                if (!XcvDataW(handle, L"AddPort", reinterpret_cast<PBYTE>(&request), sizeof request,
                              reinterpret_cast<PBYTE>(&reply), sizeof reply, &needed, &status) ||
                    status != ERROR_SUCCESS ||
                    !XcvDataW(handle, L"DeletePort", in.data(), static_cast<DWORD>(in.size()), nullptr, 0, &needed,
                              &status) ||
                    status != ERROR_SUCCESS) {
                    ++failures;
                    break;
                }
                ++changed;
            }
            ClosePrinter(handle);
        });
    }
    for (int worker = 0; worker < kVerifiers; ++worker) {
        threads.emplace_back([&] {
            HANDLE handle = openXcv(std::wstring(L",XcvMonitor ") + kMonitorName);
            if (!handle) {
                ++failures;
                return;
            }
            std::vector<BYTE> in = nameInput(L"FILE:");
            while (changersDone < kChangers) {
                DWORD errRc = kUntouched, status = kUntouched, needed = 0;
                // FILE: is always there; a listing that could not be read counts as
                // "not known to the spooler", so 0 is a sound answer too.
                if (!XcvDataW(handle, L"VerPortName", in.data(), static_cast<DWORD>(in.size()),
                              reinterpret_cast<PBYTE>(&errRc), sizeof errRc, &needed, &status) ||
                    (status != ERROR_ALREADY_EXISTS && status != ERROR_SUCCESS)) {
                    ++failures;
                    break;
                }
                ++verified;
            }
            ClosePrinter(handle);
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(failures, 0);
    EXPECT_GT(verified, 0);
    EXPECT_GT(changed, 0);
    EXPECT_TRUE(portKeys().empty()) << "every port added was deleted";
}
