// The installed version under the monitor's key: read before the installation, written
// after it.
#include "setup.h"

#include <cstring>

namespace {

// The recorded version, or "0.00" where none is recorded. Only its first five bytes
// are compared, so a value that fills the whole buffer needs no terminator.
void ReadInstalledVersion(char (&version)[32])
{
    memset(version, 0, sizeof(version));
    HKEY key;
    LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kMonitorKey, 0, KEY_READ, &key);
    if (rc == ERROR_SUCCESS) {
        DWORD size = sizeof(version);
        rc = RegQueryValueExA(key, kVersionValue, nullptr, nullptr, reinterpret_cast<BYTE*>(version), &size);
        RegCloseKey(key);
    }
    if (rc != ERROR_SUCCESS) {
        memset(version, 0, sizeof(version));
        memcpy(version, kNoVersion, sizeof(kNoVersion));
    }
}

}  // namespace

int CheckInstalledVersion()
{
    char installed[32];
    ReadInstalledVersion(installed);
    static_assert(sizeof(kPackageVersion) == 5, "versions compare over their five bytes");

    int result = 1;
    if (memcmp(installed, kPackageVersion, sizeof(kPackageVersion)) == 0) {
        int answer = MessageBoxA(nullptr,
                                 "Zephrin TCPIP Port Monitor was already installed !\n"
                                 "      Do you want to reinstall it?",
                                 kMessageCaption, MB_YESNO | MB_ICONQUESTION);
        if (answer == IDNO) {
            RunCommand(kStartSpooler);
            result = 0;
        }
    }
    // memcmp compares as unsigned characters.
    if (memcmp(installed, kPackageVersion, sizeof(kPackageVersion)) > 0) {
        int answer = MessageBoxA(nullptr,
                                 "A newer Zephrin TCPIP PortMonitor is already installed on your system !\n\r"
                                 "  Do you really want to downgrade your existent version ?",
                                 kMessageCaption, MB_YESNO | MB_ICONWARNING);
        if (answer == IDNO) {
            RunCommand(kStartSpooler);
            return 0;
        }
    }
    return result;
}

void RecordPackageVersion()
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kMonitorKey, 0, KEY_WRITE, &key) != ERROR_SUCCESS) return;
    RegDeleteValueA(key, kVersionValue);
    RegSetValueExA(key, kVersionValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(kPackageVersion),
                   sizeof(kPackageVersion));
    RegCloseKey(key);
}
