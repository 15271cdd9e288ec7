// monSetNewPort, called directly as the RPC endpoint calls it.
#include "xcvfixture.h"

#include <algorithm>
#include <atomic>
#include <cwchar>
#include <thread>

#include "monitor.h"
#include "newport.h"
#include "pmuports.h"

using namespace testing_support;

namespace {

class NewPortTest : public XcvTest {
protected:
    LONG create(const std::wstring& requested, const std::wstring& address)
    {
        wmemset(name, L'#', 258);
        wcscpy(name, requested.c_str());
        return monSetNewPort(name, address.c_str(), 0);
    }
    WCHAR name[258];
};

}  // namespace

TEST_F(NewPortTest, NewAddressCreatesThePortWithDefaults)
{
    EXPECT_EQ(create(L"Office", L"10.1.2.3"), 0);
    EXPECT_STREQ(name, L"Office");
    QelPort* port = FindPortEntryByName(L"Office");
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(port->ipAddress, 0x0302010Au);
    EXPECT_EQ(port->timeout, 300);
    EXPECT_EQ(port->retryCount, 2);
    EXPECT_EQ(port->monitorLevel, 1u);
    EXPECT_STREQ(port->community, L"kestro_gauge");
    EXPECT_TRUE(PortKeyExists(root.key(), L"Office"));
}

TEST_F(NewPortTest, ExistingAddressAnswersWithItsPort)
{
    ASSERT_EQ(create(L"Office", L"10.1.2.3"), 0);
    EXPECT_EQ(create(L"Office", L"10.1.2.3"), 1);
    EXPECT_STREQ(name, L"Office");
    EXPECT_EQ(create(L"Hall", L"10.1.2.3"), 51);
    EXPECT_STREQ(name, L"Office");
    EXPECT_EQ(tablePorts().size(), 1u);
}

TEST_F(NewPortTest, TakenNameGetsGeneratedNames)
{
    ASSERT_EQ(create(L"Office", L"10.1.2.3"), 0);
    EXPECT_EQ(create(L"Office", L"10.1.2.4"), 61);
    EXPECT_STREQ(name, L"Zephrin:10.1.2.4");
    // Zephrin:10.1.2.5 taken by a port at another address: the numbered variants follow.
    ASSERT_EQ(create(L"Zephrin:10.1.2.5", L"10.1.2.6"), 0);
    ASSERT_EQ(create(L"Zephrin:10.1.2.5_2", L"10.1.2.7"), 0);
    EXPECT_EQ(create(L"Office", L"10.1.2.5"), 61);
    EXPECT_STREQ(name, L"Zephrin:10.1.2.5_3");
    EXPECT_NE(FindPortEntryByAddress(Address("10.1.2.5")), nullptr);
    // Another monitor's port name counts as taken too.
    EXPECT_EQ(create(L"FILE:", L"10.1.2.8"), 61);
    EXPECT_STREQ(name, L"Zephrin:10.1.2.8");
}

TEST_F(NewPortTest, InvalidAddressLeavesTheNameAsSent)
{
    EXPECT_EQ(create(L"Office", L"10.1.2"), 50);
    EXPECT_STREQ(name, L"Office");
    EXPECT_EQ(name[7], L'#');
    EXPECT_EQ(create(L"Office", L"10.1.2.300"), 50);
    EXPECT_EQ(create(L"Office", L""), 10);
    EXPECT_TRUE(tablePorts().empty());
}

TEST_F(NewPortTest, HostNameLookups)
{
    EXPECT_EQ(create(L"Local", L"localhost"), 0);
    EXPECT_EQ(FindPortEntryByName(L"Local")->ipAddress, 0x0100007Fu);
    testseams::InjectFault(FaultPoint::HostLookup, WSAHOST_NOT_FOUND);
    EXPECT_EQ(create(L"Remote", L"printer.example"), 52);
    testseams::InjectFault(FaultPoint::HostLookup, WSANO_RECOVERY);
    EXPECT_EQ(create(L"Remote", L"printer"), 10);
    // A name the code page cannot hold is looked up nowhere, least of all as this machine.
    EXPECT_EQ(create(L"Remote", L"drukarka-\u0142"), 10);
    EXPECT_EQ(tablePorts().size(), 1u);
}

TEST_F(NewPortTest, ZeroPaddedAddressIsDecimal)
{
    EXPECT_EQ(create(L"Padded", L"192.168.001.010"), 0);
    EXPECT_EQ(FindPortEntryByName(L"Padded")->ipAddress, Address("192.168.1.10"));
    EXPECT_EQ(create(L"Again", L"192.168.1.10"), 51);
    EXPECT_STREQ(name, L"Padded");
}

TEST_F(NewPortTest, RacingRequestsForOneNameCreateOnePort)
{
    constexpr int kThreads = 8;
    std::vector<std::thread> threads;
    std::atomic<int> created{0};
    HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    for (int i = 0; i < kThreads; ++i)
        threads.emplace_back([&, i] {
            WCHAR requested[129] = L"Shared";
            std::wstring address = L"10.1.3." + std::to_wstring(i + 1);
            WaitForSingleObject(go, INFINITE);
            // A request that lost the race may still create a port under a generated name.
            if (monSetNewPort(requested, address.c_str(), 0) == 0 && wcscmp(requested, L"Shared") == 0) ++created;
        });
    SetEvent(go);
    for (auto& thread : threads) thread.join();
    CloseHandle(go);
    EXPECT_EQ(created, 1);
    auto ports = tablePorts();
    EXPECT_EQ(std::count(ports.begin(), ports.end(), L"Shared"), 1);
    EXPECT_EQ(PortKeys(root.key()).size(), ports.size());
}

TEST_F(NewPortTest, OverLongAndUnusableTextsAnswerTen)
{
    EXPECT_EQ(create(std::wstring(129, L'n'), L"10.1.2.3"), 10);
    EXPECT_EQ(create(L"Office", std::wstring(130, L'a')), 10);
    EXPECT_EQ(create(L"", L"10.1.2.3"), 10);
    EXPECT_EQ(create(L"a,b", L"10.1.2.3"), 10);
    EXPECT_EQ(create(L"a\\b", L"10.1.2.3"), 10);
    EXPECT_TRUE(tablePorts().empty());
    EXPECT_EQ(create(std::wstring(128, L'n'), L"10.1.2.9"), 0);
    EXPECT_EQ(tablePorts().size(), 1u);
}

TEST_F(NewPortTest, BeforeTheMonitorIsSetUpNothingIsTouched)
{
    monitorInitialized = false;
    EXPECT_EQ(create(L"Office", L"10.1.2.3"), 10);
    monitorInitialized = true;
    EXPECT_TRUE(tablePorts().empty());
    EXPECT_TRUE(PortKeys(root.key()).empty());
}
