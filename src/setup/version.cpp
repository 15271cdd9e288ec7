// The installed version under the monitor's key: read before the installation, written
// after it, and put back as it was when the installation fails.
#include "setup.h"

#include <cstring>

#include "messages.h"
#include "setupres.h"

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

VersionCheck CheckInstalledVersion()
{
    char installed[32];
    ReadInstalledVersion(installed);
    static_assert(sizeof(kPackageVersion) == 5, "versions compare over their five bytes");

    VersionCheck result = VersionCheck::Install;
    if (memcmp(installed, kPackageVersion, sizeof(kPackageVersion)) == 0 &&
        !Ask(Text(IDS_REINSTALL), MB_ICONQUESTION, true)) {
        RunCommand(kStartSpooler);
        result = VersionCheck::Declined;
    }
    // memcmp compares as unsigned characters. Quiet, nobody can be asked whether an
    // older version should replace the newer one: the newer one stays.
    if (memcmp(installed, kPackageVersion, sizeof(kPackageVersion)) > 0 &&
        !Ask(Text(IDS_DOWNGRADE), MB_ICONWARNING, false)) {
        RunCommand(kStartSpooler);
        return IsQuiet() ? VersionCheck::NewerKept : VersionCheck::Declined;
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

SavedVersion SaveRecordedVersion()
{
    SavedVersion saved;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kMonitorKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return saved;
    DWORD size = 0;
    if (RegQueryValueExA(key, kVersionValue, nullptr, &saved.type, nullptr, &size) == ERROR_SUCCESS) {
        saved.data.resize(size);
        saved.present = RegQueryValueExA(key, kVersionValue, nullptr, &saved.type, saved.data.data(), &size) ==
                        ERROR_SUCCESS;
        saved.data.resize(size);
    }
    RegCloseKey(key);
    return saved;
}

void RestoreRecordedVersion(const SavedVersion& saved)
{
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kMonitorKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    if (saved.present)
        RegSetValueExA(key, kVersionValue, 0, saved.type, saved.data.data(), static_cast<DWORD>(saved.data.size()));
    else
        RegDeleteValueA(key, kVersionValue);
    RegCloseKey(key);
}
