// The registry store: loading ports at start-up, writing, reading and deleting their
// keys, start-up failures, and the TRX product check.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "monitor.h"
#include "monitorfixture.h"
#include "pmuports.h"
#include "registry.h"
#include "test_seams.h"

using namespace testing_support;

namespace {

class RegistryStoreTest : public ::testing::Test {
protected:
    void TearDown() override { testseams::Reset(); }
    std::vector<std::wstring> tableNames()
    {
        std::vector<std::wstring> result;
        for (QelPort* port = portList; port; port = port->next) result.push_back(port->portName);
        return result;
    }
    std::wstring version()
    {
        wchar_t text[32] = L"";
        DWORD size = sizeof(text), type = 0;
        RegQueryValueExW(root.key(), L"Version", nullptr, &type, reinterpret_cast<BYTE*>(text), &size);
        EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
        EXPECT_EQ(size, 10u);
        return text;
    }

    RegistryRoot root;
};

}  // namespace

TEST_F(RegistryStoreTest, StartWithoutPortsCreatesTheLayout)
{
    ASSERT_NE(StartMonitor(root.key()), nullptr);
    EXPECT_EQ(version(), L"1.00");
    HKEY ports;
    ASSERT_EQ(RegOpenKeyExW(root.key(), L"Ports", 0, KEY_READ, &ports), ERROR_SUCCESS);
    RegCloseKey(ports);
    EXPECT_EQ(portList, nullptr);
}

TEST_F(RegistryStoreTest, PortsLoadAndCorruptKeysAreDeleted)
{
    WritePortKey(root.key(), L"a-good", DefaultConfig("10.0.0.1"));
    WritePortKeyWithoutConfig(root.key(), L"b-missing");
    WritePortKey(root.key(), L"c-oversized", DefaultConfig("10.0.0.3"), 541);
    WritePortKey(root.key(), L"d-good", DefaultConfig("10.0.0.4"));
    WritePortKey(root.key(), L"e-short", DefaultConfig("10.0.0.5"), 536);  // addrFormat absent
    WritePortKey(root.key(), L"f-good", DefaultConfig("10.0.0.6"));
    ASSERT_NE(StartMonitor(root.key()), nullptr);
    EXPECT_EQ(tableNames(), (std::vector<std::wstring>{L"a-good", L"d-good", L"e-short", L"f-good"}));
    EXPECT_EQ(PortKeys(root.key()), (std::vector<std::wstring>{L"a-good", L"d-good", L"e-short", L"f-good"}));
    EXPECT_EQ(FindPortEntryByName(L"e-short")->addrFormat, 0u);
    EXPECT_EQ(FindPortEntryByName(L"e-short")->ipAddress, Address("10.0.0.5"));
}

TEST_F(RegistryStoreTest, WriteReadAndDeleteAPortKey)
{
    ASSERT_NE(StartMonitor(root.key()), nullptr);
    ConfigInfo written = DefaultConfig("10.1.2.3");
    wcscpy(written.community, L"printers");
    ASSERT_TRUE(UpdateRegistryEntry(L"Zephrin:10.1.2.3", &written));
    ConfigInfo read;
    memset(&read, 0xAB, sizeof(read));
    ASSERT_TRUE(ReadRegistryEntry(L"Zephrin:10.1.2.3", &read));
    EXPECT_EQ(memcmp(&read, &written, sizeof(read)), 0);
    // Key names ignore case, so the delete finds the key.
    EXPECT_TRUE(DeleteRegistryEntry(L"ZEPHRIN:10.1.2.3"));
    EXPECT_FALSE(PortKeyExists(root.key(), L"Zephrin:10.1.2.3"));
    SetLastError(0);
    EXPECT_FALSE(DeleteRegistryEntry(L"Zephrin:10.1.2.3"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(ReadRegistryEntry(L"Zephrin:10.1.2.3", &read));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(RegistryStoreTest, FailedFirstWriteLeavesNoKey)
{
    ASSERT_NE(StartMonitor(root.key()), nullptr);
    ConfigInfo config = DefaultConfig("10.1.2.3");
    ASSERT_TRUE(UpdateRegistryEntry(L"existing", &config));
    testseams::InjectFault(FaultPoint::RegSetConfigInfo, ERROR_ACCESS_DENIED, 2);
    SetLastError(0);
    EXPECT_FALSE(UpdateRegistryEntry(L"new", &config));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(PortKeyExists(root.key(), L"new"));
    // A failed rewrite of an existing port keeps its key.
    EXPECT_FALSE(UpdateRegistryEntry(L"existing", &config));
    EXPECT_TRUE(PortKeyExists(root.key(), L"existing"));
}

TEST_F(RegistryStoreTest, VersionWriteFailureIsOnlyTraced)
{
    WritePortKey(root.key(), L"p", DefaultConfig("10.0.0.1"));
    testseams::InjectFault(FaultPoint::RegSetVersion, ERROR_ACCESS_DENIED);
    ASSERT_NE(StartMonitor(root.key()), nullptr);
    EXPECT_EQ(tableNames(), (std::vector<std::wstring>{L"p"}));
}

TEST_F(RegistryStoreTest, PortsKeyFailureFailsTheStart)
{
    WritePortKey(root.key(), L"p", DefaultConfig("10.0.0.1"));
    testseams::InjectFault(FaultPoint::RegCreatePorts, ERROR_ACCESS_DENIED);
    SetLastError(0);
    EXPECT_EQ(StartMonitor(root.key()), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(portList, nullptr);
}

TEST_F(RegistryStoreTest, PortsQueryFailureFailsTheStart)
{
    WritePortKey(root.key(), L"p", DefaultConfig("10.0.0.1"));
    testseams::InjectFault(FaultPoint::RegQueryPorts, ERROR_INVALID_HANDLE);
    EXPECT_EQ(StartMonitor(root.key()), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(portList, nullptr);
    // The registry keeps the port for the next start.
    EXPECT_TRUE(PortKeyExists(root.key(), L"p"));
}

TEST(TrxCheckTest, NeedsTheKeyAndItsVersionValue)
{
    const wchar_t* path = L"SOFTWARE\\Qel\\Zephrin Manager\\Configuration";
    DeleteKeyTree(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Qel");
    EXPECT_FALSE(CheckRegForTRX());
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    EXPECT_FALSE(CheckRegForTRX());
    RegSetValueExW(key, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"2.0"), 8);
    EXPECT_TRUE(CheckRegForTRX());
    RegCloseKey(key);
    DeleteKeyTree(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Qel");
}
