#include "portkeys.h"

#include <cstring>

#include "registrytree.h"

namespace testing_support {

void WritePortKey(HKEY root, const std::wstring& name, const ConfigInfo& config, DWORD size)
{
    std::vector<BYTE> bytes(size, 0);
    memcpy(bytes.data(), &config, size < sizeof(config) ? size : sizeof(config));
    HKEY key;
    if (RegCreateKeyExW(root, (L"Ports\\" + name).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExW(key, L"configInfo", 0, REG_BINARY, bytes.data(), size);
    RegCloseKey(key);
}

void WritePortKeyWithoutConfig(HKEY root, const std::wstring& name)
{
    HKEY key;
    if (RegCreateKeyExW(root, (L"Ports\\" + name).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) == ERROR_SUCCESS)
        RegCloseKey(key);
}

bool PortKeyExists(HKEY root, const std::wstring& name)
{
    HKEY key;
    if (RegOpenKeyExW(root, (L"Ports\\" + name).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

std::vector<std::wstring> PortKeys(HKEY root)
{
    return SubkeyNames(root, L"Ports");
}

bool ReadPortConfig(HKEY root, const std::wstring& name, ConfigInfo* config, DWORD* size)
{
    memset(config, 0xCD, sizeof *config);
    HKEY key;
    if (RegOpenKeyExW(root, (L"Ports\\" + name).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    DWORD bytes = sizeof *config, type = 0;
    LONG rc = RegQueryValueExW(key, L"configInfo", nullptr, &type, reinterpret_cast<BYTE*>(config), &bytes);
    RegCloseKey(key);
    if (size) *size = bytes;
    return rc == ERROR_SUCCESS && type == REG_BINARY;
}

}  // namespace testing_support
