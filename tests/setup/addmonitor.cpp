// Registers the monitor with the spooler from a process of its own, as an earlier
// installation would have: Wine's spooler runs in its caller's process, and the monitor,
// once loaded, stays loaded and keeps its library files in use.
#include <windows.h>
#include <winspool.h>

#include <cstdio>

int main()
{
    MONITOR_INFO_2W info{};
    info.pName = const_cast<LPWSTR>(L"Zephrin TCP/IP Network Port");
    info.pDLLName = const_cast<LPWSTR>(L"lanport.dll");
    if (!AddMonitorW(nullptr, 2, reinterpret_cast<BYTE*>(&info))) {
        fprintf(stderr, "AddMonitorW failed: %lu\n", GetLastError());
        return 1;
    }
    return 0;
}
