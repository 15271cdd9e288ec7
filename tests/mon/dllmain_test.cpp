// DllMain, InitializePrintMonitor2 and the MONITOR2 table.
#include <gtest/gtest.h>

#include <string>

#include "monitor.h"
#include "monitorfixture.h"
#include "paths.h"
#include "pmuports.h"
#include "registry.h"
#include "test_seams.h"
#include "trace.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved);

using namespace testing_support;

namespace {

HINSTANCE anyModule()
{
    return GetModuleHandleW(nullptr);
}

// The language library is found through PATH, as the spooler's library search would.
void putLanguageLibraryOnPath()
{
    wchar_t path[8192] = L"";
    GetEnvironmentVariableW(L"PATH", path, 8192);
    std::wstring dir = LANPORTRES_DLL_PATH;
    dir.resize(dir.find_last_of(L'\\'));
    SetEnvironmentVariableW(L"PATH", (dir + L";" + path).c_str());
}

}  // namespace

TEST(DllMainTest, AttachLoadsTheLanguageLibraryAndChecksTrx)
{
    ScratchDirectory scratch;
    WriteFile("lanportm.cfg", "traceon 1");
    putLanguageLibraryOnPath();
    ASSERT_TRUE(DllMain(anyModule(), DLL_PROCESS_ATTACH, nullptr));
    EXPECT_NE(languageModule, nullptr);
    TraceStop();
    std::string log = ReadFile("lanportm.log");
    EXPECT_NE(log.find("Entry DllMain("), std::string::npos) << log;
    EXPECT_NE(log.find("Entry CheckRegForTRX"), std::string::npos);
    EXPECT_NE(log.find("Exit  DllMain success"), std::string::npos);
}

TEST(DllMainTest, MissingLanguageLibraryFailsWith1114BeforeAnythingElse)
{
    ScratchDirectory scratch;
    WriteFile("lanportm.cfg", "traceon 1");
    // Other tests install the library into the shared system directory, where the
    // library search would find it: the failure comes from the seam.
    testseams::InjectFault(FaultPoint::LoadLanguage, ERROR_MOD_NOT_FOUND);
    SetLastError(0);
    EXPECT_FALSE(DllMain(anyModule(), DLL_PROCESS_ATTACH, nullptr));
    testseams::Reset();
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DLL_INIT_FAILED));
    TraceStop();
    std::string log = ReadFile("lanportm.log");
    EXPECT_NE(log.find("DllMain: Language DLL load failed. GetLastError()=126"), std::string::npos) << log;
    EXPECT_EQ(log.find("CheckRegForTRX"), std::string::npos) << "attach went on after the failure";
    EXPECT_NE(log.find("Exit  DllMain failure, rc "), std::string::npos);
}

TEST(DllMainTest, OnlyTheFirstCallStartsTheTrace)
{
    ScratchDirectory scratch;
    WriteFile("lanportm.cfg", "traceon 1");
    putLanguageLibraryOnPath();
    ASSERT_TRUE(DllMain(anyModule(), DLL_PROCESS_ATTACH, nullptr));
    TRACE(TRC_FLOW, "lanportm: marker\n");
    ASSERT_TRUE(DllMain(anyModule(), DLL_PROCESS_ATTACH, nullptr));
    EXPECT_FALSE(FileExists("lanportm.bak")) << "the second call rotated the trace";
    TraceStop();
    EXPECT_NE(ReadFile("lanportm.log").find("marker"), std::string::npos);
}

TEST(DllMainTest, NullModuleAndUnknownReasonAre87)
{
    SetLastError(0);
    EXPECT_FALSE(DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(0);
    EXPECT_FALSE(DllMain(anyModule(), 7, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(languageModule, nullptr);
}

TEST(DllMainTest, UncreatableLogFailsTheLoad)
{
    ScratchDirectory scratch;
    WriteFile("lanportm.cfg", "traceon 1 path .\\no\\such\\dir\\");
    SetLastError(0);
    EXPECT_FALSE(DllMain(anyModule(), DLL_PROCESS_ATTACH, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DLL_INIT_FAILED));
}

TEST(InitializeTest, NullRegistryRootIs8)
{
    MONITORINIT init{};
    init.cbSize = sizeof(init);
    HANDLE monitor = nullptr;
    SetLastError(0);
    EXPECT_EQ(InitializePrintMonitor2(&init, &monitor), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
}

TEST(InitializeTest, TheTableSlotBySlot)
{
    RegistryRoot root;
    LPMONITOR2 table = StartMonitor(root.key());
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->cbSize, sizeof(void*) == 8 ? 152u : 76u);
    EXPECT_NE(table->pfnEnumPorts, nullptr);
    EXPECT_NE(table->pfnOpenPort, nullptr);
    EXPECT_EQ(table->pfnOpenPortEx, nullptr);
    EXPECT_NE(table->pfnReadPort, nullptr);
    EXPECT_NE(table->pfnClosePort, nullptr);
    EXPECT_EQ(table->pfnAddPort, nullptr);
    EXPECT_NE(table->pfnAddPortEx, nullptr);
    EXPECT_EQ(table->pfnConfigurePort, nullptr);
    EXPECT_EQ(table->pfnDeletePort, nullptr);
    EXPECT_EQ(table->pfnGetPrinterDataFromPort, nullptr);
    EXPECT_NE(table->pfnSetPortTimeOuts, nullptr);
    EXPECT_NE(table->pfnShutdown, nullptr);
    EXPECT_NE(activeJobsEvent, nullptr);
    EXPECT_NE(jobEndEvent, nullptr);
}

TEST(InitializeTest, DecliningSlotsLeaveTheLastErrorAlone)
{
    RegistryRoot root;
    LPMONITOR2 table = StartMonitor(root.key());
    ASSERT_NE(table, nullptr);
    BYTE buffer[4] = {1, 2, 3, 4};
    DWORD count = 0xdeadbeef;
    SetLastError(1234);
    EXPECT_FALSE(table->pfnReadPort(nullptr, buffer, 4, &count));
    EXPECT_FALSE(table->pfnSetPortTimeOuts(nullptr, nullptr, 0));
    EXPECT_FALSE(table->pfnAddPortEx(nullptr, nullptr, 1, buffer, nullptr));
    EXPECT_EQ(GetLastError(), 1234u);
    EXPECT_EQ(count, 0xdeadbeefu);
    EXPECT_EQ(buffer[0], 1);
    table->pfnShutdown(nullptr);
}

TEST(InitializeTest, SecondInitialisationKeepsThePortsAndTakesTheNewRoot)
{
    RegistryRoot root;
    WritePortKey(root.key(), L"p", DefaultConfig("10.0.0.1"));
    LPMONITOR2 table = StartMonitor(root.key());
    ASSERT_NE(table, nullptr);
    QelPort* port = FindPortEntryByName(L"p");
    // The spooler closes the root it handed in; the monitor keeps working.
    RegistryRoot other;
    HKEY ports;
    ASSERT_EQ(RegCreateKeyW(other.key(), L"Ports", &ports), ERROR_SUCCESS);
    RegCloseKey(ports);
    EXPECT_EQ(StartMonitor(other.key()), table);
    EXPECT_EQ(FindPortEntryByName(L"p"), port);
    EXPECT_EQ(port->next, nullptr);
    ConfigInfo config = DefaultConfig("10.0.0.2");
    ASSERT_TRUE(UpdateRegistryEntry(L"q", &config));
    EXPECT_TRUE(PortKeyExists(other.key(), L"q"));
    EXPECT_FALSE(PortKeyExists(root.key(), L"q"));
}

TEST(InitializeTest, SecondInitialisationOnAnEmptyRootCanStorePorts)
{
    // A spooler that removed and registered the monitor again in the same process.
    RegistryRoot root;
    ASSERT_NE(StartMonitor(root.key()), nullptr);
    RegistryRoot empty;
    ASSERT_NE(StartMonitor(empty.key()), nullptr);
    ConfigInfo config = DefaultConfig("10.0.0.3");
    EXPECT_TRUE(UpdateRegistryEntry(L"r", &config));
    EXPECT_TRUE(PortKeyExists(empty.key(), L"r"));
}

TEST(InitializeTest, TheHandedInRootMayBeClosedAfterwards)
{
    RegistryRoot root;
    HKEY handedIn;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, root.path().c_str(), 0, KEY_ALL_ACCESS, &handedIn), ERROR_SUCCESS);
    ASSERT_NE(StartMonitor(handedIn), nullptr);
    RegCloseKey(handedIn);
    ConfigInfo config = DefaultConfig("10.0.0.2");
    EXPECT_TRUE(UpdateRegistryEntry(L"q", &config));
    EXPECT_TRUE(PortKeyExists(root.key(), L"q"));
}

TEST(InitializeTest, LockFailureFailsInitialisation)
{
    RegistryRoot root;
    testseams::InjectFault(FaultPoint::CreateLockEvent, ERROR_NO_SYSTEM_RESOURCES);
    SetLastError(0);
    EXPECT_EQ(StartMonitor(root.key()), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_SYSTEM_RESOURCES));
    testseams::Reset();
    EXPECT_NE(StartMonitor(root.key()), nullptr) << "a later initialisation may succeed";
}

TEST(InitializeTest, EventFailureAfterThePortsWereLoadedFailsAndReturns)
{
    RegistryRoot root;
    WritePortKey(root.key(), L"Zephrin:10.1.2.3", DefaultConfig("10.1.2.3"));
    WritePortKey(root.key(), L"Zephrin:10.1.2.4", DefaultConfig("10.1.2.4"));
    testseams::InjectFault(FaultPoint::CreateActiveJobsEvent, ERROR_NO_SYSTEM_RESOURCES);
    SetLastError(0);
    EXPECT_EQ(StartMonitor(root.key()), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_SYSTEM_RESOURCES));
    EXPECT_EQ(portList, nullptr);
    testseams::Reset();
    ASSERT_NE(StartMonitor(root.key()), nullptr) << "a later initialisation may succeed";
    EXPECT_NE(FindPortEntryByName(L"Zephrin:10.1.2.4"), nullptr);
}
