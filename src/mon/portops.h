// The spooler's port-level calls: enumerate, open and close the monitor's ports.
#pragma once

#include <windows.h>
#include <winspool.h>

#include "pmuports.h"

// The monitor's own EnumPorts, not the spooler client's ANSI/wide macro.
#undef EnumPorts

// Buffers for strings 10 and 11 of the language library hold 521 characters.
constexpr int kPortInfoStringChars = 521;
constexpr UINT kMonitorNameId = 10;
constexpr UINT kPortDescriptionId = 11;

// In a namespace of their own: the platform headers declare older monitor functions
// with these names.
namespace lanport {

BOOL WINAPI EnumPorts(HANDLE monitor, LPWSTR name, DWORD level, LPBYTE ports, DWORD size,
                      LPDWORD needed, LPDWORD returned);
BOOL WINAPI OpenPort(HANDLE monitor, LPWSTR name, PHANDLE handle);
BOOL WINAPI ClosePort(HANDLE port);

LPWSTR CopyQelPortToPort(QelPort* port, DWORD level, LPBYTE entry, LPWSTR end);

}  // namespace lanport
