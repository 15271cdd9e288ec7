// Link-time seams. The shipped binaries link seams_product.cpp, which passes every
// duration through unchanged and injects nothing; the test programs link their own
// implementation to shorten the long waits and to provoke failures that the real
// interfaces cannot be made to produce on demand.
#pragma once

#include <windows.h>

#include <ctime>

// Points at which a test build may inject a failure.
enum class FaultPoint : unsigned {
    AllocSplMem,       // the global-heap allocation of AllocSplMem fails
    CreateLockEvent,   // InitLockStruct cannot create its event
    LoadLanguage,      // the language library cannot be loaded
    RegSetVersion,     // writing the monitor's "Version" value fails
    RegCreatePorts,    // creating or opening the "Ports" key at start-up fails
    RegQueryPorts,     // RegQueryInfoKeyW on "Ports" fails
    RegSetConfigInfo,  // writing a port's "configInfo" value fails
    SocketCreate,      // socket() fails (the value is the Winsock error)
    SocketConnect,     // connect() fails
    GetSendBuffer,     // reading SO_SNDBUF fails
    CloseSocket,       // closesocket() fails
    HostLookup,        // gethostbyname() fails (the value is the Winsock error)
    CreateActiveJobsEvent,  // the monitor's 'active jobs' event cannot be created
    Count
};

// Values a test build may watch.
enum class Observation : unsigned {
    SendCall,     // the byte count offered to one send() call
    AdminWindow,  // a configuration command between its registry read and its write
    Count
};

// The duration, in milliseconds, that this build waits where the product specifies `ms`.
DWORD SpecifiedWait(DWORD ms);

// The current time in seconds, as the garbage collector counts ages: time() in the
// product; a test build can move its clock forward.
time_t CurrentTime();

// 0 to go on normally, or the Win32/socket error code to fail with at this point.
DWORD InjectedFault(FaultPoint point);

// Reports a value at an observation point; the shipped binaries ignore it.
void Observe(Observation what, DWORD value);

// The spooler router's EnumPortsW, through which the monitor asks what ports exist.
using EnumPortsRoutine = BOOL(WINAPI*)(LPWSTR, DWORD, LPBYTE, DWORD, LPDWORD, LPDWORD);

// The routine the monitor calls for the router's `bound` one: `bound` itself in the
// product; a test build may answer with listings of its own making.
EnumPortsRoutine RouterEnumPorts(EnumPortsRoutine bound);
