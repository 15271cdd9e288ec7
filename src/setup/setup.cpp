// The installer's entry and its main sequence: stop the spooler, copy the staged files
// into the system directory, start the spooler, register the monitor, record the version.
#include "setup.h"

#include <commctrl.h>

#include <cstdlib>

#include "commandline.h"
#include "filecopy.h"
#include "messages.h"
#include "portsbackup.h"
#include "progress.h"
#include "registration.h"
#include "setupres.h"

namespace {

// After a failed copy: the spooler gets back what it had (the earlier installation's
// registration, its ports and its recorded version), and the staging directory stays.
int FailedInstallation(bool wasRegistered, const PortsBackup& ports, const SavedVersion& version)
{
    KeepStagingDirectory();
    if (wasRegistered) {
        RegisterMonitor();
        RestoreMissingPorts(ports);
        // The monitor records a version of its own when the spooler loads it.
        RestoreRecordedVersion(version);
    }
    Tell(Text(IDS_NOT_INSTALLED, {kStagingDir}), kErrorCaption, MB_ICONERROR);
    return kExitFailed;
}

int Install(HINSTANCE instance)
{
    // Without the package there is nothing to install, and nothing is touched: the
    // spooler keeps running and the clean-up script is not written.
    if (!StagingHoldsMonitor()) {
        Tell(Text(IDS_NO_STAGING, {kStagingDir, kMonitorDll}), kErrorCaption, MB_ICONERROR);
        return kExitFailed;
    }
    // Every orderly exit from here on leaves the clean-up script behind.
    std::atexit(WriteCleanupScript);

    if (!IsQuiet()) {
        INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&controls);
        CreateProgressWindow(instance);
    }

    bool registered = IsMonitorRegistered();
    switch (CheckInstalledVersion()) {
    case VersionCheck::Install: break;
    case VersionCheck::Declined: return kExitDeclined;
    case VersionCheck::NewerKept: return kExitNewerInstalled;
    }

    RunCommand(kStopSpooler);
    Sleep(1000);

    // Removing the registration takes the monitor's whole key with it where the spooler
    // is still at work (Wine's runs in this process), the administrator's ports included.
    PortsBackup ports = SavePorts();
    SavedVersion version = SaveRecordedVersion();
    if (registered) RemoveMonitorRegistration();

    bool copied = UpdateFiles();
    RunCommand(kStartSpooler);
    if (!copied) return FailedInstallation(registered, ports, version);

    DWORD error = RegisterMonitor();
    RestoreMissingPorts(ports);
    if (error != ERROR_SUCCESS) {
        Tell(Text(IDS_NOT_REGISTERED, {std::to_string(error)}), kErrorCaption, MB_ICONERROR);
        return kExitFailed;
    }

    Tell(Text(IDS_INSTALLED), kMessageCaption, MB_OK);
    RecordPackageVersion();
    return kExitSuccess;
}

}  // namespace

void RunCommand(const char* command)
{
    // The spooler commands report nothing the installation could act on.
    std::system(command);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    SetupOptions options = ParseCommandLine(GetCommandLineW());
    SetQuiet(options.quiet);
    if (!options.understood) {
        Tell(Text(IDS_USAGE, {options.unknown}), kErrorCaption, MB_ICONERROR);
        return kExitUsage;
    }
    return options.uninstall ? Uninstall() : Install(instance);
}
