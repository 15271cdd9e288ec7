// Monitor-wide state, and the interfaces through which the monitor's entry reaches its
// subsystems.
#pragma once

#include <windows.h>

#include <atomic>

#include "names.h"

using lanport::kLanguageLibrary;
using lanport::kMonitorName;

extern HMODULE languageModule;
extern BOOL trxInstalled;
extern HKEY pMonRegistryRoot;
extern CRITICAL_SECTION activeJobsCritSec;
extern HANDLE activeJobsEvent;
extern HANDLE jobEndEvent;
extern CRITICAL_SECTION garbageCritSec;
// Set once InitializePrintMonitor2 has set the monitor up; the RPC endpoint may be called
// before that.
extern std::atomic<bool> monitorInitialized;

// RPC endpoint.
BOOL InitRPC();
// processEnding: the detach of a process that is ending (DllMain's reserved argument is
// not null); the system is ending its other threads, the listening one among them.
BOOL StopRPCServer(bool processEnding);

// Windows Sockets.
BOOL netInitialize();

// Garbage collector thread procedure (C run-time thread start).
unsigned __stdcall GarbageCollection(void* unused);
