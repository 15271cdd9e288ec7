// A port's live status: what its print path and status listener note as they go, and the
// "GetPortStatus" command that reads it.
#pragma once

#include <windows.h>

#include "pmuports.h"

DWORD GetPortStatusServer(PBYTE in, DWORD cbIn, PBYTE out, DWORD cbOut, PDWORD needed);

// StartDocPort has taken the port for job `jobId`: the previous job's values are forgotten.
void NoteJobStarted(QelPort* port, DWORD jobId);
void NoteProbe(QelPort* port, bool answered);
// A report of the printer (kReportStart .. kReportCancel), with the listener's page
// number after it.
void NoteReport(QelPort* port, DWORD kind, LONG page);
// EndDocPort, or a StartDocPort that failed, has let the port go.
void NoteJobEnded(QelPort* port);
// A connect to the port's printer failed, or its connection was reset, with `error`.
void NoteConnectionError(QelPort* port, int error);
