// The monitor's reader/writer lock: many readers or one writer; a writer waits at most
// 60 seconds for readers to leave, and waiting writers keep new readers out.
#pragma once

#include <windows.h>

struct ProtectedLock {
    HANDLE noReadersEvent;         // manual reset; signalled while no reader holds the lock
    CRITICAL_SECTION writerCritSec;  // held by the writer; passed through by every reader
    CRITICAL_SECTION countCritSec;   // guards readerCount and the event's transitions
    DWORD readerCount;
};

constexpr DWORD kWriterWaitMs = 60000;

BOOL InitLockStruct(ProtectedLock* lock);
BOOL CloseLockStruct(ProtectedLock* lock);
BOOL StartProtectedRead(ProtectedLock* lock);
BOOL EndProtectedRead(ProtectedLock* lock);
BOOL StartProtectedWrite(ProtectedLock* lock);
BOOL EndProtectedWrite(ProtectedLock* lock);
