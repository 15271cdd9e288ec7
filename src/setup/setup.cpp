// The installer's entry and main sequence: stop the spooler, copy the staged files into
// the system directory, start the spooler, register the monitor, record the version.
#include "setup.h"

#include <commctrl.h>

#include <cstdlib>

#include "portsbackup.h"
#include "progress.h"
#include "registration.h"

void RunCommand(const char* command)
{
    // The spooler commands report nothing the installation could act on.
    std::system(command);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    // Every orderly exit from here on leaves the clean-up script behind.
    std::atexit(WriteCleanupScript);

    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    CreateProgressWindow(instance);

    bool registered = IsMonitorRegistered();
    if (!CheckInstalledVersion()) return 0;

    RunCommand(kStopSpooler);
    Sleep(1000);

    // Removing the registration takes the monitor's whole key with it where the spooler
    // is still at work (Wine's runs in this process), the administrator's ports included.
    PortsBackup ports = SavePorts();
    if (registered) RemoveMonitorRegistration();

    UpdateFiles();
    RunCommand(kStartSpooler);
    RegisterMonitor();
    RestoreMissingPorts(ports);

    MessageBoxA(nullptr, "Zephrin TCPIP Port Monitor was installed successfully !", kMessageCaption, MB_OK);
    RecordPackageVersion();
    return 0;
}
