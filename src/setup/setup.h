// The installer's constants and the operations its main sequence is made of.
#pragma once

#include <windows.h>

#include "names.h"

constexpr char kMonitorName[] = LANPORT_MONITOR_NAME;
constexpr char kMonitorDll[] = LANPORT_MONITOR_DLL;
// The monitor's key under HKEY_LOCAL_MACHINE, and its port definitions.
constexpr char kMonitorKey[] = LANPORT_MONITOR_KEY;
using lanport::kMonitorPortsKey;
constexpr char kVersionValue[] = "Version";
constexpr char kPackageVersion[] = "1.02";
constexpr char kNoVersion[] = "0.00";
constexpr char kStagingDir[] = "c:\\temp\\pmon";
constexpr char kCleanupScriptName[] = "_uninsep.bat";
constexpr char kStopSpooler[] = "net stop spooler";
constexpr char kStartSpooler[] = "net start spooler";

// Caption of the installer's questions and of its success message.
constexpr char kMessageCaption[] = "Zephrin TCPIP Port Monitor";
// Caption of the copy error message (the progress window's title).
constexpr char kErrorCaption[] = "Zephrin TCP/IP Port Monitor";

// Runs a command line through the command interpreter and waits for it to end.
void RunCommand(const char* command);

// Reads the installed version and asks the user where it is this or a newer one:
// non-zero to go on with the installation, 0 to stop.
int CheckInstalledVersion();

// Records this package's version under the monitor's key.
void RecordPackageVersion();

// The two-step progress display and the copy of the staging tree.
void UpdateFiles();

// The clean-up script that removes the staging directory once the program has ended.
void WriteCleanupScript();
