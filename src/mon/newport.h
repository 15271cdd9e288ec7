// Creating a port in one call: the routine behind the RPC endpoint.
#pragma once

#include <windows.h>

// portName: in, the requested name (NUL-terminated, at most 128 characters); out, the
// name of the created or existing port. Returns an errRc value. C linkage: it is the
// server routine of the RPC interface's generated (C) stub.
extern "C" LONG monSetNewPort(WCHAR* portName, const WCHAR* address, unsigned char flags);
