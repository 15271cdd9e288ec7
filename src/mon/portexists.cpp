// Asks the spooler whether any monitor has a port of a given name.
#include <windows.h>
#include <winspool.h>

#include "garbage.h"
#include "support.h"
#include "trace.h"

namespace {

using EnumPortsFunction = BOOL(WINAPI*)(LPWSTR, DWORD, LPBYTE, DWORD, LPDWORD, LPDWORD);

// The router's EnumPortsW, bound on first use for the life of the monitor. Threads that
// race to bind it each load the library; the first to publish wins, the others unload.
void* volatile routerEnumPorts = nullptr;

EnumPortsFunction bindRouter(DWORD* error)
{
    if (void* bound = InterlockedCompareExchangePointer(&routerEnumPorts, nullptr, nullptr))
        return reinterpret_cast<EnumPortsFunction>(bound);
    HMODULE module = LoadLibraryW(L"SPOOLSS.DLL");
    if (!module) {
        *error = GetLastError();
        TRACE(TRC_ERROR, "lanportm: PortExists: LoadLibrary failed\n");
        return nullptr;
    }
    void* function = reinterpret_cast<void*>(GetProcAddress(module, "EnumPortsW"));
    if (!function) {
        *error = GetLastError();
        TRACE(TRC_ERROR, "lanportm: PortExists: GetProcAddress failed\n");
        FreeLibrary(module);
        return nullptr;
    }
    if (void* earlier = InterlockedCompareExchangePointer(&routerEnumPorts, function, nullptr)) {
        FreeLibrary(module);
        function = earlier;
    }
    return reinterpret_cast<EnumPortsFunction>(function);
}

}  // namespace

BOOL PortExists(LPCWSTR serverName, LPCWSTR portName, DWORD* error)
{
    *error = 0;
    EnumPortsFunction enumPorts = bindRouter(error);
    if (!enumPorts) return FALSE;

    LPWSTR server = const_cast<LPWSTR>(serverName);
    DWORD needed = 0, returned = 0;
    if (enumPorts(server, 1, nullptr, 0, &needed, &returned)) return FALSE;
    if (DWORD failure = GetLastError(); failure != ERROR_INSUFFICIENT_BUFFER) {
        TRACE(TRC_ERROR, "lanportm: PortExists: EnumPorts, NULL buffer, failed\n");
        *error = failure;
        return FALSE;
    }
    auto* ports = static_cast<PORT_INFO_1W*>(AllocSplMem(needed));
    if (!ports) {
        TRACE(TRC_ERROR, "lanportm: PortExists: alloc failed\n");
        *error = ERROR_NOT_ENOUGH_MEMORY;
        return FALSE;
    }
    BOOL found = FALSE;
    if (!enumPorts(server, 1, reinterpret_cast<LPBYTE>(ports), needed, &needed, &returned)) {
        TRACE(TRC_ERROR, "lanportm: PortExists: EnumPorts failed\n");
        *error = GetLastError();
    } else {
        for (DWORD i = 0; i < returned && !found; ++i)
            found = ports[i].pName && portName && PortNamesEqual(ports[i].pName, portName);
    }
    FreeSplMem(ports);
    return found;
}
