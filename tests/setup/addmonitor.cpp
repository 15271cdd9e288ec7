// Registers the monitor with the spooler from a process of its own, as an earlier
// installation would have: Wine's spooler runs in its caller's process, and the monitor,
// once loaded, stays loaded and keeps its library files in use.
#include <windows.h>
#include <winspool.h>

#include <cstdio>

#include "names.h"

int main()
{
    MONITOR_INFO_2W info{};
    info.pName = const_cast<LPWSTR>(lanport::kMonitorName);
    info.pDLLName = const_cast<LPWSTR>(lanport::kMonitorDll);
    if (!AddMonitorW(nullptr, 2, reinterpret_cast<BYTE*>(&info))) {
        fprintf(stderr, "AddMonitorW failed: %lu\n", GetLastError());
        return 1;
    }
    return 0;
}
