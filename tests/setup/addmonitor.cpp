// Registers the monitor with the spooler from a process of its own, as an earlier
// installation would have: Wine's spooler runs in its caller's process, and the monitor,
// once loaded, stays loaded and keeps its library files in use.
#include <windows.h>

#include <cstdio>

#include "installedmonitor.h"

int main()
{
    DWORD error = testing_support::RegisterMonitor();
    if (error != ERROR_SUCCESS) {
        fprintf(stderr, "AddMonitorW failed: %lu\n", error);
        return 1;
    }
    return 0;
}
