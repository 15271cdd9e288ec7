// The installer's constants and the operations its main sequences are made of.
#pragma once

#include <windows.h>

#include <vector>

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

// The package's files as they lie in the system directory once installed: what removal
// deletes. Files an administrator added to the staging tree are not the package's.
constexpr const char* kPackageFiles[] = {
    LANPORT_MONITOR_DLL,
    LANPORT_UI_DLL,
    LANPORT_LANGUAGE_DLL,
    LANPORT_CTL_EXE,
};

// Exit codes, those that software deployment tools read from installers.
constexpr int kExitSuccess = ERROR_SUCCESS;                // 0
constexpr int kExitDeclined = ERROR_INSTALL_USEREXIT;      // 1602: the user answered No
constexpr int kExitFailed = ERROR_INSTALL_FAILURE;         // 1603: nothing or not all done
constexpr int kExitNewerInstalled = ERROR_PRODUCT_VERSION; // 1638: quiet, a newer version stays
constexpr int kExitUsage = ERROR_INVALID_PARAMETER;        // 87: unknown command-line switch

// Caption of the installer's questions and of its success message.
constexpr char kMessageCaption[] = "Zephrin TCPIP Port Monitor";
// Caption of the error messages (the progress window's title).
constexpr char kErrorCaption[] = "Zephrin TCP/IP Port Monitor";

// Runs a command line through the command interpreter and waits for it to end.
void RunCommand(const char* command);

// What the installed version and the user's answer make of the installation.
enum class VersionCheck { Install, Declined, NewerKept };

// Reads the installed version and asks the user where it is this or a newer one. Quiet,
// this version is reinstalled and a newer one is kept.
VersionCheck CheckInstalledVersion();

// Records this package's version under the monitor's key.
void RecordPackageVersion();

// The "Version" value as it was before the installation changed anything, to be put
// back when the installation fails.
struct SavedVersion {
    bool present = false;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};
SavedVersion SaveRecordedVersion();
void RestoreRecordedVersion(const SavedVersion& saved);

// The clean-up script that removes the staging directory once the program has ended.
void WriteCleanupScript();
// After a failed installation the staging directory stays for the next attempt: the
// clean-up script is not written.
void KeepStagingDirectory();

// The removal of the monitor, its files and its registry key; returns the exit code.
int Uninstall();
