// Asks the spooler whether any monitor has a port of a given name.
#include <windows.h>
#include <winspool.h>

#include "garbage.h"
#include "seams.h"
#include "spoolerbuffer.h"
#include "support.h"
#include "trace.h"

namespace {

// The list may grow between the sizing call and the listing; after this many listings
// that found the buffer too small, the name counts as unknown to the spooler.
constexpr int kListAttempts = 3;

// The router's EnumPortsW, bound on first use for the life of the monitor. Threads that
// race to bind it each load the library; the first to publish wins, the others unload.
void* volatile routerEnumPorts = nullptr;

EnumPortsRoutine bindRouter(DWORD* error)
{
    if (void* bound = InterlockedCompareExchangePointer(&routerEnumPorts, nullptr, nullptr))
        return reinterpret_cast<EnumPortsRoutine>(bound);
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
    return reinterpret_cast<EnumPortsRoutine>(function);
}

// Whether the listing in `ports` (`size` bytes, `returned` records) names `portName`,
// ignoring case. Only names that lie wholly inside the buffer are compared.
bool listed(const BYTE* ports, DWORD size, DWORD returned, LPCWSTR portName)
{
    const auto* info = reinterpret_cast<const PORT_INFO_1W*>(ports);
    for (DWORD i = 0; i < RecordsWithin<PORT_INFO_1W>(returned, size); ++i) {
        LPCWSTR name = TextWithin<WCHAR>(info[i].pName, ports, size);
        if (name && PortNamesEqual(name, portName)) return true;
    }
    return false;
}

}  // namespace

BOOL PortExists(LPCWSTR serverName, LPCWSTR portName, DWORD* error)
{
    *error = 0;
    EnumPortsRoutine bound = bindRouter(error);
    if (!bound || !portName) return FALSE;
    EnumPortsRoutine enumPorts = RouterEnumPorts(bound);

    LPWSTR server = const_cast<LPWSTR>(serverName);
    DWORD needed = 0, returned = 0;
    if (enumPorts(server, 1, nullptr, 0, &needed, &returned)) return FALSE;
    if (DWORD failure = GetLastError(); failure != ERROR_INSUFFICIENT_BUFFER) {
        TRACE(TRC_ERROR, "lanportm: PortExists: EnumPorts, NULL buffer, failed\n");
        *error = failure;
        return FALSE;
    }
    BOOL found = FALSE;
    for (int attempt = 1; attempt <= kListAttempts; ++attempt) {
        DWORD size = needed;
        auto* ports = static_cast<BYTE*>(AllocSplMem(size));
        if (!ports) {
            TRACE(TRC_ERROR, "lanportm: PortExists: alloc failed\n");
            *error = ERROR_NOT_ENOUGH_MEMORY;
            return FALSE;
        }
        returned = 0;
        bool listedAll = enumPorts(server, 1, ports, size, &needed, &returned);
        DWORD failure = listedAll ? 0 : GetLastError();
        if (listedAll) found = listed(ports, size, returned, portName);
        FreeSplMem(ports);
        if (listedAll) break;
        // Grown since it was sized: size it anew, unless this was the last attempt.
        if (failure != ERROR_INSUFFICIENT_BUFFER || attempt == kListAttempts || needed <= size) {
            TRACE(TRC_ERROR, "lanportm: PortExists: EnumPorts failed\n");
            *error = failure;
            break;
        }
    }
    return found;
}
