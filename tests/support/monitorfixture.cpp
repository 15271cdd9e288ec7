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
