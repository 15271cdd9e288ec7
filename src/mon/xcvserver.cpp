// The XCV entry points, the command table, and the "MonitorUI" and "DeletePort" commands.
#include "xcvserver.h"

#include <cwchar>

#include "pmuports.h"
#include "portadmin.h"
#include "portstatus.h"
#include "registry.h"
#include "sehguard.h"
#include "support.h"
#include "trace.h"

namespace {

struct XcvCommand {
    LPCWSTR name;
    XcvServerRoutine server;
};

// Matched in this order, by exact (case-sensitive) comparison.
constexpr XcvCommand kXcvCommands[] = {
    {L"MonitorUI",     MonitorUIServer},
    {L"AddPort",       AddPortServer},
    {L"DeletePort",    DeletePortServer},
    {L"VerPortAddr",   VerifyPortAddrServer},
    {L"VerPortName",   VerifyPortNameServer},
    {L"UpdPortComm",   UpdatePortCommServer},
    {L"GetCommAccess", GetCommAccessServer},
    {L"GetPortConfig", GetPortConfigServer},
    {L"CfgPort",       ConfigurePortServer},
    {L"GetPortName",   GetPortNameServer},
    {L"GetPortStatus", GetPortStatusServer},
};

// The handle carries no state; a spooler may refuse a NULL one (Wine's OpenPrinterW
// then fails with 87), so it is a fixed non-NULL value.
HANDLE const kXcvHandle = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(1));

}  // namespace

namespace lanport {

BOOL WINAPI XcvOpenPort(HANDLE, LPCWSTR, ACCESS_MASK, PHANDLE xcv)
{
    TRACE(TRC_FLOW, "lanportm: Enter QelXcvOpenPort\n");
    if (xcv) *xcv = kXcvHandle;
    return TRUE;
}

BOOL WINAPI XcvClosePort(HANDLE)
{
    TRACE(TRC_FLOW, "lanportm: Enter QelXcvClosePort\n");
    return TRUE;
}

DWORD WINAPI XcvDataPort(HANDLE xcv, LPCWSTR dataName, PBYTE in, DWORD cbIn, PBYTE out, DWORD cbOut,
                         PDWORD needed)
{
    TRACE(TRC_FLOW, "lanportm: Enter XcvDataPort(%08x,%ls,%08x,%d,%08x,%d,%08x)\n", TraceAddr(xcv),
          dataName ? dataName : L"", TraceAddr(in), static_cast<int>(cbIn), TraceAddr(out),
          static_cast<int>(cbOut), TraceAddr(needed));
    DWORD status = ERROR_GEN_FAILURE;
    const XcvCommand* command = nullptr;
    if (dataName) {
        for (const auto& candidate : kXcvCommands) {
            if (wcscmp(candidate.name, dataName) == 0) {
                command = &candidate;
                break;
            }
        }
    }
    if (command) status = command->server(in, cbIn, out, cbOut, needed);
    else TRACE(TRC_ERROR, "lanportm: Error XcvDataPort. Unknown XCV request: %ls\n", dataName ? dataName : L"");
    TRACE(TRC_FLOW, "lanportm: Exit  XcvDataPort. hXcv=%08x, pszDataName=%ls,*pdwStatus=%d\n",
          TraceAddr(xcv), dataName ? dataName : L"", static_cast<int>(status));
    return status;
}

}  // namespace lanport

DWORD MonitorUIServer(PBYTE in, DWORD cbIn, PBYTE out, DWORD cbOut, PDWORD needed)
{
    TRACE(TRC_FLOW, "lanportm: Enter MonitorUIServer(%08x,%d,%08x,%d,%08x)\n", TraceAddr(in),
          static_cast<int>(cbIn), TraceAddr(out), static_cast<int>(cbOut), TraceAddr(needed));
    constexpr DWORD size = sizeof(kMonitorUiLibrary);
    if (needed) *needed = size;
    DWORD status = ERROR_SUCCESS;
    if (!out || cbOut < size) {
        TRACE(TRC_FLOW, "lanportm: MonitorUIServer: MonitorUI DLL name size must be at least = %d\n",
              static_cast<int>(size));
        status = ERROR_INSUFFICIENT_BUFFER;
    } else {
        memcpy(out, kMonitorUiLibrary, size);
        TRACE(TRC_FLOW, "lanportm: MonitorUIServer: MonitorUI DLL name returned to spooler is: %ls\n",
              kMonitorUiLibrary);
    }
    TRACE(TRC_FLOW, "lanportm: Exit  MonitorUIServer() %s\n", status == ERROR_SUCCESS ? "success" : "failure");
    return status;
}

namespace {

// Removes the port `requested` names from the registry and the table, both or neither.
DWORD deletePort(LPCWSTR requested)
{
    // Only commands under this lock remove ports, so the port found stays in the table
    // until this command removes it.
    PortChangeLock changing;
    WCHAR name[256];
    QelPort* port = nullptr;
    if (!StartProtectedRead(&portListLock)) return FailureCode();
    port = FindPortEntryByName(requested);
    if (port) {
        wcsncpy(name, port->portName, 255);
        name[255] = L'\0';
    }
    EndProtectedRead(&portListLock);
    if (!port) {
        TRACE(TRC_ERROR, "lanportm: DeletePortServer: Port to delete, %ls, doesn't exist\n", requested);
        return ERROR_UNKNOWN_PORT;
    }
    // The lookup ignores case, the table does not: both steps act on the port found, so
    // that they agree afterwards.
    ConfigInfo saved;
    bool hadKey = ReadRegistryEntry(name, &saved) != FALSE;
    DWORD status = DeleteRegistryEntry(name) ? ERROR_SUCCESS : FailureCode();
    // A port whose key is gone already still leaves the table.
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) return status;
    if (RemovePortEntry(port)) return ERROR_SUCCESS;
    status = FailureCode();
    if (hadKey) UpdateRegistryEntry(name, &saved);  // the port stays, and so does its key
    return status;
}

}  // namespace

DWORD DeletePortServer(PBYTE in, DWORD cbIn, PBYTE out, DWORD cbOut, PDWORD needed)
{
    if (RefusesPortName("DeletePortServer", in, cbIn, nullptr)) return ERROR_INVALID_PARAMETER;
    DWORD status = ERROR_SUCCESS;
    ExceptionGuard("DeletePortServer", [&] {
        ptrdiff_t length = BoundedTextLength(in, cbIn, cbIn / sizeof(WCHAR));
        LPCWSTR requested = length >= 0 ? reinterpret_cast<LPCWSTR>(in) : L"";
        TRACE(TRC_FLOW, "lanportm: Entry DeletePortServer(portName=%ls,cbIn=%d,pOut=%08x,cbOut=%d,%08x)\n",
              requested, static_cast<int>(cbIn), TraceAddr(out), static_cast<int>(cbOut), TraceAddr(needed));
        if (length < 0) {
            TRACE(TRC_ERROR, "lanportm: Error in DeletePortServer - Bad parameters\n");
            status = ERROR_INVALID_PARAMETER;
        } else {
            status = deletePort(requested);
        }
        TRACE(TRC_FLOW, "lanportm: Exit  DeletePortServer %s; dwStatus=%d \n",
              status == ERROR_SUCCESS ? "success" : "failure", static_cast<int>(status));
    });
    return status;
}
