// Control of the recording stand-in for the spooler (winspool.drv), for the tests that
// load it in place of Wine's own through WINEDLLOVERRIDES. The monitor under test calls
// the ordinary spooler functions; the test steers the answers and reads the records
// through these extra exports.
#pragma once

#include <windows.h>

extern "C" {

// Forgets every job, record and steered failure.
void WINAPI StandInReset();

// Defines the spooler job `jobId` as GetJobW level 2 reports it. A null data type is
// reported as absent; duplex 0 reports no device mode.
void WINAPI StandInDefineJob(DWORD jobId, LPCWSTR datatype, short duplex, DWORD status);

// Every later GetJobW fails with `error` (0: answer normally).
void WINAPI StandInFailGetJob(DWORD error);

// From now on the job reports JOB_STATUS_DELETING (or stops reporting it).
void WINAPI StandInSetDeleting(DWORD jobId, BOOL deleting);

// A printer that EnumPrintersW and GetPrinterW report, printing to `port`.
void WINAPI StandInDefinePrinter(LPCWSTR name, LPCWSTR port, DWORD attributes);

// Every later SetJobW fails with `error` (0: accept).
void WINAPI StandInFailSetJob(DWORD error);

// Calls made so far.
DWORD WINAPI StandInGetJobCalls();
LONG WINAPI StandInOpenPrinters();  // printer handles open now
DWORD WINAPI StandInBadCloses();    // ClosePrinter calls on a handle that was not open
DWORD WINAPI StandInOpenedNames(LPWSTR names, DWORD chars);  // names opened, "|"-separated

// The SetJobW calls, in order: their count, then each one's fields (status text only
// for level 2; level 0 calls carry a command only).
DWORD WINAPI StandInSetJobCount();
BOOL WINAPI StandInSetJobRecord(DWORD index, DWORD* jobId, DWORD* level, DWORD* command, LPWSTR status,
                                DWORD statusChars, DWORD* pagesPrinted, DWORD* position);
}
