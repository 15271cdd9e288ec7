// EnumPorts, OpenPort and ClosePort, called through the monitor's MONITOR2 table.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "monitor.h"
#include "monitorfixture.h"
#include "paths.h"
#include "pmuports.h"
#include "sehguard.h"
#include "trace.h"

using namespace testing_support;

namespace {

constexpr BYTE kMarker = 0xCD;

std::wstring resourceString(UINT id)
{
    wchar_t text[600] = L"";
    LoadStringW(languageModule, id, text, 600);
    return text;
}

class PortOperationsTest : public ::testing::Test {
protected:
    void SetUp() override { monitor = StartMonitor(root.key()); ASSERT_NE(monitor, nullptr); }

    void add(const wchar_t* name, const char* address)
    {
        ConfigInfo config = DefaultConfig(address);
        ASSERT_NE(CreatePortEntry(name, &config), nullptr);
    }
    BOOL enumPorts(DWORD level, BYTE* buffer, DWORD size, DWORD* needed, DWORD* returned)
    {
        return monitor->pfnEnumPorts(nullptr, nullptr, level, buffer, size, needed, returned);
    }
    DWORD neededSize(DWORD level)
    {
        DWORD needed = 0xdeadbeef, returned = 0xdeadbeef;
        enumPorts(level, nullptr, 0, &needed, &returned);
        return needed;
    }

    RegistryRoot root;
    LPMONITOR2 monitor = nullptr;
};

}  // namespace

TEST_F(PortOperationsTest, EnumWithoutPortsSucceedsEmpty)
{
    DWORD needed = 0xdeadbeef, returned = 0xdeadbeef;
    EXPECT_TRUE(enumPorts(1, nullptr, 0, &needed, &returned));
    EXPECT_EQ(needed, 0u);
    EXPECT_EQ(returned, 0u);
    EXPECT_TRUE(enumPorts(3, nullptr, 0, &needed, &returned));
    EXPECT_EQ(returned, 0u);
}

TEST_F(PortOperationsTest, NeededSizesPerLevel)
{
    add(L"Zephrin:10.1.2.3", "10.1.2.3");  // 16 characters
    add(L"p2", "10.1.2.4");
    DWORD names = 2 * (17 + 3);
    EXPECT_EQ(neededSize(1), 2 * sizeof(PORT_INFO_1W) + names);
    DWORD strings = 2 * (resourceString(10).size() + resourceString(11).size() + 2);
    EXPECT_EQ(neededSize(2), 2 * sizeof(PORT_INFO_2W) + names + 2 * strings);
    DWORD needed = 0, returned = 0xdeadbeef;
    SetLastError(0);
    EXPECT_FALSE(enumPorts(1, nullptr, 0, &needed, &returned));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(returned, 0xdeadbeefu) << "the count is left alone on failure";
}

TEST_F(PortOperationsTest, BufferBoundaryAtEachLevel)
{
    add(L"Zephrin:10.1.2.3", "10.1.2.3");
    add(L"Zephrin:10.0.0.9", "10.0.0.9");
    for (DWORD level : {1u, 2u}) {
        DWORD size = neededSize(level);
        std::vector<BYTE> buffer(size + 1, kMarker);
        DWORD needed = 0, returned = 0;
        SetLastError(0);
        EXPECT_FALSE(enumPorts(level, buffer.data(), size - 1, &needed, &returned)) << level;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
        EXPECT_EQ(needed, size);
        for (BYTE b : buffer) ASSERT_EQ(b, kMarker) << "written although too small";
        EXPECT_TRUE(enumPorts(level, buffer.data(), size, &needed, &returned)) << level;
        EXPECT_EQ(returned, 2u);
        EXPECT_EQ(buffer[size], kMarker) << "written past the buffer";
    }
}

TEST_F(PortOperationsTest, Level1PacksStringsFromTheEndInListOrder)
{
    add(L"second", "10.0.0.2");
    add(L"first", "10.0.0.1");
    DWORD size = neededSize(1);
    std::vector<BYTE> buffer(size, kMarker);
    DWORD needed = 0, returned = 0;
    ASSERT_TRUE(enumPorts(1, buffer.data(), size, &needed, &returned));
    auto* info = reinterpret_cast<PORT_INFO_1W*>(buffer.data());
    EXPECT_STREQ(info[0].pName, L"first");
    EXPECT_STREQ(info[1].pName, L"second");
    // The first port's string lies at the very end; the last port's begins right after
    // the fixed entries.
    EXPECT_EQ(reinterpret_cast<BYTE*>(info[0].pName) + 2 * 6, buffer.data() + size);
    EXPECT_EQ(reinterpret_cast<BYTE*>(info[1].pName), buffer.data() + 2 * sizeof(PORT_INFO_1W));
}

TEST_F(PortOperationsTest, Level2CarriesTheLanguageStrings)
{
    add(L"a", "10.0.0.1");
    add(L"b", "10.0.0.2");
    DWORD size = neededSize(2);
    std::vector<BYTE> buffer(size, kMarker);
    DWORD needed = 0, returned = 0;
    ASSERT_TRUE(enumPorts(2, buffer.data(), size, &needed, &returned));
    ASSERT_EQ(returned, 2u);
    auto* info = reinterpret_cast<PORT_INFO_2W*>(buffer.data());
    EXPECT_FALSE(resourceString(10).empty());
    for (DWORD i = 0; i < 2; ++i) {
        EXPECT_EQ(info[i].pMonitorName, resourceString(10));
        EXPECT_EQ(info[i].pDescription, resourceString(11));
        EXPECT_EQ(info[i].fPortType, static_cast<DWORD>(PORT_TYPE_WRITE));
        EXPECT_EQ(info[i].Reserved, 0u);
    }
    EXPECT_STREQ(info[0].pPortName, L"a");
    // Per entry: name, monitor name, description, packed downward.
    EXPECT_LT(info[0].pDescription, info[0].pMonitorName);
    EXPECT_LT(info[0].pMonitorName, info[0].pPortName);
    EXPECT_EQ(reinterpret_cast<BYTE*>(info[1].pDescription), buffer.data() + 2 * sizeof(PORT_INFO_2W));
}

TEST_F(PortOperationsTest, LanguageLibraryWithoutStrings10And11)
{
    add(L"a", "10.0.0.1");
    HMODULE real = languageModule;
    languageModule = LoadLibraryW(LANPORTRES_PARTIAL_DLL_PATH);
    ASSERT_NE(languageModule, nullptr);
    DWORD size = neededSize(2);
    EXPECT_EQ(size, sizeof(PORT_INFO_2W) + 2 * (1 + 3));
    std::vector<BYTE> buffer(size, kMarker);
    DWORD needed = 0, returned = 0;
    EXPECT_TRUE(enumPorts(2, buffer.data(), size, &needed, &returned));
    auto* info = reinterpret_cast<PORT_INFO_2W*>(buffer.data());
    EXPECT_STREQ(info->pMonitorName, L"");
    EXPECT_STREQ(info->pDescription, L"");
    FreeLibrary(languageModule);
    languageModule = real;
}

TEST_F(PortOperationsTest, InvalidLevelWithPorts)
{
    add(L"a", "10.0.0.1");
    std::vector<BYTE> buffer(64, kMarker);
    DWORD needed = 0xdeadbeef, returned = 0xdeadbeef;
    SetLastError(0);
    EXPECT_FALSE(enumPorts(3, buffer.data(), 64, &needed, &returned));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_LEVEL));
    EXPECT_EQ(needed, 0u);
    EXPECT_EQ(returned, 0u);
}

TEST_F(PortOperationsTest, EnumParameterChecks)
{
    add(L"a", "10.0.0.1");
    DWORD needed = 0, returned = 0;
    SetLastError(0);
    EXPECT_FALSE(enumPorts(1, nullptr, 100, nullptr, &returned));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(enumPorts(1, nullptr, 100, &needed, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(enumPorts(1, nullptr, 100, &needed, &returned));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(PortOperationsTest, AccessViolationInEnumPortsIsReportedAndReachesTheCaller)
{
    add(L"a", "10.0.0.1");
    ScratchDirectory scratch;
    WriteFile("lanportm.cfg", "traceon 1");
    ASSERT_TRUE(TraceStart());
    DWORD returned = 0, code = 0;
    bool raised = SehTry([&] {
        enumPorts(1, nullptr, 0, reinterpret_cast<DWORD*>(sizeof(DWORD)), &returned);
    }, &code);
    TraceStop();
    EXPECT_TRUE(raised);
    EXPECT_EQ(code, static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
    std::string log = ReadFile("lanportm.log");
    EXPECT_NE(log.find("EnumPorts: ERROR: Exception occurred, information follows:"), std::string::npos) << log;
    EXPECT_NE(log.find("EnumPorts:          Exception code = c0000005"), std::string::npos);
    // The port list's read hold is still taken: the exception left the operation.
    EXPECT_EQ(portListLock.readerCount, 1u);
}

TEST_F(PortOperationsTest, OpenAndClose)
{
    add(L"Zephrin:10.1.2.3", "10.1.2.3");
    HANDLE handle = nullptr;
    ASSERT_TRUE(monitor->pfnOpenPort(nullptr, const_cast<LPWSTR>(L"zephrin:10.1.2.3"), &handle));
    QelPort* port = FindPortEntryByName(L"Zephrin:10.1.2.3");
    EXPECT_EQ(handle, port);
    EXPECT_TRUE(port->flags & portOpen);
    HANDLE again = nullptr;
    SetLastError(0);
    EXPECT_FALSE(monitor->pfnOpenPort(nullptr, const_cast<LPWSTR>(L"Zephrin:10.1.2.3"), &again));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BUSY));
    EXPECT_TRUE(monitor->pfnClosePort(handle));
    EXPECT_FALSE(port->flags & portOpen);
    EXPECT_TRUE(monitor->pfnClosePort(handle)) << "closing a closed port succeeds";
    EXPECT_TRUE(monitor->pfnOpenPort(nullptr, const_cast<LPWSTR>(L"Zephrin:10.1.2.3"), &again));
    EXPECT_EQ(again, handle);
}

TEST_F(PortOperationsTest, OpenAndCloseRefusals)
{
    add(L"a", "10.0.0.1");
    HANDLE handle = nullptr;
    SetLastError(0);
    EXPECT_FALSE(monitor->pfnOpenPort(nullptr, const_cast<LPWSTR>(L""), &handle));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(monitor->pfnOpenPort(nullptr, nullptr, &handle));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(monitor->pfnOpenPort(nullptr, const_cast<LPWSTR>(L"a"), nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(monitor->pfnOpenPort(nullptr, const_cast<LPWSTR>(L"b"), &handle));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_UNKNOWN_PORT));
    EXPECT_FALSE(monitor->pfnClosePort(nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}
