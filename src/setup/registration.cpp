// The monitor's registration with the spooler, through the spooler's ANSI interface.
#include "registration.h"

#include <windows.h>
#include <winspool.h>

#include <vector>

#include "setup.h"
#include "spoolerbuffer.h"

bool IsMonitorRegistered()
{
    DWORD needed = 0, count = 0;
    EnumMonitorsA(nullptr, 2, nullptr, 0, &needed, &count);
    if (needed == 0) return false;
    std::vector<BYTE> buffer(needed);
    if (!EnumMonitorsA(nullptr, 2, buffer.data(), needed, &needed, &count)) return false;
    const auto* monitors = reinterpret_cast<const MONITOR_INFO_2A*>(buffer.data());
    DWORD size = static_cast<DWORD>(buffer.size());
    for (DWORD i = 0; i < RecordsWithin<MONITOR_INFO_2A>(count, size); ++i) {
        LPCSTR name = TextWithin<char>(monitors[i].pName, buffer.data(), size);
        if (name && lstrcmpiA(name, kMonitorName) == 0) return true;
    }
    return false;
}

DWORD RemoveMonitorRegistration()
{
    if (DeleteMonitorA(nullptr, nullptr, const_cast<LPSTR>(kMonitorName))) return ERROR_SUCCESS;
    DWORD error = GetLastError();
    return error == ERROR_UNKNOWN_PRINT_MONITOR ? ERROR_SUCCESS : error;
}

DWORD RegisterMonitor()
{
    MONITOR_INFO_2A info{};
    info.pName = const_cast<LPSTR>(kMonitorName);
    info.pEnvironment = nullptr;
    info.pDLLName = const_cast<LPSTR>(kMonitorDll);
    SetLastError(0);
    if (AddMonitorA(nullptr, 2, reinterpret_cast<BYTE*>(&info))) return ERROR_SUCCESS;
    DWORD error = GetLastError();
    // A registration the spooler kept (it refused to remove it) names the same library.
    return error == ERROR_PRINT_MONITOR_ALREADY_INSTALLED ? ERROR_SUCCESS : error;
}
