// The removal of the monitor: its registration, with its key (the ports and the recorded
// version), and its files in the system directory.
#include "setup.h"

#include <winspool.h>

#include <string>
#include <vector>

#include "messages.h"
#include "registration.h"
#include "setupres.h"
#include "spoolerbuffer.h"

namespace {

// The names of the monitor's ports: the subkeys of its "Ports" key.
std::vector<std::wstring> MonitorPorts()
{
    std::vector<std::wstring> ports;
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kMonitorPortsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return ports;
    wchar_t name[256];  // registry key names are at most 255 characters
    for (DWORD i = 0;; ++i) {
        DWORD length = ARRAYSIZE(name);
        if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        ports.emplace_back(name, length);
    }
    RegCloseKey(key);
    return ports;
}

// Whether `portList` (a printer's ports, separated by commas) names one of `ports`.
bool UsesAny(const wchar_t* portList, const std::vector<std::wstring>& ports)
{
    std::wstring list = portList;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(L',', start);
        if (end == std::wstring::npos) end = list.size();
        std::wstring port = list.substr(start, end - start);
        for (const std::wstring& own : ports)
            if (lstrcmpiW(port.c_str(), own.c_str()) == 0) return true;
        start = end + 1;
    }
    return false;
}

// The local printers that print through one of the monitor's ports, one a line. The
// spooler of Windows refuses to remove a monitor whose ports are in use; Wine's removes
// it all the same, so the installer looks for itself. A list it cannot read counts as
// in use: removing the monitor under a printer is what must not happen.
std::string PrintersOnMonitorPorts()
{
    std::vector<std::wstring> ports = MonitorPorts();
    if (ports.empty()) return {};
    DWORD needed = 0, count = 0;
    EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed);
    if (needed != 0 && !EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, buffer.data(), needed, &needed, &count))
        return "  (the printers cannot be listed: error " + std::to_string(GetLastError()) + ")";
    const auto* printers = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
    DWORD size = static_cast<DWORD>(buffer.size());
    std::string list;
    for (DWORD i = 0; i < RecordsWithin<PRINTER_INFO_2W>(count, size); ++i) {
        const wchar_t* portList = TextWithin<wchar_t>(printers[i].pPortName, buffer.data(), size);
        const wchar_t* name = TextWithin<wchar_t>(printers[i].pPrinterName, buffer.data(), size);
        if (portList && UsesAny(portList, ports)) list += "  " + (name ? Narrow(name) : std::string("?")) + "\n";
    }
    if (!list.empty()) list.pop_back();
    return list;
}

// The monitor's key where the spooler left it behind: the recorded version and the
// ports belong to the monitor and go with it.
void DeleteMonitorKey()
{
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kMonitorKey);
}

// Deletes the package's files from the system directory; false when one stays.
bool DeletePackageFiles()
{
    char systemDir[MAX_PATH] = "";
    GetSystemDirectoryA(systemDir, MAX_PATH);
    bool deleted = true;
    for (const char* name : kPackageFiles) {
        std::string path = std::string(systemDir) + "\\" + name;
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (DeleteFileA(path.c_str())) continue;
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) continue;
        Tell(Text(IDS_REMOVE_ERROR, {path, std::to_string(error)}), kErrorCaption, MB_ICONERROR);
        deleted = false;
    }
    return deleted;
}

}  // namespace

int Uninstall()
{
    if (!Ask(Text(IDS_CONFIRM_REMOVE), MB_ICONQUESTION, true)) return kExitDeclined;

    std::string printers = PrintersOnMonitorPorts();
    if (!printers.empty()) {
        Tell(Text(IDS_PORTS_IN_USE, {printers}), kErrorCaption, MB_ICONERROR);
        return kExitFailed;
    }
    DWORD error = RemoveMonitorRegistration();
    if (error != ERROR_SUCCESS) {
        Tell(Text(IDS_NOT_REMOVED, {std::to_string(error)}), kErrorCaption, MB_ICONERROR);
        return kExitFailed;
    }
    DeleteMonitorKey();

    // The spooler lets go of the libraries it loaded only when it stops.
    RunCommand(kStopSpooler);
    Sleep(1000);
    bool deleted = DeletePackageFiles();
    RunCommand(kStartSpooler);
    if (!deleted) return kExitFailed;

    Tell(Text(IDS_REMOVED), kMessageCaption, MB_OK);
    return kExitSuccess;
}
