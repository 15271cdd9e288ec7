// Keeps the administrator's ports across the re-registration of the monitor. Where the
// spooler deletes the monitor's key along with its registration, the ports would be
// lost; they are read before and the missing ones written back after.
#include "portsbackup.h"

#include "setup.h"

namespace {

// Registry names are at most 255 characters, value names 16383.
constexpr DWORD kMaxKeyName = 256;
constexpr DWORD kMaxValueName = 16384;

bool ReadTree(HKEY key, RegistryTree& tree)
{
    DWORD subkeys = 0, values = 0, maxData = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                         &maxData, nullptr, nullptr) != ERROR_SUCCESS)
        return false;

    std::vector<wchar_t> name(kMaxValueName);
    for (DWORD i = 0; i < values; ++i) {
        RegistryValue value;
        value.data.resize(maxData);
        DWORD nameLength = kMaxValueName, size = maxData;
        if (RegEnumValueW(key, i, name.data(), &nameLength, nullptr, &value.type, value.data.data(), &size) !=
            ERROR_SUCCESS)
            return false;
        value.name.assign(name.data(), nameLength);
        value.data.resize(size);
        tree.values.push_back(std::move(value));
    }
    for (DWORD i = 0; i < subkeys; ++i) {
        DWORD nameLength = kMaxKeyName;
        if (RegEnumKeyExW(key, i, name.data(), &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            return false;
        RegistryTree subtree;
        subtree.name.assign(name.data(), nameLength);
        HKEY subkey;
        if (RegOpenKeyExW(key, subtree.name.c_str(), 0, KEY_READ, &subkey) != ERROR_SUCCESS) return false;
        bool read = ReadTree(subkey, subtree);
        RegCloseKey(subkey);
        if (!read) return false;
        tree.subkeys.push_back(std::move(subtree));
    }
    return true;
}

void WriteTree(HKEY parent, const RegistryTree& tree)
{
    HKEY key;
    if (RegCreateKeyExW(parent, tree.name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return;
    for (const RegistryValue& value : tree.values)
        RegSetValueExW(key, value.name.c_str(), 0, value.type, value.data.data(),
                       static_cast<DWORD>(value.data.size()));
    for (const RegistryTree& subtree : tree.subkeys) WriteTree(key, subtree);
    RegCloseKey(key);
}

}  // namespace

PortsBackup SavePorts()
{
    RegistryTree ports;
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kMonitorPortsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return {};
    // Ports that cannot all be read are not written back in part.
    bool read = ReadTree(key, ports);
    RegCloseKey(key);
    if (!read) return {};
    return std::move(ports.subkeys);
}

void RestoreMissingPorts(const PortsBackup& ports)
{
    if (ports.empty()) return;
    HKEY key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kMonitorPortsKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_READ | KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    for (const RegistryTree& port : ports) {
        HKEY existing;
        if (RegOpenKeyExW(key, port.name.c_str(), 0, KEY_READ, &existing) == ERROR_SUCCESS) {
            RegCloseKey(existing);
            continue;
        }
        WriteTree(key, port);
    }
    RegCloseKey(key);
}
