// One port per name as the registry compares names, table and registry changed together,
// stored records read whole, addresses and host names read as written: through the XCV
// commands on a private registry root.
#include <winsock2.h>

#include "xcvfixture.h"

#include <atomic>
#include <cstring>
#include <thread>

#include "pmuports.h"
#include "protlock.h"

using namespace testing_support;

namespace {

struct CaseTwin {
    const wchar_t* name;
    const wchar_t* twin;
};
// Pairs that only a fold of all of Unicode makes equal.
constexpr CaseTwin kCaseTwins[] = {
    {L"Zephrin:B\u00FCro", L"ZEPHRIN:B\u00DCRO"},
    {L"Zephrin:\u03A3\u039F\u03A6\u0399\u0391", L"zephrin:\u03C3\u03BF\u03C6\u03B9\u03B1"},
    {L"Zephrin:\u041F\u0440\u0438\u043D\u0442\u0435\u0440", L"ZEPHRIN:\u041F\u0420\u0418\u041D\u0422\u0415\u0420"},
};

std::string dotted(int host)
{
    return "10.1.2." + std::to_string(host);
}

ConfigInfo storedConfig(HKEY root, const std::wstring& name, DWORD* size = nullptr)
{
    ConfigInfo config;
    EXPECT_TRUE(ReadPortConfig(root, name, &config, size)) << "no stored record";
    return config;
}

// Every byte of the record from `from` on is zero.
bool zeroFrom(const ConfigInfo& config, size_t from)
{
    auto* bytes = reinterpret_cast<const BYTE*>(&config);
    for (size_t i = from; i < sizeof config; ++i)
        if (bytes[i]) return false;
    return true;
}

}  // namespace

TEST_F(XcvTest, NamesEqualUnderUnicodeCaseFoldingAreOnePort)
{
    int host = 0;
    for (const auto& pair : kCaseTwins) {
        SCOPED_TRACE(pair.name);
        std::string address = dotted(++host);
        ASSERT_EQ(addPort(pair.name, address.c_str()), 0u);
        DWORD errRc = 0;
        EXPECT_EQ(xcvName(L"VerPortName", pair.twin, errRc), static_cast<DWORD>(ERROR_GEN_FAILURE));
        EXPECT_EQ(errRc, 61u);
        EXPECT_EQ(addPort(pair.twin, dotted(100 + host).c_str(), &errRc), static_cast<DWORD>(ERROR_GEN_FAILURE));
        EXPECT_EQ(errRc, 61u);
        // The first port's definition is untouched, and found by either spelling.
        EXPECT_EQ(storedConfig(root.key(), pair.name).ipAddress, Address(address.c_str()));
        GetPortConfigReply reply{};
        EXPECT_EQ(xcvName(L"GetPortConfig", pair.twin, reply), 0u);
        EXPECT_EQ(reply.configInfo.ipAddress, Address(address.c_str()));
    }
    EXPECT_EQ(tablePorts().size(), std::size(kCaseTwins));
    EXPECT_EQ(PortKeys(root.key()).size(), std::size(kCaseTwins));
}

TEST_F(XcvTest, RacingAddsOfOneNameCreateOnePortAndOneKey)
{
    constexpr int kThreads = 8;
    for (int round = 0; round < 10; ++round) {
        SCOPED_TRACE(round);
        HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        std::atomic<int> added{0};
        std::vector<std::thread> threads;
        for (int i = 0; i < kThreads; ++i)
            threads.emplace_back([&, i] {
                WaitForSingleObject(go, INFINITE);
                // Half of them spell the name the other way.
                const wchar_t* name = i % 2 ? kCaseTwins[0].name : kCaseTwins[0].twin;
                if (addPort(name, dotted(i + 1).c_str()) == 0) ++added;
            });
        SetEvent(go);
        for (auto& thread : threads) thread.join();
        CloseHandle(go);
        EXPECT_EQ(added, 1);
        ASSERT_EQ(tablePorts().size(), 1u);
        EXPECT_EQ(PortKeys(root.key()), tablePorts());
        DWORD none = 0;
        ASSERT_EQ(xcvName(L"DeletePort", kCaseTwins[0].twin, none), 0u);
        EXPECT_TRUE(PortKeys(root.key()).empty());
    }
}

TEST_F(XcvTest, LookupWithTwoFoldedMatchesPrefersTheExactNameOrRefuses)
{
    ASSERT_EQ(addPort(L"Ab", "10.1.2.3"), 0u);
    ASSERT_EQ(addPort(L"Xy", "10.1.2.4"), 0u);
    // Twins as the table could hold them before names were unique: the second record
    // renamed in place.
    QelPort* first = FindPortEntryByName(L"Ab");
    QelPort* twin = FindPortEntryByName(L"Xy");
    ASSERT_NE(twin, nullptr);
    wcscpy(twin->portName, L"aB");
    EXPECT_EQ(FindPortEntryByName(L"Ab"), first);
    EXPECT_EQ(FindPortEntryByName(L"aB"), twin);
    EXPECT_EQ(FindPortEntryByName(L"AB"), nullptr);
    // A command acts on neither of two names it cannot tell apart.
    DWORD none = 0;
    EXPECT_EQ(xcvName(L"DeletePort", L"ab", none), static_cast<DWORD>(ERROR_UNKNOWN_PORT));
    GetPortConfigReply reply{};
    EXPECT_EQ(xcvName(L"GetPortConfig", L"AB", reply), static_cast<DWORD>(ERROR_GEN_FAILURE));
    EXPECT_EQ(tablePorts().size(), 2u);
    EXPECT_EQ(xcvName(L"DeletePort", L"aB", none), 0u);
    EXPECT_EQ(tablePorts(), std::vector<std::wstring>{L"Ab"});
    EXPECT_EQ(FindPortEntryByName(L"AB"), first);
}

TEST_F(XcvTest, DeleteRacingAConfigurationCommandLeavesNoKeyBehind)
{
    // The window hook starts the deletion inside the command's read-modify-write and
    // lets each side wait for the other: without serialisation the deletion removes
    // the key in that window and the port only after the command has written the key
    // back and found the port still there.
    constexpr DWORD kWindowMs = 100;
    enum class Command { Configure, UpdateCommunity };
    for (Command command : {Command::Configure, Command::UpdateCommunity}) {
        for (int round = 0; round < 5; ++round) {
            SCOPED_TRACE(round);
            ASSERT_EQ(addPort(L"p", "10.1.2.3"), 0u);
            HANDLE deleterInWindow = CreateEventW(nullptr, TRUE, FALSE, nullptr);
            HANDLE commandDone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
            std::atomic<DWORD> deleterId{0};
            std::thread deleter;
            DWORD deleteStatus = 0xdeadbeef;
            testseams::OnObservation(Observation::AdminWindow, [&] {
                if (GetCurrentThreadId() == deleterId) {
                    SetEvent(deleterInWindow);
                    WaitForSingleObject(commandDone, kWindowMs);
                    return;
                }
                if (deleter.joinable()) return;
                deleter = std::thread([&] {
                    deleterId = GetCurrentThreadId();
                    DWORD none = 0;
                    deleteStatus = xcvName(L"DeletePort", L"p", none);
                });
                WaitForSingleObject(deleterInWindow, kWindowMs);
            });
            DWORD errRc = 0xdeadbeef, status;
            if (command == Command::Configure) {
                CfgPortRequest request{};
                wcscpy(request.portName, L"p");
                request.configInfo = DefaultConfig("10.1.2.3");
                status = xcv(L"CfgPort", request, errRc);
            } else {
                UpdPortCommRequest request{Address("10.1.2.3"), {}};
                wcscpy(request.community, L"fresh");
                status = xcv(L"UpdPortComm", request, errRc);
            }
            SetEvent(commandDone);
            ASSERT_TRUE(deleter.joinable());
            deleter.join();
            testseams::OnObservation(Observation::AdminWindow, nullptr);
            CloseHandle(deleterInWindow);
            CloseHandle(commandDone);
            EXPECT_EQ(status, 0u);
            EXPECT_EQ(deleteStatus, 0u);
            EXPECT_TRUE(tablePorts().empty());
            EXPECT_TRUE(PortKeys(root.key()).empty());
        }
    }
}

TEST_F(XcvTest, DeleteWhoseTableStepFailsKeepsPortAndKey)
{
    ASSERT_EQ(addPort(L"p", "10.1.2.3"), 0u);
    ConfigInfo before = storedConfig(root.key(), L"p");
    // A reader that stays: the deletion's write hold times out (shortened).
    testseams::SetWaitDivisor(1000);
    ASSERT_TRUE(StartProtectedRead(&portListLock));
    DWORD none = 0;
    DWORD status = xcvName(L"DeletePort", L"p", none);
    EndProtectedRead(&portListLock);
    EXPECT_EQ(status, static_cast<DWORD>(ERROR_TIMEOUT));
    EXPECT_EQ(tablePorts(), std::vector<std::wstring>{L"p"});
    ConfigInfo after = storedConfig(root.key(), L"p");
    EXPECT_EQ(memcmp(&before, &after, sizeof before), 0);
}

TEST_F(XcvTest, ShortStoredRecordsReadBackWithZeros)
{
    for (DWORD size : {DWORD{0}, DWORD{40}, DWORD{539}}) {
        SCOPED_TRACE(size);
        ASSERT_EQ(addPort(L"p", "10.1.2.3"), 0u);
        WritePortKey(root.key(), L"p", DefaultConfig("10.1.2.3"), size);
        GetPortConfigReply reply;
        memset(&reply, 0xCD, sizeof reply);
        ASSERT_EQ(xcvName(L"GetPortConfig", L"p", reply), 0u);
        EXPECT_TRUE(zeroFrom(reply.configInfo, size));
        // Written back whole by the read-modify-write commands: the tail stays zero.
        UpdPortCommRequest update{Address("10.1.2.3"), {}};
        wcscpy(update.community, L"x");
        DWORD errRc = 0;
        ASSERT_EQ(xcv(L"UpdPortComm", update, errRc), 0u);
        DWORD storedSize = 0;
        ConfigInfo stored = storedConfig(root.key(), L"p", &storedSize);
        EXPECT_EQ(storedSize, sizeof(ConfigInfo));
        EXPECT_STREQ(stored.community, L"x");
        stored.community[0] = L'\0';
        EXPECT_TRUE(zeroFrom(stored, size));
        DWORD none = 0;
        ASSERT_EQ(xcvName(L"DeletePort", L"p", none), 0u);
    }
}

TEST_F(XcvTest, DottedAddressesAreDecimalAndExactlyFourOctets)
{
    struct Case {
        const wchar_t* text;
        DWORD errRc;
        const char* address;  // when accepted
    };
    const Case cases[] = {
        {L"192.168.001.010", 0, "192.168.1.10"},
        {L"010.000.000.009", 0, "10.0.0.9"},
        {L"0.0.0.0", 0, "0.0.0.0"},
        {L"255.255.255.255", 50, nullptr},  // INADDR_NONE, as inet_addr answers it
        {L"1.2.3", 50, nullptr},
        {L"1.2.3.4.", 50, nullptr},
        {L"1..2.3", 50, nullptr},
        {L"0x0A.1.2.3", 50, nullptr},
        {L"1.2.3.256", 50, nullptr},
        {L"1.2.3.0009", 50, nullptr},
        {L" 1.2.3.4", 50, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        DWORD status = 0;
        VerPortAddrReply reply = verifyAddress(c.text, 2, &status);
        EXPECT_EQ(reply.errRc, c.errRc);
        if (c.address) {
            EXPECT_EQ(status, 0u);
            EXPECT_EQ(reply.ipAddress, Address(c.address));
        } else {
            EXPECT_EQ(status, static_cast<DWORD>(ERROR_GEN_FAILURE));
        }
    }
}

TEST_F(XcvTest, HostNamesOutsideTheCodePageAreNoLookup)
{
    // An empty narrow name would resolve to this very machine.
    for (const wchar_t* name : {L"\u043F\u0440\u0438\u043C\u0435\u0440", L"drukarka-\u0142", L"printer.\u0142.example"}) {
        SCOPED_TRACE(name);
        DWORD status = 0;
        VerPortAddrReply reply = verifyAddress(name, wcschr(name, L'.') ? 8 : 4, &status);
        EXPECT_EQ(status, static_cast<DWORD>(ERROR_GEN_FAILURE));
        EXPECT_EQ(reply.errRc, 0u);
    }
}
