// Registry store of the port definitions, and the TRX product check.
#include "registry.h"

#include <cstring>

#include "monitor.h"
#include "pmuports.h"
#include "seams.h"
#include "support.h"
#include "trace.h"

CRITICAL_SECTION registryCritSec;

namespace {

constexpr WCHAR kPortsKey[] = L"Ports";
constexpr WCHAR kConfigValue[] = L"configInfo";
constexpr WCHAR kVersionValue[] = L"Version";
constexpr WCHAR kMonitorVersion[] = L"1.00";

// A registry call, unless the test build injects a failure at `point`.
template <class Call>
LONG registryCall(FaultPoint point, Call call)
{
    if (DWORD error = InjectedFault(point)) return static_cast<LONG>(error);
    return call();
}

void traceRoot()
{
    TRACE(TRC_ERROR, "lanportm: pMonRegistryRoot = %d\n",
          static_cast<int>(TraceAddr(pMonRegistryRoot)));
}

class RegistryLock {
public:
    RegistryLock() { EnterCriticalSection(&registryCritSec); }
    ~RegistryLock() { LeaveCriticalSection(&registryCritSec); }
    RegistryLock(const RegistryLock&) = delete;
    RegistryLock& operator=(const RegistryLock&) = delete;
};

// Closes a key on every way out.
class Key {
public:
    Key() = default;
    ~Key()
    {
        if (key_) RegCloseKey(key_);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY* out() { return &key_; }
    operator HKEY() const { return key_; }
    void close()
    {
        if (key_) RegCloseKey(key_);
        key_ = nullptr;
    }

private:
    HKEY key_ = nullptr;
};

// The exit line of a registry operation; a failure leaves its code as the last error.
BOOL finish(const char* operation, LONG rc)
{
    if (rc != ERROR_SUCCESS) SetLastError(static_cast<DWORD>(rc));
    TRACE(TRC_FLOW, "lanportm: Exit  %s %s\n", operation, rc == ERROR_SUCCESS ? "success" : "failure");
    return rc == ERROR_SUCCESS;
}

}  // namespace

BOOL CreatePortsFromRegistry()
{
    TRACE(TRC_FLOW, "lanportm: Entry CreatePortsFromRegistry( )\n");
    InitializeCriticalSection(&registryCritSec);
    LONG rc = ERROR_SUCCESS;
    {
        RegistryLock locked;
        traceRoot();
        LONG versionRc = registryCall(FaultPoint::RegSetVersion, [] {
            return RegSetValueExW(pMonRegistryRoot, kVersionValue, 0, REG_SZ,
                                  reinterpret_cast<const BYTE*>(kMonitorVersion),
                                  sizeof(kMonitorVersion));
        });
        if (versionRc != ERROR_SUCCESS)
            TRACE(TRC_SEVERE,
                  "lanportm: CreatePortsFromRegistry: RegSetValue for Version key failed; rc=%d\n",
                  static_cast<int>(versionRc));

        Key ports;
        rc = registryCall(FaultPoint::RegCreatePorts, [&] {
            return RegCreateKeyExW(pMonRegistryRoot, kPortsKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                   KEY_READ | KEY_WRITE, nullptr, ports.out(), nullptr);
        });
        if (rc != ERROR_SUCCESS) {
            TRACE(TRC_ERROR,
                  "lanportm: CreatePortsFromRegistry: RegCreateKeyEx on Ports key failed; rc=%d\n",
                  static_cast<int>(rc));
        }
        DWORD subkeys = 0, longest = 0;
        if (rc == ERROR_SUCCESS) {
            rc = registryCall(FaultPoint::RegQueryPorts, [&] {
                return RegQueryInfoKeyW(ports, nullptr, nullptr, nullptr, &subkeys, &longest, nullptr,
                                        nullptr, nullptr, nullptr, nullptr, nullptr);
            });
            if (rc != ERROR_SUCCESS)
                TRACE(TRC_ERROR,
                      "lanportm: CreatePortsFromRegistry: RegQueryInfoKey on Ports key failed; rc=%d\n",
                      static_cast<int>(rc));
        }
        if (rc == ERROR_SUCCESS && subkeys > 0) {
            DWORD nameChars = longest + 1;
            auto* name = static_cast<LPWSTR>(AllocSplMem(nameChars * sizeof(WCHAR)));
            if (!name) {
                TRACE(TRC_ERROR, "lanportm: CreatePortsFromRegistry: Memory allocation failed\n");
                rc = ERROR_NOT_ENOUGH_MEMORY;
            } else {
                // A deleted corrupt key shifts the ones after it down: the index then
                // stays, so no port is skipped.
                for (DWORD index = 0, seen = 0; seen < subkeys; ++seen) {
                    DWORD length = nameChars;
                    LONG rc1 = RegEnumKeyExW(ports, index, name, &length, nullptr, nullptr,
                                             nullptr, nullptr);
                    if (rc1 != ERROR_SUCCESS) {
                        TRACE(TRC_SEVERE,
                              "lanportm: CreatePortsFromRegistry: RegEnumKeyEx for port key %ls failed; rc1=%d\n",
                              name, static_cast<int>(rc1));
                        ++index;
                        continue;
                    }
                    Key port;
                    rc1 = RegOpenKeyExW(ports, name, 0, KEY_READ | KEY_WRITE, port.out());
                    if (rc1 != ERROR_SUCCESS) {
                        TRACE(TRC_SEVERE,
                              "lanportm: CreatePortsFromRegistry: RegOpenKeyEx for port key %ls failed; rc1=%d\n",
                              name, static_cast<int>(rc1));
                        ++index;
                        continue;
                    }
                    ConfigInfo config{};
                    DWORD size = sizeof(config);
                    rc1 = RegQueryValueExW(port, kConfigValue, nullptr, nullptr,
                                           reinterpret_cast<BYTE*>(&config), &size);
                    port.close();
                    if (rc1 != ERROR_SUCCESS) {
                        TRACE(TRC_SEVERE,
                              "lanportm: CreatePortsFromRegistry: RegQueryValueEx for port key %ls failed; rc1=%d\n",
                              name, static_cast<int>(rc1));
                        LONG deleted = RegDeleteKeyW(ports, name);
                        if (deleted != ERROR_SUCCESS) {
                            TRACE(TRC_SEVERE,
                                  "lanportm: CreatePortsFromRegistry: Deletion of corrupted key unsuccessful; rc1=%d\n",
                                  static_cast<int>(deleted));
                            ++index;
                        }
                        continue;
                    }
                    CreatePortEntry(name, &config);
                    ++index;
                }
                FreeSplMem(name);
            }
        }
    }
    if (rc != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(rc));
        DeleteAllPortEntries();
        TRACE(TRC_FLOW, "lanportm: Exit  CreatePortsFromRegistry failure\n");
        return FALSE;
    }
    TRACE(TRC_FLOW, "lanportm: Exit  CreatePortsFromRegistry success\n");
    return TRUE;
}

BOOL UpdateRegistryEntry(LPCWSTR portName, const ConfigInfo* config)
{
    TRACE(TRC_FLOW, "lanportm: Entry UpdateRegistryEntry(%ls, %08x)\n", portName, TraceAddr(config));
    RegistryLock locked;
    traceRoot();
    Key ports;
    LONG rc = RegOpenKeyExW(pMonRegistryRoot, kPortsKey, 0, KEY_ALL_ACCESS, ports.out());
    if (rc != ERROR_SUCCESS) {
        TRACE(TRC_ERROR,
              "lanportm: UpdateRegistryEntry: RegOpenKeyEx on Ports key failed; rootKey = %d, rc=%d\n",
              static_cast<int>(TraceAddr(pMonRegistryRoot)), static_cast<int>(rc));
        return finish("UpdateRegistryEntry", rc);
    }
    Key port;
    DWORD disposition = 0;
    rc = RegCreateKeyExW(ports, portName, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE,
                         nullptr, port.out(), &disposition);
    if (rc != ERROR_SUCCESS) {
        TRACE(TRC_ERROR, "lanportm: UpdateRegistryEntry: RegCreateKeyEx on port key %ls failed; rc=%d\n",
              portName, static_cast<int>(rc));
        return finish("UpdateRegistryEntry", rc);
    }
    rc = registryCall(FaultPoint::RegSetConfigInfo, [&] {
        return RegSetValueExW(port, kConfigValue, 0, REG_BINARY,
                              reinterpret_cast<const BYTE*>(config), sizeof(ConfigInfo));
    });
    if (rc != ERROR_SUCCESS) {
        TRACE(TRC_ERROR, "lanportm: UpdateRegistryEntry: RegSetValueEx on port key %ls failed; rc=%d\n",
              portName, static_cast<int>(rc));
        if (disposition == REG_CREATED_NEW_KEY) {
            port.close();
            RegDeleteKeyW(ports, portName);
        }
        return finish("UpdateRegistryEntry", rc);
    }
    return finish("UpdateRegistryEntry", rc);
}

BOOL ReadRegistryEntry(LPCWSTR portName, ConfigInfo* config)
{
    TRACE(TRC_FLOW, "lanportm: Entry ReadRegistryEntry(%ls, %08x)\n", portName, TraceAddr(config));
    RegistryLock locked;
    traceRoot();
    Key ports;
    LONG rc = RegOpenKeyExW(pMonRegistryRoot, kPortsKey, 0, KEY_READ | KEY_WRITE, ports.out());
    if (rc != ERROR_SUCCESS) {
        TRACE(TRC_ERROR, "lanportm: ReadRegistryEntry: RegOpenKeyEx on Ports key failed; rc=%d\n",
              static_cast<int>(rc));
        return finish("ReadRegistryEntry", rc);
    }
    Key port;
    rc = RegOpenKeyExW(ports, portName, 0, KEY_READ | KEY_WRITE, port.out());
    if (rc != ERROR_SUCCESS) {
        TRACE(TRC_ERROR, "lanportm: ReadRegistryEntry: RegOpenKeyEx on port key %ls failed; rc=%d\n",
              portName, static_cast<int>(rc));
        return finish("ReadRegistryEntry", rc);
    }
    // A stored value shorter than the record leaves the rest zero, never the caller's bytes.
    memset(config, 0, sizeof(ConfigInfo));
    DWORD size = sizeof(ConfigInfo);
    rc = RegQueryValueExW(port, kConfigValue, nullptr, nullptr, reinterpret_cast<BYTE*>(config), &size);
    if (rc != ERROR_SUCCESS) {
        TRACE(TRC_ERROR, "lanportm: ReadRegistryEntry: RegQueryValueEx on port key %ls failed; rc=%d\n",
              portName, static_cast<int>(rc));
        return finish("ReadRegistryEntry", rc);
    }
    return finish("ReadRegistryEntry", rc);
}

BOOL DeleteRegistryEntry(LPCWSTR portName)
{
    TRACE(TRC_FLOW, "lanportm: Entry DeleteRegistryEntry(%ls)\n", portName);
    RegistryLock locked;
    traceRoot();
    Key ports;
    LONG rc = RegOpenKeyExW(pMonRegistryRoot, kPortsKey, 0, KEY_READ | KEY_WRITE, ports.out());
    if (rc != ERROR_SUCCESS) {
        TRACE(TRC_ERROR, "lanportm: DeleteRegistryEntry: RegOpenKeyEx on Ports key failed; rc=%d\n",
              static_cast<int>(rc));
        return finish("DeleteRegistryEntry", rc);
    }
    rc = RegDeleteKeyW(ports, portName);
    if (rc != ERROR_SUCCESS) {
        TRACE(TRC_ERROR, "lanportm: DeleteRegistryEntry: RegDeleteKey on port key %ls failed; rc=%d\n",
              portName, static_cast<int>(rc));
        return finish("DeleteRegistryEntry", rc);
    }
    return finish("DeleteRegistryEntry", rc);
}

BOOL CheckRegForTRX()
{
    TRACE(TRC_FLOW, "lanportm: Entry CheckRegForTRX\n");
    bool installed = false;
    Key base;
    LONG rc = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kTrxKeyPath, 0, KEY_READ, base.out());
    if (rc != ERROR_SUCCESS) {
        TRACE(TRC_ERROR, "lanportm: CheckRegForTRX: RegOpenKeyEx on base key '%ls' failed; rc=%d\n",
              kTrxKeyPath, static_cast<int>(rc));
    } else {
        rc = RegQueryValueExW(base, L"Version", nullptr, nullptr, nullptr, nullptr);
        if (rc != ERROR_SUCCESS)
            TRACE(TRC_ERROR, "lanportm: CheckRegForTRX: RegQueryValueEx on value '%ls' failed; rc=%d\n",
                  L"Version", static_cast<int>(rc));
        else installed = true;
    }
    if (installed) TRACE(TRC_FLOW, "lanportm: Exit  CheckRegForTRX; TRX installed\n");
    else TRACE(TRC_FLOW, "lanportm: Exit  CheckRegForTRX; TRX not installed\n");
    return installed;
}
