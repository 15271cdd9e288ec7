// The protected lock: two critical sections, a manual-reset event and a reader count.
#include "protlock.h"

#include "seams.h"
#include "trace.h"

BOOL InitLockStruct(ProtectedLock* lock)
{
    InitializeCriticalSection(&lock->writerCritSec);
    InitializeCriticalSection(&lock->countCritSec);
    if (DWORD error = InjectedFault(FaultPoint::CreateLockEvent)) {
        SetLastError(error);
        lock->noReadersEvent = nullptr;
    } else {
        lock->noReadersEvent = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    }
    if (!lock->noReadersEvent) {
        TRACE(TRC_ERROR, "lanportm: InitLockStruct failed!\n");
        return FALSE;
    }
    lock->readerCount = 0;
    return TRUE;
}

BOOL CloseLockStruct(ProtectedLock* lock)
{
    DeleteCriticalSection(&lock->writerCritSec);
    DeleteCriticalSection(&lock->countCritSec);
    BOOL closed = CloseHandle(lock->noReadersEvent);
    if (!closed) TRACE(TRC_ERROR, "lanportm: CloseLockStruct failed!\n");
    lock->noReadersEvent = nullptr;
    return closed;
}

BOOL StartProtectedRead(ProtectedLock* lock)
{
    BOOL result = TRUE;
    EnterCriticalSection(&lock->writerCritSec);
    EnterCriticalSection(&lock->countCritSec);
    if (lock->readerCount == 0 && !ResetEvent(lock->noReadersEvent)) {
        TRACE(TRC_ERROR, "lanportm: StartProtectedRead: reset failed!\n");
        result = FALSE;
    } else {
        ++lock->readerCount;
    }
    LeaveCriticalSection(&lock->countCritSec);
    LeaveCriticalSection(&lock->writerCritSec);
    return result;
}

BOOL EndProtectedRead(ProtectedLock* lock)
{
    BOOL result = TRUE;
    EnterCriticalSection(&lock->countCritSec);
    if (--lock->readerCount == 0 && !SetEvent(lock->noReadersEvent)) {
        TRACE(TRC_ERROR, "lanportm: EndProtectedRead: set failed!\n");
        result = FALSE;
    }
    LeaveCriticalSection(&lock->countCritSec);
    return result;
}

BOOL StartProtectedWrite(ProtectedLock* lock)
{
    EnterCriticalSection(&lock->writerCritSec);
    DWORD wait = WaitForSingleObject(lock->noReadersEvent, SpecifiedWait(kWriterWaitMs));
    if (wait == WAIT_OBJECT_0) return TRUE;
    DWORD error = wait == WAIT_TIMEOUT ? ERROR_TIMEOUT : GetLastError();
    if (wait == WAIT_TIMEOUT) TRACE(TRC_ERROR, "lanportm: StartProtectedWrite: wait timed out!\n");
    else TRACE(TRC_ERROR, "lanportm: StartProtectedWrite: wait failed!\n");
    LeaveCriticalSection(&lock->writerCritSec);
    // The caller reports why: a timeout, not whatever failed before.
    SetLastError(error);
    return FALSE;
}

BOOL EndProtectedWrite(ProtectedLock* lock)
{
    LeaveCriticalSection(&lock->writerCritSec);
    return TRUE;
}
