// The monitor's registration with the spooler.
#pragma once

// Whether the spooler lists a monitor of this name (compared ignoring case).
bool IsMonitorRegistered();

// Removes the monitor's registration; a failure changes nothing the installer does.
void RemoveMonitorRegistration();

// Registers the monitor's library under the monitor's name; a failure is not reported.
void RegisterMonitor();
