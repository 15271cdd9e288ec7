// The spooler's transceive (XCV) channel: the entry points and the command table.
#pragma once

#include <windows.h>

#include "names.h"

using lanport::kMonitorUiLibrary;

// Every server routine: (input, input size, output, output size, needed size) -> status.
using XcvServerRoutine = DWORD (*)(PBYTE in, DWORD cbIn, PBYTE out, DWORD cbOut, PDWORD needed);

// The platform headers declare functions of these names; the monitor's own live in its
// namespace.
namespace lanport {
BOOL WINAPI XcvOpenPort(HANDLE monitor, LPCWSTR object, ACCESS_MASK grantedAccess, PHANDLE xcv);
DWORD WINAPI XcvDataPort(HANDLE xcv, LPCWSTR dataName, PBYTE in, DWORD cbIn, PBYTE out, DWORD cbOut,
                         PDWORD needed);
BOOL WINAPI XcvClosePort(HANDLE xcv);
}  // namespace lanport

DWORD MonitorUIServer(PBYTE in, DWORD cbIn, PBYTE out, DWORD cbOut, PDWORD needed);
DWORD DeletePortServer(PBYTE in, DWORD cbIn, PBYTE out, DWORD cbOut, PDWORD needed);
