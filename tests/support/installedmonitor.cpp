#include "installedmonitor.h"

#include <winspool.h>

#include <span>

#include "paths.h"
#include "registrytree.h"

namespace testing_support {

namespace {

std::wstring MonitorKeyPath(const wchar_t* monitor)
{
    return std::wstring(L"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\") + monitor;
}

}  // namespace

std::wstring SystemFile(const wchar_t* name)
{
    wchar_t dir[MAX_PATH] = L"";
    GetSystemDirectoryW(dir, MAX_PATH);
    return std::wstring(dir) + L"\\" + name;
}

DWORD CopyPackageFiles(bool withUi)
{
    const std::pair<const wchar_t*, const wchar_t*> files[] = {
        {LANPORT_DLL_PATH, lanport::kMonitorDll},
        {LANPORTRES_DLL_PATH, lanport::kLanguageLibrary},
        {LANPORTUI_DLL_PATH, lanport::kMonitorUiLibrary},
    };
    for (const auto& [from, to] : std::span(files).first(withUi ? 3 : 2)) {
        const std::wstring target = SystemFile(to);
        if (CopyFileW(from, target.c_str(), FALSE)) continue;
        DWORD error = GetLastError();
        if (GetFileAttributesW(target.c_str()) == INVALID_FILE_ATTRIBUTES) return error;
    }
    return ERROR_SUCCESS;
}

void ForgetMonitor(const wchar_t* monitor)
{
    DeleteMonitorW(nullptr, nullptr, const_cast<LPWSTR>(monitor));
    DeleteKeyTree(HKEY_LOCAL_MACHINE, MonitorKeyPath(monitor));
}

DWORD RegisterMonitor(const wchar_t* monitor, const wchar_t* dll)
{
    MONITOR_INFO_2W info{};
    info.pName = const_cast<LPWSTR>(monitor);
    info.pDLLName = const_cast<LPWSTR>(dll);
    return AddMonitorW(nullptr, 2, reinterpret_cast<BYTE*>(&info)) ? ERROR_SUCCESS : GetLastError();
}

InstalledMonitorKey::InstalledMonitorKey(const wchar_t* monitor)
{
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, MonitorKeyPath(monitor).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                    &key_, nullptr);
}

InstalledMonitorKey::~InstalledMonitorKey()
{
    if (key_) RegCloseKey(key_);
}

bool SpoolerPortNames(std::vector<std::wstring>* names)
{
    names->clear();
    DWORD needed = 0, count = 0;
    EnumPortsW(nullptr, 1, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed);
    if (!EnumPortsW(nullptr, 1, buffer.data(), needed, &needed, &count)) return false;
    const auto* info = reinterpret_cast<const PORT_INFO_1W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) names->push_back(info[i].pName ? info[i].pName : L"");
    return true;
}

}  // namespace testing_support
