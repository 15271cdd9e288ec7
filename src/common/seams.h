// Link-time seams. The shipped binaries link seams_product.cpp, which passes every
// duration through unchanged and injects nothing; the test programs link their own
// implementation to shorten the long waits and to provoke failures that the real
// interfaces cannot be made to produce on demand.
#pragma once

#include <windows.h>

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
    Count
};

// Values a test build may watch.
enum class Observation : unsigned {
    SendCall,  // the byte count offered to one send() call
};

// The duration, in milliseconds, that this build waits where the product specifies `ms`.
DWORD SpecifiedWait(DWORD ms);

// 0 to go on normally, or the Win32/socket error code to fail with at this point.
DWORD InjectedFault(FaultPoint point);

// Reports a value at an observation point; the shipped binaries ignore it.
void Observe(Observation what, DWORD value);
