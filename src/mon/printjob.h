// Job submission: the spooler's print path through a port.
#pragma once

#include <windows.h>

#include "pmuports.h"

constexpr DWORD kWritePortPauseMs = 500;
constexpr DWORD kProbeWindowMs = 10000;
constexpr int kProbeBufferSize = 1024;
constexpr int kJobLabelLength = 48;
// EndDocPort gives up waiting for the printer's end report after this long without any
// report from the printer. A page of a large job may take a minute or more on a slow
// printer; two minutes of silence means the printer will not report the end.
constexpr DWORD kPrinterSilenceMs = 120000;
// How often EndDocPort looks at the listener and the silence while it waits.
constexpr DWORD kEndWaitCheckMs = 1000;
// A printer that keeps reporting never falls silent; the end wait still ends after an hour.
constexpr DWORD kEndWaitLimitMs = 3600000;
// The probe's reply is read for at most three windows, however much the printer sends.
constexpr DWORD kProbeLimitMs = 30000;

namespace lanport {

BOOL WINAPI StartDocPort(HANDLE port, LPWSTR printerName, DWORD jobId, DWORD level, LPBYTE docInfo);
BOOL WINAPI WritePort(HANDLE port, LPBYTE data, DWORD size, LPDWORD written);
BOOL WINAPI EndDocPort(HANDLE port);

}  // namespace lanport

BOOL CheckAndRestartJob(QelJob* job);
// Marks the job as ended by the job control command (7 printed, 3 cancelled, 4 restarted);
// false when it has already ended another way. A job gets one ending only.
bool ClaimJobEnding(QelJob* job, LONG command);
BOOL GetPrinterInfo(QelJob* job);

// Whether the port's printer type takes the PJL job header, and whether its connection
// is drained before it is closed.
bool SendsPjlHeader(DWORD printerType);
bool DrainsOnClose(DWORD printerType);

// "1", 39 characters of the document name, 8 random digits.
void BuildJobLabel(LPCWSTR documentName, char* label);
