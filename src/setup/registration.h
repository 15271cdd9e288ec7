// The monitor's registration with the spooler.
#pragma once

#include <windows.h>

// Whether the spooler lists a monitor of this name (compared ignoring case).
bool IsMonitorRegistered();

// Removes the monitor's registration: 0, or the spooler's error. A monitor that is not
// registered counts as removed.
DWORD RemoveMonitorRegistration();

// Registers the monitor's library under the monitor's name: 0, or the spooler's error.
DWORD RegisterMonitor();
