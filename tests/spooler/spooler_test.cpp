// The shipped lanport.dll as Wine's spooler loads it: registered with AddMonitorW, its
// ports listed through winspool's EnumPortsW.
#include <gtest/gtest.h>

#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

#include <algorithm>
#include <string>
#include <vector>

#include "monitor2.h"
#include "installedmonitor.h"
#include "paths.h"
#include "portconfig.h"
#include "portkeys.h"

namespace {

using lanport::kMonitorName;
using namespace testing_support;

std::wstring resourceString(UINT id)
{
    HMODULE res = LoadLibraryExW(LANPORTRES_DLL_PATH, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    wchar_t text[600] = L"";
    LoadStringW(res, id, text, 600);
    FreeLibrary(res);
    return text;
}

std::vector<BYTE> enumPorts(DWORD level, DWORD* count)
{
    DWORD needed = 0;
    *count = 0;
    EnumPortsW(nullptr, level, nullptr, 0, &needed, count);
    std::vector<BYTE> buffer(needed);
    EXPECT_TRUE(EnumPortsW(nullptr, level, buffer.data(), needed, &needed, count)) << GetLastError();
    return buffer;
}

bool monitorListed()
{
    DWORD needed = 0, count = 0;
    EnumMonitorsW(nullptr, 2, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed);
    if (!EnumMonitorsW(nullptr, 2, buffer.data(), needed, &needed, &count)) return false;
    auto* info = reinterpret_cast<MONITOR_INFO_2W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i)
        if (std::wstring(info[i].pName) == kMonitorName) {
            EXPECT_EQ(_wcsicmp(info[i].pDLLName, lanport::kMonitorDll), 0);
            return true;
        }
    return false;
}

class SpoolerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(CopyPackageFiles(), static_cast<DWORD>(ERROR_SUCCESS));
        ForgetMonitor();
        // The monitor reads its ports once, when it starts; an installer may define
        // them before it registers the monitor.
        InstalledMonitorKey monitorKey;
        WritePortKey(monitorKey.key(), L"Zephrin:10.0.0.2", DefaultConfig("10.0.0.2"));
        WritePortKey(monitorKey.key(), L"Zephrin:10.0.1.1", DefaultConfig("10.0.1.1"));
        ASSERT_EQ(RegisterMonitor(), static_cast<DWORD>(ERROR_SUCCESS));
    }
    void TearDown() override { ForgetMonitor(); }
};

}  // namespace

TEST_F(SpoolerTest, RegisteredMonitorListsItsPortsAndGoesAway)
{
    EXPECT_TRUE(monitorListed());

    // Wine's spooler loads and frees the monitor around each call.
    for (int round = 0; round < 3; ++round) {
        DWORD count = 0;
        std::vector<BYTE> level1 = enumPorts(1, &count);
        std::vector<std::wstring> names;
        auto* info1 = reinterpret_cast<PORT_INFO_1W*>(level1.data());
        for (DWORD i = 0; i < count; ++i) names.push_back(info1[i].pName);
        EXPECT_NE(std::find(names.begin(), names.end(), L"Zephrin:10.0.0.2"), names.end()) << round;
        EXPECT_NE(std::find(names.begin(), names.end(), L"Zephrin:10.0.1.1"), names.end()) << round;

        std::vector<BYTE> level2 = enumPorts(2, &count);
        auto* info2 = reinterpret_cast<PORT_INFO_2W*>(level2.data());
        int ours = 0;
        for (DWORD i = 0; i < count; ++i) {
            if (wcsncmp(info2[i].pPortName, L"Zephrin:", 8) != 0) continue;
            ++ours;
            EXPECT_EQ(info2[i].pMonitorName, resourceString(10));
            EXPECT_EQ(info2[i].pDescription, resourceString(11));
            EXPECT_EQ(info2[i].fPortType, static_cast<DWORD>(PORT_TYPE_WRITE));
        }
        EXPECT_EQ(ours, 2) << round;
    }

    ASSERT_TRUE(DeleteMonitorW(nullptr, nullptr, const_cast<LPWSTR>(kMonitorName)));
    EXPECT_FALSE(monitorListed());
}

TEST(ShippedDllTest, InitializesOnARealRegistryKey)
{
    std::wstring dir = LANPORTRES_DLL_PATH;
    dir.resize(dir.find_last_of(L'\\'));
    wchar_t path[8192] = L"";
    GetEnvironmentVariableW(L"PATH", path, 8192);
    SetEnvironmentVariableW(L"PATH", (dir + L";" + path).c_str());

    HKEY root;
    const wchar_t* rootPath = L"Software\\lanport-tests\\shipped-dll";
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, rootPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &root,
                              nullptr),
              ERROR_SUCCESS);
    HMODULE dll = LoadLibraryW(LANPORT_DLL_PATH);
    ASSERT_NE(dll, nullptr) << GetLastError();
    using Init = LPMONITOR2(WINAPI*)(PMONITORINIT, PHANDLE);
    auto init = reinterpret_cast<Init>(reinterpret_cast<void*>(GetProcAddress(dll, "InitializePrintMonitor2")));
    ASSERT_NE(init, nullptr) << "exported undecorated";
    MONITORINIT monitorInit{};
    monitorInit.cbSize = sizeof(monitorInit);
    monitorInit.hckRegistryRoot = root;
    HANDLE handle = nullptr;
    LPMONITOR2 table = init(&monitorInit, &handle);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->cbSize, kMonitor2Size);
    DWORD needed = 1, count = 1;
    EXPECT_TRUE(table->pfnEnumPorts(nullptr, nullptr, 1, nullptr, 0, &needed, &count));
    EXPECT_EQ(needed, 0u);
    wchar_t version[16] = L"";
    DWORD size = sizeof(version);
    EXPECT_EQ(RegQueryValueExW(root, L"Version", nullptr, nullptr, reinterpret_cast<BYTE*>(version), &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(version, L"1.00");
    RegCloseKey(root);
}
