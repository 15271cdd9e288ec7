// The names by which the spooler, the installer, the command-line tool and the tests
// know the monitor and its libraries. Resource scripts and narrow-text code use the
// macros; wide-text code the constants.
#pragma once

// The monitor's registration name: the spooler finds a port's owner by the key
// Monitors\<this name>\Ports\<port name>.
#define LANPORT_MONITOR_NAME "Zephrin TCP/IP Network Port"
#define LANPORT_MONITOR_DLL "lanport.dll"
#define LANPORT_LANGUAGE_DLL "lanportres.dll"
#define LANPORT_UI_DLL "lanportui.dll"
#define LANPORT_CTL_EXE "lanportctl.exe"
// The monitor's key below HKEY_LOCAL_MACHINE.
#define LANPORT_MONITOR_KEY "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\" LANPORT_MONITOR_NAME

#ifndef RC_INVOKED
#include <windows.h>

namespace lanport {

constexpr WCHAR kMonitorName[] = L"" LANPORT_MONITOR_NAME;
constexpr WCHAR kMonitorDll[] = L"" LANPORT_MONITOR_DLL;
constexpr WCHAR kLanguageLibrary[] = L"" LANPORT_LANGUAGE_DLL;
// The UI library the spooler loads for this monitor ("MonitorUI").
constexpr WCHAR kMonitorUiLibrary[] = L"" LANPORT_UI_DLL;
constexpr WCHAR kMonitorKey[] = L"" LANPORT_MONITOR_KEY;
constexpr WCHAR kMonitorPortsKey[] = L"" LANPORT_MONITOR_KEY "\\Ports";

}  // namespace lanport
#endif
