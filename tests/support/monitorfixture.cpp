#include "monitorfixture.h"

#include <winsock2.h>

#include <cstdio>

#include "monitor.h"
#include "paths.h"

namespace testing_support {

RegistryRoot::RegistryRoot()
{
    static unsigned counter = 0;
    wchar_t name[128];
    swprintf(name, 128, L"Software\\lanport-tests\\%lu-%u-%lu", GetCurrentProcessId(), ++counter,
             GetTickCount());
    path_ = name;
    RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_,
                    nullptr);
}

RegistryRoot::~RegistryRoot()
{
    if (key_) RegCloseKey(key_);
    DeleteKeyTree(HKEY_CURRENT_USER, path_);
}

void WritePortKey(HKEY root, const std::wstring& name, const ConfigInfo& config, DWORD size)
{
    std::vector<BYTE> bytes(size, 0);
    memcpy(bytes.data(), &config, size < sizeof(config) ? size : sizeof(config));
    HKEY key;
    RegCreateKeyExW(root, (L"Ports\\" + name).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                    nullptr);
    RegSetValueExW(key, L"configInfo", 0, REG_BINARY, bytes.data(), size);
    RegCloseKey(key);
}

void WritePortKeyWithoutConfig(HKEY root, const std::wstring& name)
{
    HKEY key;
    RegCreateKeyExW(root, (L"Ports\\" + name).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                    nullptr);
    RegCloseKey(key);
}

bool PortKeyExists(HKEY root, const std::wstring& name)
{
    HKEY key;
    if (RegOpenKeyExW(root, (L"Ports\\" + name).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

std::vector<std::wstring> PortKeys(HKEY root)
{
    return SubkeyNames(root, L"Ports");
}

LPMONITOR2 StartMonitor(HKEY root)
{
    if (!languageModule) languageModule = LoadLibraryW(LANPORTRES_DLL_PATH);
    MONITORINIT init{};
    init.cbSize = sizeof(init);
    init.hckRegistryRoot = reinterpret_cast<HKEYMONITOR>(root);
    init.bLocal = TRUE;
    HANDLE monitor = nullptr;
    return InitializePrintMonitor2(&init, &monitor);
}

std::wstring Wide(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

}  // namespace testing_support
