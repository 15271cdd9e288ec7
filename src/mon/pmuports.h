// The port table and the per-port job lists.
#pragma once

#include <windows.h>

#include "protlock.h"
#include "records.h"
#include "trace.h"

struct QelJob;

constexpr DWORD portOpen = 0x1;
constexpr DWORD portBusy = 0x2;
constexpr DWORD portDeleted = 0x8;

constexpr DWORD jobDeleted = 0x1;
constexpr DWORD jobActive = 0x80;
constexpr DWORD jobTrxPrinter = 0x100;

// Record signatures: the four characters as they lie in memory.
constexpr DWORD FourCharacters(const char (&text)[5])
{
    return static_cast<DWORD>(static_cast<unsigned char>(text[0])) |
           static_cast<DWORD>(static_cast<unsigned char>(text[1])) << 8 |
           static_cast<DWORD>(static_cast<unsigned char>(text[2])) << 16 |
           static_cast<DWORD>(static_cast<unsigned char>(text[3])) << 24;
}
constexpr DWORD kPortSignature = FourCharacters("QelP");
constexpr DWORD kJobSignature = FourCharacters("QelJ");

// What the port's job in progress, else its last job, has shown, for "GetPortStatus".
// The job's writers follow one another: StartDocPort, then the job's listener, then
// EndDocPort once the listener has ended. Each brackets its stores with two increments of
// `changes`, so a reader that sees one even count before and after its copy has one
// moment's values, and the print path never waits for a reader.
struct PortActivity {
    volatile LONG changes;        // odd while a change is under way
    volatile LONG jobInProgress;  // between StartDocPort and EndDocPort
    volatile LONG jobId;
    volatile LONG pjlAnswered;    // the printer answered the PJL probe
    volatile LONG page;           // the listener's page number after the last report
    volatile LONG report;         // kPortReport* of the printer's last report
    volatile DWORD reportTimeLow, reportTimeHigh;  // its UTC time
    // Apart from the count: the job's thread and its listener may both meet one.
    volatile LONG connectionError;  // Winsock error of the job's last failed connect or reset
};

struct QelPort {
    DWORD signature;
    QelPort* next;
    LPWSTR portName;
    DWORD flags;
    QelJob* firstJob;
    QelJob* lastJob;
    LONG timeout;
    LONG retryCount;
    WCHAR community[256];
    LONG monitorFrequency;
    DWORD trapPort;
    DWORD monitorLevel;
    DWORD ipAddress;  // network byte order; the sort key of portList
    DWORD addrFormat;
    DWORD printerType;
    ProtectedLock portLock;
    ProtectedLock jobListLock;
    CRITICAL_SECTION jobSubmissionCritSec;
    DWORD collectDelay;  // seconds on the garbage list before it may be freed
    DWORD jobThread;     // the thread between StartDocPort and EndDocPort, 0 when none
    // Holds on the record: an open port handle, a job between StartDocPort and
    // EndDocPort, an administrative command. A deleted port is freed only at zero.
    volatile LONG holds;
    PortActivity activity;
};

struct QelJob {
    DWORD signature;
    QelJob* next;
    QelPort* port;
    HANDLE hPrinter;
    DWORD printerAttributes;
    DWORD jobId;
    DWORD jobFlags;
    LONG socket;  // -1 while not connected
    LONG JobIdOnPrintDevice;
    // The print job's own state: each job keeps its probe result, end signal and page
    // number, so jobs on different ports never take each other's.
    BOOL pjlCompatible;          // the printer answered the PJL probe
    HANDLE jobEndEvent;          // automatic reset; the status listener signals the job's end
    LONG currentPage;            // from the printer's last page report
    HANDLE listener;             // the status listener thread, or NULL when none was started
    volatile LONG lastHeard;     // GetTickCount of the printer's last report
    volatile LONG stopListening; // set by EndDocPort to end the listener
    volatile LONG ending;          // the job control command that ended the job (7, 3 or 4), 0 while none
    volatile LONG connectionError; // the reset the listener saw on the job's connection, 0 when none
};

extern QelPort* portList;
extern ProtectedLock portListLock;
extern DWORD activeJobCount;

// Fails with ERROR_ALREADY_EXISTS when a port of the table has the name (as the
// registry compares names): the check and the insertion are one step.
QelPort* CreatePortEntry(LPCWSTR portName, const ConfigInfo* config);
BOOL CreatePortResources(QelPort* port);
BOOL DestroyPortResources(QelPort* port);
BOOL DeletePortEntry(LPCWSTR portName);
// Removes this very record from the table (not another port of its name).
BOOL RemovePortEntry(QelPort* port);
BOOL DeleteAllPortEntries();
// The port spelt exactly so, else the only port whose name folds to the same; NULL when
// none or when several do. The caller holds portListLock (or a hold on the result).
QelPort* FindPortEntryByName(LPCWSTR name);
// Whether a port of the table has a name that folds to the same (under portListLock;
// true when the lock cannot be had, so that no caller takes the name as free).
bool PortNameInTable(LPCWSTR name);
// Copies the name of the port at `address` (the newest of that address), cut to `chars`
// characters with the NUL; false when no port has it. Under portListLock.
bool PortNameAtAddress(DWORD address, LPWSTR name, size_t chars);
// Looks the name up under portListLock and takes a hold on the port found.
QelPort* HoldPortByName(LPCWSTR name);

// Runs `use` on the table under a read hold of portListLock and answers its result;
// `fallback` when the hold cannot be had (traced, with `who` when given).
template <class Use, class Result>
Result ReadingPortTable(const char* who, Use use, Result fallback)
{
    if (!StartProtectedRead(&portListLock)) {
        if (who) TRACE(TRC_ERROR, "lanportm: %s: StartProtectedRead failed\n", who);
        else TRACE(TRC_ERROR, "lanportm: StartProtectedRead failed\n");
        return fallback;
    }
    Result result = use();
    EndProtectedRead(&portListLock);
    return result;
}
void HoldPort(QelPort* port);
void ReleasePort(QelPort* port);
// Whether anything can still reach a record taken off its list.
bool PortInUse(const QelPort* port);
bool JobInUse(const QelJob* job);
QelPort* FindPortEntryByAddress(DWORD address);
QelJob* CreateJobEntry(const QelJob* jobTemplate);
BOOL DeleteJobEntry(QelJob* job);
QelJob* GetCurrentJob(QelPort* port);
BOOL FreePortEntry(QelPort* port);
void FreeJobEntry(QelJob* job);

// (retryCount + 1) x timeout x 2 / 100 seconds, at least 30.
DWORD CollectDelay(LONG timeout, LONG retryCount);
