// The PJL status listener: reads the printer's USTATUS reports for one job and writes
// them into the spooler's job record.
#pragma once

#include <windows.h>

#include "pmuports.h"

// Report kinds of DoSetJob.
constexpr DWORD kReportStart = 0;
constexpr DWORD kReportPage = 1;
constexpr DWORD kReportEnd = 2;
constexpr DWORD kReportCancel = 3;

constexpr UINT kStatusStartId = 2;
constexpr UINT kStatusCancelId = 3;
constexpr UINT kStatusPageId = 6;
constexpr UINT kStatusEndId = 8;

constexpr int kListenerReceiveSize = 5120;
constexpr int kStatusTextChars = 256;
constexpr DWORD kListenerPauseMs = 5;
// How often the listener looks up from its waits to see whether its job asks it to end.
constexpr DWORD kListenerStopCheckMs = 500;
// After the printer closed the connection, the listener connects again on a socket of its
// own, pausing kRetryPauseMs (the network layer's connect pause) before each of
// kConnectAttempts attempts, each attempt bounded by kListenerConnectLimitMs.
constexpr DWORD kListenerConnectLimitMs = 20000;

// Values of QelJob::stopListening.
constexpr LONG kListenerStop = 1;        // the job has ended
constexpr LONG kListenerStopAndEnd = 2;  // the printer fell silent: report the job's end first

unsigned __stdcall pjlStartListening(void* job);
void processPJLString(char* text, QelJob* job);
void DoSetJob(DWORD kind, QelJob* job);
int LoadResMessage(LPWSTR buffer, int capacity, UINT id, const DWORD_PTR* inserts);

// The status text for a report on `job` (resource text, then for TRX printers the tail),
// always NUL-terminated within kStatusTextChars.
void BuildStatusText(DWORD kind, const QelJob* job, LPWSTR text);
