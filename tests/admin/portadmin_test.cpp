// The XCV commands, sent through the monitor's XcvDataPort on a private registry root:
// statuses, errRc values, what is written to the replies, the table and the registry.
#include <winsock2.h>

#include "xcvfixture.h"

#include <winspool.h>

#include <algorithm>
#include <cstdint>
#include <cwchar>

#include "garbage.h"
#include "pmuports.h"

using namespace testing_support;

namespace {

bool stored(HKEY root, const std::wstring& name, ConfigInfo* config)
{
    DWORD size = 0;
    return ReadPortConfig(root, name, config, &size) && size == sizeof *config;
}

bool contains(const std::vector<std::wstring>& names, const std::wstring& name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

// A listing of the spooler's ports made by hand, as a spooler that sized it in one pass
// and filled it in another may hand it back: each record's name where the case puts it.
enum class NameAt {
    Inside,        // the text behind the records, as the spooler writes it
    Null,          // a record left unfilled
    Wild,          // the address the spooler crashed on: 0xff...ff
    Outside,       // a readable text of the right name, but not in the buffer
    PastEnd,       // the first byte after the buffer
    Unterminated,  // the buffer's last characters, without a NUL
};

struct ListedName {
    NameAt at;
    const wchar_t* text;
};

struct Listing {
    std::vector<ListedName> names;
    DWORD extraCount = 0;  // records the count claims beyond those written
    DWORD growth = 0;      // bytes the listing grows by after each call...
    int growingCalls = 0;  // ...for this many calls, then it stays
};

const wchar_t kOutsideName[] = L"Target:";

Listing standInListing;
int standInCalls = 0;

BOOL WINAPI standInEnumPorts(LPWSTR, DWORD, LPBYTE buffer, DWORD size, LPDWORD needed, LPDWORD returned)
{
    ++standInCalls;
    const Listing& listing = standInListing;
    size_t records = listing.names.size() * sizeof(PORT_INFO_1W);
    size_t total = records;
    for (const ListedName& name : listing.names)
        if (name.at == NameAt::Inside || name.at == NameAt::Unterminated) total += (wcslen(name.text) + 1) * sizeof(WCHAR);
    total += static_cast<size_t>(std::min(standInCalls - 1, listing.growingCalls)) * listing.growth;
    *needed = static_cast<DWORD>(total);
    *returned = 0;
    if (!buffer || size < total) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    memset(buffer, 0, size);
    auto* info = reinterpret_cast<PORT_INFO_1W*>(buffer);
    size_t text = records;
    for (size_t i = 0; i < listing.names.size(); ++i) {
        const ListedName& name = listing.names[i];
        size_t chars = name.text ? wcslen(name.text) : 0;
        switch (name.at) {
        case NameAt::Inside:
            info[i].pName = reinterpret_cast<LPWSTR>(buffer + text);
            memcpy(buffer + text, name.text, (chars + 1) * sizeof(WCHAR));
            text += (chars + 1) * sizeof(WCHAR);
            break;
        case NameAt::Null:
            info[i].pName = nullptr;
            break;
        case NameAt::Wild:
            info[i].pName = reinterpret_cast<LPWSTR>(~uintptr_t{0});
            break;
        case NameAt::Outside:
            info[i].pName = const_cast<LPWSTR>(kOutsideName);
            break;
        case NameAt::PastEnd:
            info[i].pName = reinterpret_cast<LPWSTR>(buffer + size);
            break;
        case NameAt::Unterminated:
            info[i].pName = reinterpret_cast<LPWSTR>(buffer + size - chars * sizeof(WCHAR));
            memcpy(info[i].pName, name.text, chars * sizeof(WCHAR));
            break;
        }
    }
    *returned = static_cast<DWORD>(listing.names.size()) + listing.extraCount;
    return TRUE;
}

struct PortExistsCase {
    const char* what;
    Listing listing;
    BOOL exists;
    DWORD error;
    int maxCalls;  // the sizing call and the listings
};

const PortExistsCase kPortExistsCases[] = {
    {"a well-formed listing", {{{NameAt::Inside, L"LPT1:"}, {NameAt::Inside, L"TARGET:"}}}, TRUE, 0, 2},
    {"stray pointers only",
     {{{NameAt::Null, nullptr}, {NameAt::Wild, nullptr}, {NameAt::Outside, nullptr}, {NameAt::PastEnd, nullptr}}},
     FALSE, 0, 2},
    {"stray pointers before a good one",
     {{{NameAt::Wild, nullptr}, {NameAt::Null, nullptr}, {NameAt::Outside, nullptr}, {NameAt::Inside, L"target:"}}},
     TRUE, 0, 2},
    {"a name that runs to the buffer's end", {{{NameAt::Inside, L"LPT1:"}, {NameAt::Unterminated, L"Target:"}}},
     FALSE, 0, 2},
    {"a count beyond the records written", {{{NameAt::Inside, L"LPT1:"}}, 100000}, FALSE, 0, 2},
    {"a listing that grew once after its sizing", {{{NameAt::Inside, L"Target:"}}, 0, 64, 1}, TRUE, 0, 3},
    {"a listing that grows at every call", {{{NameAt::Inside, L"Target:"}}, 0, 64, 1000}, FALSE,
     ERROR_INSUFFICIENT_BUFFER, 4},
};

}  // namespace

TEST_F(XcvTest, PortExistsReadsOnlyInsideTheListing)
{
    testseams::SetRouterEnumPorts(standInEnumPorts);
    for (const PortExistsCase& c : kPortExistsCases) {
        SCOPED_TRACE(c.what);
        standInListing = c.listing;
        standInCalls = 0;
        DWORD error = 0xdeadbeef;
        EXPECT_EQ(PortExists(nullptr, L"Target:", &error), c.exists);
        EXPECT_EQ(error, c.error);
        EXPECT_LE(standInCalls, c.maxCalls);
    }
}

TEST_F(XcvTest, VerPortNameSurvivesAListingOfStrayPointers)
{
    testseams::SetRouterEnumPorts(standInEnumPorts);
    standInListing = {{{NameAt::Wild, nullptr}, {NameAt::Outside, nullptr}, {NameAt::Unterminated, L"Target:"}}, 5};
    DWORD errRc = 0xdeadbeef;
    EXPECT_EQ(xcvName(L"VerPortName", L"Target:", errRc), 0u);
    EXPECT_EQ(errRc, 0u);
    standInListing.names.push_back({NameAt::Inside, L"Target:"});
    EXPECT_EQ(xcvName(L"VerPortName", L"Target:", errRc), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(errRc, 61u);
}

TEST_F(XcvTest, CommandNamesAreCaseSensitive)
{
    DWORD reply[2] = {0xdeadbeef, 0xdeadbeef};
    EXPECT_EQ(xcv(L"addport", nullptr, 0, reply, 8), static_cast<DWORD>(ERROR_GEN_FAILURE));
    EXPECT_EQ(xcv(L"NoSuchCommand", nullptr, 0, reply, 8), static_cast<DWORD>(ERROR_GEN_FAILURE));
    EXPECT_EQ(reply[0], 0xdeadbeef);
}

TEST_F(XcvTest, OpenAndCloseAcceptAnything)
{
    HANDLE handle = nullptr;
    EXPECT_TRUE(monitor->pfnXcvOpenPort(nullptr, L"", 0, &handle));
    EXPECT_NE(handle, nullptr);
    EXPECT_TRUE(monitor->pfnXcvOpenPort(nullptr, L"Zephrin:none", SERVER_ALL_ACCESS, &handle));
    EXPECT_TRUE(monitor->pfnXcvClosePort(handle));
}

TEST_F(XcvTest, MonitorUiNamesTheUiLibrary)
{
    WCHAR name[32];
    wmemset(name, L'#', 32);
    DWORD needed = 0;
    EXPECT_EQ(xcv(L"MonitorUI", nullptr, 0, name, 2, &needed), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(needed, 28u);
    EXPECT_EQ(name[0], L'#');
    EXPECT_EQ(xcv(L"MonitorUI", nullptr, 0, name, 27, &needed), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    needed = 0;
    EXPECT_EQ(xcv(L"MonitorUI", nullptr, 0, name, 28, &needed), 0u);
    EXPECT_EQ(needed, 28u);
    EXPECT_STREQ(name, L"lanportui.dll");
    EXPECT_EQ(name[14], L'#');
}

TEST_F(XcvTest, AddPortCreatesPortAndKeyWithMonitorLevelOne)
{
    DWORD errRc = 0xdeadbeef;
    ASSERT_EQ(addPort(L"Zephrin:10.1.2.3", "10.1.2.3", &errRc), 0u);
    EXPECT_EQ(errRc, 0u);
    EXPECT_TRUE(contains(tablePorts(), L"Zephrin:10.1.2.3"));
    ConfigInfo config{};
    ASSERT_TRUE(stored(root.key(), L"Zephrin:10.1.2.3", &config));
    EXPECT_EQ(config.monitorLevel, 1u);  // the request said 7
    EXPECT_EQ(config.ipAddress, 0x0302010Au);
    EXPECT_STREQ(config.community, L"kestro_gauge");
    EXPECT_EQ(FindPortEntryByName(L"Zephrin:10.1.2.3")->printerType, 0u);
}

TEST_F(XcvTest, AddPortWithWrongSizesCreatesNothing)
{
    std::vector<BYTE> request(sizeof(AddPortRequest) + 1);
    wcscpy(reinterpret_cast<AddPortRequest*>(request.data())->portName, L"p");
    AddPortReply reply{0xdeadbeef, 0xdeadbeef};
    EXPECT_EQ(xcv(L"AddPort", request.data(), 1091, &reply, 8), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(reply.printerType, 0u);
    EXPECT_EQ(reply.errRc, 0u);
    EXPECT_EQ(xcv(L"AddPort", request.data(), 1093, &reply, 8), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    DWORD small = 0xdeadbeef;
    EXPECT_EQ(xcv(L"AddPort", request.data(), 1092, &small, 4), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(small, 0xdeadbeef);
    EXPECT_EQ(xcv(L"AddPort", nullptr, 1092, &reply, 8), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(tablePorts().empty());
    EXPECT_TRUE(PortKeys(root.key()).empty());
}

TEST_F(XcvTest, AddPortRefusesNamesNoCommandCouldAddress)
{
    const std::wstring tooLong(129, L'n');
    for (const std::wstring& name : {std::wstring(), std::wstring(L"a\\b"), std::wstring(L"a,b"), tooLong}) {
        DWORD errRc = 0;
        EXPECT_EQ(addPort(name, "10.0.0.9", &errRc), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << name.size();
        EXPECT_EQ(errRc, 10u);
    }
    AddPortRequest unterminated{};
    wmemset(unterminated.portName, L'x', 256);
    AddPortReply reply{};
    EXPECT_EQ(xcv(L"AddPort", unterminated, reply), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(tablePorts().empty());
    EXPECT_EQ(addPort(std::wstring(128, L'n'), "10.0.0.9"), 0u);
}

TEST_F(XcvTest, AddPortRollsBackWhenTheRegistryFails)
{
    testseams::InjectFault(FaultPoint::RegSetConfigInfo, ERROR_ACCESS_DENIED);
    DWORD errRc = 0;
    EXPECT_EQ(addPort(L"p", "10.0.0.9", &errRc), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(errRc, 10u);
    EXPECT_TRUE(tablePorts().empty());
}

TEST_F(XcvTest, VerifyDottedAddress)
{
    DWORD status = 0;
    VerPortAddrReply reply = verifyAddress(L"10.1.2.3", 2, &status);
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(reply.ipAddress, 0x0302010Au);
    EXPECT_STREQ(reply.dottedAddress, L"10.1.2.3");
    EXPECT_EQ(reply.errRc, 0u);

    ASSERT_EQ(addPort(L"p", "10.1.2.3"), 0u);
    reply = verifyAddress(L"10.1.2.3", 2, &status);
    EXPECT_EQ(status, static_cast<DWORD>(ERROR_GEN_FAILURE));
    EXPECT_EQ(reply.errRc, 51u);
    EXPECT_EQ(reply.ipAddress, 0x0302010Au);
    EXPECT_STREQ(reply.dottedAddress, L"10.1.2.3");
}

TEST_F(XcvTest, VerifyRejectsBadAddressesAndFormats)
{
    DWORD status = 0;
    EXPECT_EQ(verifyAddress(L"10.1.2.3", 1, &status).errRc, 50u);
    EXPECT_EQ(status, static_cast<DWORD>(ERROR_GEN_FAILURE));
    EXPECT_EQ(verifyAddress(L"10.1.2.3", 3, &status).errRc, 50u);
    EXPECT_EQ(verifyAddress(L"10.1.2.300", 2, &status).errRc, 50u);
    // Longer than any dotted address: it would not fit the reply's field.
    VerPortAddrReply reply = verifyAddress(L"010.001.002.003.4", 2, &status);
    EXPECT_EQ(reply.errRc, 50u);
    EXPECT_EQ(status, static_cast<DWORD>(ERROR_GEN_FAILURE));
    EXPECT_EQ(reply.dottedAddress[15], static_cast<WCHAR>(0xCDCD));
}

TEST_F(XcvTest, VerifyHostNames)
{
    DWORD status = 0;
    VerPortAddrReply reply = verifyAddress(L"localhost", 4, &status);  // from the hosts file
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(reply.ipAddress, 0x0100007Fu);
    EXPECT_STREQ(reply.dottedAddress, L"127.0.0.1");

    testseams::InjectFault(FaultPoint::HostLookup, WSAHOST_NOT_FOUND);
    reply = verifyAddress(L"printer.example", 8, &status);
    EXPECT_EQ(status, static_cast<DWORD>(ERROR_GEN_FAILURE));
    EXPECT_EQ(reply.errRc, 52u);
    testseams::InjectFault(FaultPoint::HostLookup, WSATRY_AGAIN);
    EXPECT_EQ(verifyAddress(L"printer", 4, &status).errRc, 10u);
}

TEST_F(XcvTest, VerifyChecksItsBuffers)
{
    VerPortAddrRequest request{};
    wmemset(request.addressText, L'1', 130);  // no NUL
    request.addrFormat = 2;
    VerPortAddrReply reply{};
    EXPECT_EQ(xcv(L"VerPortAddr", request, reply), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    wcscpy(request.addressText, L"10.1.2.3");
    EXPECT_EQ(xcv(L"VerPortAddr", &request, 263, &reply, 40), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(xcv(L"VerPortAddr", &request, 264, &reply, 39), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(xcv(L"VerPortAddr", &request, 264, &reply, 40), 0u);
}

TEST_F(XcvTest, VerifyNameSeesTheSpoolersAndOurPorts)
{
    DWORD errRc = 0xdeadbeef;
    // FILE: belongs to another monitor of this machine's spooler, in any case.
    EXPECT_EQ(xcvName(L"VerPortName", L"file:", errRc), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(errRc, 61u);
    ASSERT_EQ(addPort(L"Zephrin:ours", "10.0.0.5"), 0u);
    errRc = 0xdeadbeef;
    EXPECT_EQ(xcvName(L"VerPortName", L"ZEPHRIN:OURS", errRc), static_cast<DWORD>(ERROR_GEN_FAILURE));
    EXPECT_EQ(errRc, 61u);
    EXPECT_EQ(xcvName(L"VerPortName", L"Zephrin:free", errRc), 0u);
    EXPECT_EQ(errRc, 0u);

    WCHAR unterminated[4] = {L'a', L'b', L'c', L'd'};
    EXPECT_EQ(xcv(L"VerPortName", unterminated, sizeof unterminated, &errRc, 4),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(xcv(L"VerPortName", L"x", 4, &errRc, 3), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST_F(XcvTest, PortExistsIgnoresCase)
{
    DWORD error = 0xdeadbeef;
    EXPECT_TRUE(PortExists(nullptr, L"fIlE:", &error));
    EXPECT_EQ(error, 0u);
    EXPECT_FALSE(PortExists(nullptr, L"NoSuchPort:", &error));
}

TEST_F(XcvTest, GetPortConfigReturnsTheStoredRecord)
{
    ASSERT_EQ(addPort(L"Zephrin:10.1.2.3", "10.1.2.3"), 0u);
    GetPortConfigReply reply;
    memset(&reply, 0xCD, sizeof reply);
    EXPECT_EQ(xcvName(L"GetPortConfig", L"zephrin:10.1.2.3", reply), 0u);
    EXPECT_EQ(reply.errRc, 0u);
    EXPECT_EQ(reply.configInfo.ipAddress, 0x0302010Au);
    EXPECT_EQ(reply.configInfo.monitorLevel, 1u);
    EXPECT_STREQ(reply.dottedAddress, L"10.1.2.3");
    EXPECT_EQ(reply.portFlags, 0u);

    EXPECT_EQ(xcvName(L"GetPortConfig", L"Zephrin:unknown", reply), static_cast<DWORD>(ERROR_GEN_FAILURE));
    EXPECT_EQ(reply.errRc, 10u);
    EXPECT_EQ(xcvName(L"GetPortConfig", std::wstring(130, L'p'), reply), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(reply.errRc, 10u);
    EXPECT_EQ(xcvName(L"GetPortConfig", L"", reply), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    // The name must end within the input it came in.
    EXPECT_EQ(xcv(L"GetPortConfig", L"Zephrin:10.1.2.3", 10, &reply, sizeof reply),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(xcv(L"GetPortConfig", L"Zephrin:10.1.2.3", 34, &reply, 579),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(XcvTest, UpdatePortCommReachesTheRegistryNotTheRunningPort)
{
    ASSERT_EQ(addPort(L"p", "10.1.2.3"), 0u);
    UpdPortCommRequest request{0x0302010A, {}};
    wcscpy(request.community, L"fresh");
    DWORD errRc = 0xdeadbeef;
    EXPECT_EQ(xcv(L"UpdPortComm", request, errRc), 0u);
    EXPECT_EQ(errRc, 0u);
    GetPortConfigReply config{};
    ASSERT_EQ(xcvName(L"GetPortConfig", L"p", config), 0u);
    EXPECT_STREQ(config.configInfo.community, L"fresh");
    EXPECT_STREQ(FindPortEntryByName(L"p")->community, L"kestro_gauge");

    request.ipAddress = 0x0402010A;
    EXPECT_EQ(xcv(L"UpdPortComm", request, errRc), static_cast<DWORD>(ERROR_UNKNOWN_PORT));
    EXPECT_EQ(errRc, 250u);
    wmemset(request.community, L'c', 256);
    EXPECT_EQ(xcv(L"UpdPortComm", request, errRc), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(errRc, 10u);
}

TEST_F(XcvTest, ConfigurePortReplacesTheStoredRecord)
{
    ASSERT_EQ(addPort(L"p", "10.1.2.3"), 0u);
    CfgPortRequest request{};
    wcscpy(request.portName, L"p");
    request.configInfo = DefaultConfig("10.9.9.9");
    request.configInfo.monitorLevel = 6;
    DWORD errRc = 0xdeadbeef;
    EXPECT_EQ(xcv(L"CfgPort", request, errRc), 0u);
    EXPECT_EQ(errRc, 0u);
    ConfigInfo config{};
    ASSERT_TRUE(stored(root.key(), L"p", &config));
    EXPECT_EQ(config.ipAddress, Address("10.9.9.9"));
    EXPECT_EQ(config.monitorLevel, 6u);  // stored as sent
    EXPECT_EQ(FindPortEntryByName(L"p")->ipAddress, 0x0302010Au);

    wcscpy(request.portName, L"unknown");
    EXPECT_EQ(xcv(L"CfgPort", request, errRc), static_cast<DWORD>(ERROR_GEN_FAILURE));
    EXPECT_EQ(errRc, 10u);
    // A key whose port has left the table is removed.
    ConfigInfo orphan = DefaultConfig("10.7.7.7");
    WritePortKey(root.key(), L"orphan", orphan);
    wcscpy(request.portName, L"orphan");
    EXPECT_EQ(xcv(L"CfgPort", request, errRc), static_cast<DWORD>(ERROR_UNKNOWN_PORT));
    EXPECT_EQ(errRc, 250u);
    EXPECT_FALSE(PortKeyExists(root.key(), L"orphan"));
    EXPECT_EQ(xcv(L"CfgPort", &request, 799, &errRc, 4), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(XcvTest, GetCommAccessNeverReturnsTheStoredCommunity)
{
    ASSERT_EQ(addPort(L"p", "10.1.2.3"), 0u);
    std::vector<WCHAR> in(385, L'\0');
    wcscpy(in.data(), L"p");
    GetCommAccessReply reply{};
    wcscpy(reply.szCommunity, L"caller");
    reply.callerWord = 5;
    EXPECT_EQ(xcv(L"GetCommAccess", in.data(), 770, &reply, sizeof reply), 0u);
    EXPECT_EQ(reply.errRc, 0u);
    EXPECT_STREQ(reply.szCommunity, L"caller");
    reply.callerWord = 238;
    EXPECT_EQ(xcv(L"GetCommAccess", in.data(), 770, &reply, sizeof reply), 0u);
    EXPECT_STREQ(reply.szCommunity, L"");
    wcscpy(in.data(), L"q");
    EXPECT_EQ(xcv(L"GetCommAccess", in.data(), 770, &reply, sizeof reply), static_cast<DWORD>(ERROR_UNKNOWN_PORT));
    EXPECT_EQ(reply.errRc, 250u);
    EXPECT_EQ(xcv(L"GetCommAccess", in.data(), 769, &reply, sizeof reply), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(reply.errRc, 10u);
}

TEST_F(XcvTest, GetPortNameByAddress)
{
    ASSERT_EQ(addPort(L"Zephrin:10.1.2.3", "10.1.2.3"), 0u);
    GetPortNameRequest request{0x0302010A};
    WCHAR name[64];
    wmemset(name, L'#', 64);
    DWORD needed = 0;
    EXPECT_EQ(xcv(L"GetPortName", &request, 4, name, 10, &needed), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(needed, 34u);
    EXPECT_EQ(name[0], L'#');
    EXPECT_EQ(xcv(L"GetPortName", &request, 4, name, 34, &needed), 0u);
    EXPECT_STREQ(name, L"Zephrin:10.1.2.3");
    request.ipAddress = 0x0402010A;
    EXPECT_EQ(xcv(L"GetPortName", &request, 4, name, sizeof name), static_cast<DWORD>(ERROR_UNKNOWN_PORT));
    EXPECT_STREQ(name, L"");
    EXPECT_EQ(xcv(L"GetPortName", &request, 3, name, sizeof name), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(XcvTest, DeletePortRemovesTableEntryAndKey)
{
    ASSERT_EQ(addPort(L"Zephrin:10.1.2.3", "10.1.2.3"), 0u);
    DWORD none = 0;
    EXPECT_EQ(xcv(L"DeletePort", nullptr, 0, &none, 0), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(xcvName(L"DeletePort", L"Zephrin:unknown", none), static_cast<DWORD>(ERROR_UNKNOWN_PORT));
    EXPECT_EQ(xcvName(L"DeletePort", L"Zephrin:10.1.2.3", none), 0u);
    EXPECT_TRUE(tablePorts().empty());
    EXPECT_FALSE(PortKeyExists(root.key(), L"Zephrin:10.1.2.3"));
}

TEST_F(XcvTest, DeletePortWithOtherCaseRemovesThePortFound)
{
    ASSERT_EQ(addPort(L"Zephrin:10.1.2.3", "10.1.2.3"), 0u);
    DWORD none = 0;
    EXPECT_EQ(xcvName(L"DeletePort", L"ZEPHRIN:10.1.2.3", none), 0u);
    EXPECT_TRUE(tablePorts().empty());
    EXPECT_TRUE(PortKeys(root.key()).empty());
}

TEST_F(XcvTest, DeletePortOfAPortWithoutKeyAndUnterminatedNames)
{
    ASSERT_EQ(addPort(L"p", "10.1.2.3"), 0u);
    // A port in the table without a key still leaves the table.
    DeleteKeyTree(root.key(), L"Ports\\p");
    DWORD none = 0;
    EXPECT_EQ(xcvName(L"DeletePort", L"p", none), 0u);
    EXPECT_TRUE(tablePorts().empty());
    // The name must end within the input.
    ASSERT_EQ(addPort(L"q", "10.1.2.4"), 0u);
    EXPECT_EQ(xcv(L"DeletePort", L"q", 2, &none, 0), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(tablePorts().size(), 1u);
}
