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

DWORD Address(const char* dotted)
{
    unsigned a = 0, b = 0, c = 0, d = 0;
    sscanf(dotted, "%u.%u.%u.%u", &a, &b, &c, &d);
    return a | b << 8 | c << 16 | d << 24;
}

ConfigInfo DefaultConfig(const char* dotted)
{
    ConfigInfo config{};
    config.timeout = 300;
    config.retryCount = 2;
    wcscpy(config.community, L"kestro_gauge");
    config.monitorFrequency = 2;
    config.monitorLevel = 1;
    config.ipAddress = Address(dotted);
    config.addrFormat = 2;
    return config;
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
