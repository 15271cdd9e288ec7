// Common ground of the UI library's tests (see uifixture.h).
#include "uifixture.h"

#include <gtest/gtest.h>

#include "installedmonitor.h"
#include "paths.h"
#include "portkeys.h"
#include "uipaths.h"

namespace ui_testing {

const wchar_t kScriptedMonitor[] = L"Scripted Test Monitor";

bool registerMonitor(const wchar_t* monitor, const wchar_t* dll)
{
    const std::wstring scripted = testing_support::SystemFile(L"scriptedmon.dll");
    // A DLL still loaded from an earlier registration is the same build.
    if (DWORD error = testing_support::CopyPackageFiles(true)) {
        ADD_FAILURE() << "cannot copy the package's libraries: " << error;
        return false;
    }
    if (!CopyFileW(SCRIPTEDMON_DLL_PATH, scripted.c_str(), FALSE) &&
        GetFileAttributesW(scripted.c_str()) == INVALID_FILE_ATTRIBUTES) {
        ADD_FAILURE() << "cannot copy scriptedmon.dll";
        return false;
    }
    if (DWORD error = testing_support::RegisterMonitor(monitor, dll)) {
        ADD_FAILURE() << "AddMonitorW failed: " << error;
        return false;
    }
    return true;
}

void unregisterMonitor(const wchar_t* monitor)
{
    DeleteMonitorW(nullptr, nullptr, const_cast<LPWSTR>(monitor));
}

void writePort(const wchar_t* monitor, const std::wstring& name, const ConfigInfo& config)
{
    testing_support::InstalledMonitorKey key(monitor);
    testing_support::WritePortKey(key.key(), name, config);
    ASSERT_TRUE(testing_support::PortKeyExists(key.key(), name)) << narrow(name);
}

bool readPort(const wchar_t* monitor, const std::wstring& name, ConfigInfo* config)
{
    DWORD size = 0;
    return testing_support::ReadPortConfig(testing_support::InstalledMonitorKey(monitor).key(), name, config, &size) &&
           size == sizeof *config;
}

bool portKeyExists(const wchar_t* monitor, const std::wstring& name)
{
    return testing_support::PortKeyExists(testing_support::InstalledMonitorKey(monitor).key(), name);
}

void deletePortKey(const wchar_t* monitor, const std::wstring& name)
{
    RegDeleteKeyW(testing_support::InstalledMonitorKey(monitor).key(), (L"Ports\\" + name).c_str());
}

UiLibrary::UiLibrary() : module_(LoadLibraryW(LANPORTUI_DLL_PATH)), table_(nullptr)
{
    EXPECT_NE(module_, nullptr) << GetLastError();
    if (!module_) return;
    auto initialize = procOf<PMONITORUI(WINAPI*)()>(module_, "InitializePrintMonitorUI");
    EXPECT_NE(initialize, nullptr);
    if (initialize) table_ = initialize();
}

UiLibrary::~UiLibrary()
{
    if (module_) FreeLibrary(module_);
}

OwnerWindow::OwnerWindow()
    : hwnd_(CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr, nullptr,
                            nullptr))
{
    EXPECT_NE(hwnd_, nullptr);
}

OwnerWindow::~OwnerWindow()
{
    DestroyWindow(hwnd_);
}

std::wstring uiText(UINT id)
{
    HMODULE module = LoadLibraryExW(LANPORTUI_DLL_PATH, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    wchar_t text[600] = L"";
    LoadStringW(module, id, text, 600);
    FreeLibrary(module);
    return text;
}

int cursorShowCount()
{
    ShowCursor(TRUE);
    return ShowCursor(FALSE);
}

}  // namespace ui_testing
