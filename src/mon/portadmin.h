// The port administration commands behind the XCV channel.
#pragma once

#include <windows.h>

#include <cstddef>

DWORD AddPortServer(PBYTE in, DWORD cbIn, PBYTE out, DWORD cbOut, PDWORD needed);
DWORD VerifyPortAddrServer(PBYTE in, DWORD cbIn, PBYTE out, DWORD cbOut, PDWORD needed);
DWORD VerifyPortNameServer(PBYTE in, DWORD cbIn, PBYTE out, DWORD cbOut, PDWORD needed);
DWORD UpdatePortCommServer(PBYTE in, DWORD cbIn, PBYTE out, DWORD cbOut, PDWORD needed);
DWORD GetCommAccessServer(PBYTE in, DWORD cbIn, PBYTE out, DWORD cbOut, PDWORD needed);
DWORD GetPortConfigServer(PBYTE in, DWORD cbIn, PBYTE out, DWORD cbOut, PDWORD needed);
DWORD ConfigurePortServer(PBYTE in, DWORD cbIn, PBYTE out, DWORD cbOut, PDWORD needed);
DWORD GetPortNameServer(PBYTE in, DWORD cbIn, PBYTE out, DWORD cbOut, PDWORD needed);

// Port names are registry key names that every command can address.
constexpr size_t kMaxPortNameChars = 128;
bool IsUsablePortName(LPCWSTR name);

// The name rules of every command that takes a port name, applied before the name
// reaches the table or the registry: unless `in` holds a usable name that ends within
// its first cbIn bytes, traces `command`'s bad-parameter error, writes errRc 10 at
// errRcAt (when given) and returns true; the command then answers 87.
bool RefusesPortName(const char* command, const BYTE* in, DWORD cbIn, PBYTE errRcAt);

// The length of the NUL-terminated text at `in` when its NUL lies within the first
// min(cbIn / 2, maxChars + 1) characters; -1 otherwise (also for a NULL input).
ptrdiff_t BoundedTextLength(const BYTE* in, DWORD cbIn, size_t maxChars);

// Held by every command that changes a port's table entry and its registry key, from
// its first look at either to its last change: no interleaving of such commands can
// leave the table and the registry disagreeing.
class PortChangeLock {
public:
    PortChangeLock();
    ~PortChangeLock();
    PortChangeLock(const PortChangeLock&) = delete;
    PortChangeLock& operator=(const PortChangeLock&) = delete;
};

// The thread's last error as a status; a failure that left no error code is 31.
inline DWORD FailureCode()
{
    DWORD error = GetLastError();
    return error ? error : ERROR_GEN_FAILURE;
}
