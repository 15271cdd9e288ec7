// Common ground of the UI library's tests (see uifixture.h).
#include "uifixture.h"

#include <gtest/gtest.h>

#include "paths.h"
#include "uipaths.h"

namespace ui_testing {

const wchar_t kScriptedMonitor[] = L"Scripted Test Monitor";

std::wstring systemFile(const wchar_t* name)
{
    wchar_t dir[MAX_PATH];
    GetSystemDirectoryW(dir, MAX_PATH);
    return std::wstring(dir) + L"\\" + name;
}

std::wstring portsKey(const wchar_t* monitor)
{
    return std::wstring(L"System\\CurrentControlSet\\Control\\Print\\Monitors\\") + monitor + L"\\Ports";
}

bool registerMonitor(const wchar_t* monitor, const wchar_t* dll)
{
    const std::pair<const wchar_t*, const wchar_t*> files[] = {
        {LANPORT_DLL_PATH, lanport::kMonitorDll},
        {LANPORTRES_DLL_PATH, lanport::kLanguageLibrary},
        {LANPORTUI_DLL_PATH, lanport::kMonitorUiLibrary},
        {SCRIPTEDMON_DLL_PATH, L"scriptedmon.dll"},
    };
    for (const auto& [from, to] : files) {
        // A DLL still loaded from an earlier registration is the same build.
        if (!CopyFileW(from, systemFile(to).c_str(), FALSE) && GetFileAttributesW(systemFile(to).c_str()) ==
                                                                    INVALID_FILE_ATTRIBUTES) {
            ADD_FAILURE() << "cannot copy " << narrow(to);
            return false;
        }
    }
    MONITOR_INFO_2W info{};
    info.pName = const_cast<LPWSTR>(monitor);
    info.pDLLName = const_cast<LPWSTR>(dll);
    if (!AddMonitorW(nullptr, 2, reinterpret_cast<BYTE*>(&info))) {
        ADD_FAILURE() << "AddMonitorW failed: " << GetLastError();
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
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, (portsKey(monitor) + L"\\" + name).c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, L"configInfo", 0, REG_BINARY, reinterpret_cast<const BYTE*>(&config), sizeof config);
    RegCloseKey(key);
}

bool readPort(const wchar_t* monitor, const std::wstring& name, ConfigInfo* config)
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, (portsKey(monitor) + L"\\" + name).c_str(), 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return false;
    DWORD size = sizeof *config, type = 0;
    LONG status = RegQueryValueExW(key, L"configInfo", nullptr, &type, reinterpret_cast<BYTE*>(config), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS && type == REG_BINARY && size == sizeof *config;
}

bool portKeyExists(const wchar_t* monitor, const std::wstring& name)
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, (portsKey(monitor) + L"\\" + name).c_str(), 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

void deletePortKey(const wchar_t* monitor, const std::wstring& name)
{
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, (portsKey(monitor) + L"\\" + name).c_str());
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
