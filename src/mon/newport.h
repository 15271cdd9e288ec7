// Creating a port in one call: the routine behind the RPC endpoint.
#pragma once

#include <windows.h>

// portName: in, the requested name (NUL-terminated, at most 128 characters); out, the
// name of the created or existing port. Returns an errRc value.
LONG monSetNewPort(WCHAR* portName, const WCHAR* address, unsigned char flags);
