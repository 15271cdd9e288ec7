// Port and job tables: the sorted port list and each port's job list.
#include "pmuports.h"

#include <winspool.h>

#include <cwchar>

#include "garbage.h"
#include "monitor.h"
#include "support.h"
#include "trace.h"

QelPort* portList = nullptr;
ProtectedLock portListLock;
DWORD activeJobCount = 0;

DWORD CollectDelay(LONG timeout, LONG retryCount)
{
    // Signed 32-bit arithmetic as stored; wrap-around is computed without overflow traps.
    LONG product = static_cast<LONG>(static_cast<ULONG>(retryCount + 1ul) * static_cast<ULONG>(timeout) * 2u);
    LONG delay = product / 100;
    return delay < 30 ? 30 : static_cast<DWORD>(delay);
}

namespace {

void freePortRecord(QelPort* port)
{
    FreeSplMem(port->portName);
    FreeSplMem(port);
}

}  // namespace

QelPort* CreatePortEntry(LPCWSTR portName, const ConfigInfo* config)
{
    TRACE(TRC_FLOW, "lanportm: Entry CreatePortEntry for port %ls\n", portName);
    QelPort* port = static_cast<QelPort*>(AllocSplMem(sizeof(QelPort)));
    if (port) {
        port->portName = AllocSplStr(portName);
        if (!port->portName) {
            FreeSplMem(port);
            port = nullptr;
        }
    }
    if (!port) {
        TRACE(TRC_ERROR, "lanportm: CreatePortEntry: Allocation failure\n");
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        TRACE(TRC_FLOW, "lanportm: Exit  CreatePortEntry %s for port %ls\n", "failure", portName);
        return nullptr;
    }

    TRACE(TRC_DETAIL, "lanportm: RegEntry=%d,%d,%ls,%d,%u,%u,%08x,%u\n",
          static_cast<int>(config->timeout), static_cast<int>(config->retryCount),
          config->community, static_cast<int>(config->monitorFrequency),
          static_cast<unsigned>(config->trapPort), static_cast<unsigned>(config->monitorLevel),
          static_cast<unsigned>(config->ipAddress), static_cast<unsigned>(config->addrFormat));
    port->signature = kPortSignature;
    port->timeout = config->timeout;
    port->retryCount = config->retryCount;
    wmemcpy(port->community, config->community, 256);
    port->community[255] = L'\0';
    port->monitorFrequency = config->monitorFrequency;
    port->trapPort = config->trapPort;
    port->monitorLevel = config->monitorLevel;
    port->ipAddress = config->ipAddress;
    port->addrFormat = config->addrFormat;
    port->collectDelay = CollectDelay(port->timeout, port->retryCount);

    if (!CreatePortResources(port)) {
        DWORD error = GetLastError();
        TRACE(TRC_ERROR, "lanportm: CreatePortEntry: Unable to create port's resources\n");
        freePortRecord(port);
        SetLastError(error);
        TRACE(TRC_FLOW, "lanportm: Exit  CreatePortEntry %s for port %ls\n", "failure", portName);
        return nullptr;
    }
    if (!StartProtectedWrite(&portListLock)) {
        TRACE(TRC_ERROR, "lanportm: CreatePortEntry: Unable to get write protection\n");
        DestroyPortResources(port);
        freePortRecord(port);
        TRACE(TRC_FLOW, "lanportm: Exit  CreatePortEntry %s for port %ls\n", "failure", portName);
        return nullptr;
    }
    // Under the same write hold as the insertion, so racing additions of one name
    // create one port.
    for (QelPort* other = portList; other; other = other->next) {
        if (!PortNamesEqual(other->portName, port->portName)) continue;
        EndProtectedWrite(&portListLock);
        TRACE(TRC_ERROR, "lanportm: CreatePortEntry: Port name in use by port %ls\n", other->portName);
        DestroyPortResources(port);
        freePortRecord(port);
        SetLastError(ERROR_ALREADY_EXISTS);
        TRACE(TRC_FLOW, "lanportm: Exit  CreatePortEntry %s for port %ls\n", "failure", portName);
        return nullptr;
    }
    // In front of the first port whose address is not lower: the newest of equal
    // addresses comes first.
    QelPort** link = &portList;
    while (*link && (*link)->ipAddress < port->ipAddress) link = &(*link)->next;
    port->next = *link;
    *link = port;
    EndProtectedWrite(&portListLock);
    TRACE(TRC_FLOW, "lanportm: Exit  CreatePortEntry %s for port %ls\n", "success", portName);
    return port;
}

BOOL CreatePortResources(QelPort* port)
{
    if (!InitLockStruct(&port->jobListLock)) {
        TRACE(TRC_ERROR, "lanportm: CreatePortResources: Unable to initialize job list lock\n");
        return FALSE;
    }
    if (!InitLockStruct(&port->portLock)) {
        DWORD error = GetLastError();
        TRACE(TRC_ERROR, "lanportm: CreatePortResources: Unable to initialize port lock\n");
        CloseLockStruct(&port->jobListLock);
        SetLastError(error);
        return FALSE;
    }
    InitializeCriticalSection(&port->jobSubmissionCritSec);
    return TRUE;
}

BOOL DestroyPortResources(QelPort* port)
{
    DWORD error = 0;
    if (!CloseLockStruct(&port->jobListLock)) {
        error = GetLastError();
        TRACE(TRC_SEVERE, "lanportm: Unable to delete job list lock objects\n");
    }
    if (!CloseLockStruct(&port->portLock)) {
        error = GetLastError();
        TRACE(TRC_SEVERE, "lanportm: Unable to delete port lock objects\n");
    }
    DeleteCriticalSection(&port->jobSubmissionCritSec);
    if (error) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

namespace {

// Unlinks the port that `matches` picks and queues it for the collector.
template <class Match>
BOOL removePort(LPCWSTR portName, Match matches)
{
    TRACE(TRC_FLOW, "lanportm: Entry DeletePortEntry for port %ls\n", portName);
    if (!StartProtectedWrite(&portListLock)) {
        DWORD error = GetLastError();
        TRACE(TRC_ERROR, "lanportm: DeletePortEntry: StartProtectedWrite failed\n");
        TRACE(TRC_FLOW, "lanportm: Exit  DeletePortEntry failure for port %ls\n", portName);
        SetLastError(error);
        return FALSE;
    }
    QelPort** link = &portList;
    while (*link && !matches(*link)) link = &(*link)->next;
    QelPort* port = *link;
    if (!port) {
        TRACE(TRC_SEVERE, "lanportm: DeletePortEntry: Port not found\n");
        EndProtectedWrite(&portListLock);
        SetLastError(ERROR_UNKNOWN_PORT);
        TRACE(TRC_FLOW, "lanportm: Exit  DeletePortEntry failure for port %ls\n", portName);
        return FALSE;
    }
    *link = port->next;
    // Before the lock is left: a handle holder that sees the port gone sees the mark.
    port->flags |= portDeleted;
    EndProtectedWrite(&portListLock);
    AddToGarbage(kGarbagePort, port);
    TRACE(TRC_FLOW, "lanportm: Exit  DeletePortEntry success for port %ls\n", portName);
    return TRUE;
}

}  // namespace

BOOL DeletePortEntry(LPCWSTR portName)
{
    return removePort(portName, [portName](const QelPort* port) { return wcscmp(port->portName, portName) == 0; });
}

BOOL RemovePortEntry(QelPort* port)
{
    return removePort(port->portName, [port](const QelPort* candidate) { return candidate == port; });
}

BOOL DeleteAllPortEntries()
{
    TRACE(TRC_FLOW, "lanportm: Entry DeleteAllPortEntries\n");
    // Runs only while the monitor starts up, when no other thread uses the table, so
    // the table is emptied even without the lock.
    BOOL locked = StartProtectedWrite(&portListLock);
    if (!locked) TRACE(TRC_SEVERE, "lanportm: DeleteAllPortEntries: StartProtectedWrite failed\n");
    for (QelPort* port = portList; port;) {
        QelPort* next = port->next;
        port->flags |= portDeleted;
        AddToGarbage(kGarbagePort, port);
        port = next;
    }
    portList = nullptr;
    if (locked) EndProtectedWrite(&portListLock);
    TRACE(TRC_FLOW, "lanportm: Exit  DeleteAllPortEntries\n");
    return TRUE;
}

QelPort* FindPortEntryByName(LPCWSTR name)
{
    if (!name) return nullptr;
    QelPort* folded = nullptr;
    int foldedCount = 0;
    for (QelPort* port = portList; port; port = port->next) {
        if (wcscmp(port->portName, name) == 0) return port;
        if (PortNamesEqual(port->portName, name)) {
            folded = port;
            ++foldedCount;
        }
    }
    // Two names that fold alike and neither spelt so: acting on either could be wrong.
    if (foldedCount > 1) {
        TRACE(TRC_ERROR, "lanportm: FindPortEntryByName: %d ports match %ls ignoring case\n", foldedCount, name);
        return nullptr;
    }
    return folded;
}

bool PortNameInTable(LPCWSTR name)
{
    return ReadingPortTable(
        "PortNameInTable",
        [name] {
            for (QelPort* port = portList; port; port = port->next)
                if (PortNamesEqual(port->portName, name)) return true;
            return false;
        },
        true);
}

bool PortNameAtAddress(DWORD address, LPWSTR name, size_t chars)
{
    return ReadingPortTable(
        "PortNameAtAddress",
        [&] {
            QelPort* port = FindPortEntryByAddress(address);
            if (!port) return false;
            wcsncpy(name, port->portName, chars - 1);
            name[chars - 1] = L'\0';
            return true;
        },
        false);
}

QelPort* HoldPortByName(LPCWSTR name)
{
    return ReadingPortTable(
        "HoldPortByName",
        [name] {
            QelPort* port = FindPortEntryByName(name);
            if (port) HoldPort(port);
            return port;
        },
        static_cast<QelPort*>(nullptr));
}

void HoldPort(QelPort* port)
{
    InterlockedIncrement(&port->holds);
}

void ReleasePort(QelPort* port)
{
    InterlockedDecrement(&port->holds);
}

bool JobInUse(const QelJob* job)
{
    return job->listener && WaitForSingleObject(job->listener, 0) == WAIT_TIMEOUT;
}

bool PortInUse(const QelPort* port)
{
    if (InterlockedCompareExchange(const_cast<volatile LONG*>(&port->holds), 0, 0) > 0) return true;
    for (const QelJob* job = port->firstJob; job; job = job->next)
        if (JobInUse(job)) return true;
    return false;
}

QelPort* FindPortEntryByAddress(DWORD address)
{
    QelPort* port = portList;
    while (port && port->ipAddress < address) port = port->next;
    return port && port->ipAddress == address ? port : nullptr;
}

QelJob* CreateJobEntry(const QelJob* jobTemplate)
{
    TRACE(TRC_FLOW, "lanportm: Entry CreateJobEntry. Par: %d\n",
          static_cast<int>(TraceAddr(jobTemplate)));
    QelJob* job = static_cast<QelJob*>(AllocSplMem(sizeof(QelJob)));
    if (!job) {
        TRACE(TRC_ERROR, "lanportm: CreateJobEntry: Allocation failure\n");
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        TRACE(TRC_FLOW, "lanportm: Exit  CreateJobEntry %s\n", "failure");
        return nullptr;
    }
    *job = *jobTemplate;
    job->signature = kJobSignature;
    QelPort* port = job->port;
    if (!StartProtectedWrite(&port->jobListLock)) {
        TRACE(TRC_ERROR, "lanportm: CreateJobEntry: StartProtectedWrite failed\n");
        FreeSplMem(job);
        TRACE(TRC_FLOW, "lanportm: Exit  CreateJobEntry %s\n", "failure");
        return nullptr;
    }
    job->next = nullptr;
    if (port->lastJob) port->lastJob->next = job;
    else port->firstJob = job;
    port->lastJob = job;
    EndProtectedWrite(&port->jobListLock);

    if (job->jobFlags & jobActive) {
        EnterCriticalSection(&activeJobsCritSec);
        if (activeJobCount == 0) {
            SetEvent(activeJobsEvent);
            TRACE(TRC_DETAIL, "lanportm: CreateJobEntry: First active job, so set event\n");
        }
        ++activeJobCount;
        LeaveCriticalSection(&activeJobsCritSec);
    }
    TRACE(TRC_FLOW, "lanportm: Exit  CreateJobEntry %s\n", "success");
    return job;
}

BOOL DeleteJobEntry(QelJob* job)
{
    TRACE(TRC_FLOW, "lanportm: Entry DeleteJobEntry\n");
    auto fail = [] {
        SetLastError(ERROR_INVALID_PARAMETER);
        TRACE(TRC_FLOW, "lanportm: Exit  DeleteJobEntry failure\n");
        return FALSE;
    };
    if (!job) {
        TRACE(TRC_ERROR, "lanportm: DeleteJobEntry: Null pointer passed in\n");
        return fail();
    }
    QelPort* port = job->port;
    if (!job->next && (port->flags & portBusy)) {
        TRACE(TRC_ERROR, "lanportm: DeleteJobEntry: Job not deleted because still being written to\n");
        return fail();
    }
    job->jobFlags |= jobDeleted;
    if (!StartProtectedWrite(&port->jobListLock)) {
        TRACE(TRC_ERROR, "lanportm: DeleteJobEntry: StartProtectedWrite failed\n");
        return FALSE;
    }
    QelJob* previous = nullptr;
    QelJob* current = port->firstJob;
    while (current && current != job) {
        previous = current;
        current = current->next;
    }
    if (!current) {
        TRACE(TRC_SEVERE, "lanportm: DeleteJobEntry: Job not found\n");
        EndProtectedWrite(&port->jobListLock);
        return fail();
    }
    if (previous) previous->next = job->next;
    else port->firstJob = job->next;
    if (port->lastJob == job) port->lastJob = previous;
    EndProtectedWrite(&port->jobListLock);

    if (job->jobFlags & jobActive) {
        EnterCriticalSection(&activeJobsCritSec);
        if (activeJobCount == 1) {
            ResetEvent(activeJobsEvent);
            TRACE(TRC_DETAIL, "lanportm: DeleteJobEntry: Last active job, so reset event\n");
        }
        --activeJobCount;
        LeaveCriticalSection(&activeJobsCritSec);
    }
    AddToGarbage(kGarbageJob, job);
    TRACE(TRC_FLOW, "lanportm: Exit  DeleteJobEntry success\n");
    return TRUE;
}

QelJob* GetCurrentJob(QelPort* port)
{
    return port->lastJob;
}

void FreeJobEntry(QelJob* pQelJob)
{
    DbgAssert(pQelJob);
    if (!pQelJob) return;
    if (pQelJob->hPrinter) ClosePrinter(pQelJob->hPrinter);
    if (pQelJob->jobEndEvent) CloseHandle(pQelJob->jobEndEvent);
    if (pQelJob->listener) CloseHandle(pQelJob->listener);
    FreeSplMem(pQelJob);
}

BOOL FreePortEntry(QelPort* port)
{
    BOOL result = DestroyPortResources(port);
    DWORD error = GetLastError();
    for (QelJob* job = port->firstJob; job;) {
        QelJob* next = job->next;
        FreeJobEntry(job);
        job = next;
    }
    port->firstJob = nullptr;
    freePortRecord(port);
    if (!result) SetLastError(error);
    return result;
}
