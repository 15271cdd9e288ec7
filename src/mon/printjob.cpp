// Job submission: StartDocPort, WritePort and EndDocPort.
#include "printjob.h"

#include <winsock2.h>
#include <winspool.h>

#include <process.h>
#include <sys/timeb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

#include "listener.h"
#include "monitor.h"
#include "netlayer.h"
#include "pjl.h"
#include "portstatus.h"
#include "seams.h"
#include "sehguard.h"
#include "spoolerbuffer.h"
#include "support.h"
#include "trace.h"

namespace {

constexpr int kLabelNameBytes = 39;
constexpr int kLabelDigits = 8;
constexpr int kPrinterNameChars = 260;

// A spooler that passes no printer name: the printer that prints to this port.
bool printerForPort(LPCWSTR portName, LPWSTR name)
{
    DWORD needed = 0, count = 0;
    EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &count);
    if (needed == 0) return false;
    auto* printers = static_cast<BYTE*>(AllocSplMem(needed));
    if (!printers) return false;
    bool found = false;
    if (EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, printers, needed, &needed, &count)) {
        // Only what lies inside the buffer: a spooler whose printers change between its
        // passes may hand back stray pointers.
        auto* info = reinterpret_cast<const PRINTER_INFO_2W*>(printers);
        for (DWORD i = 0; i < RecordsWithin<PRINTER_INFO_2W>(count, needed) && !found; ++i) {
            LPCWSTR ports = TextWithin<WCHAR>(info[i].pPortName, printers, needed);
            LPCWSTR printer = TextWithin<WCHAR>(info[i].pPrinterName, printers, needed);
            // A printer may print to several ports, separated by commas.
            for (LPCWSTR port = ports; printer && port && *port && !found;) {
                while (*port == L' ') ++port;
                size_t length = wcscspn(port, L",");
                found = PortNamesEqual(std::wstring(port, length).c_str(), portName);
                if (found) {
                    wcsncpy(name, printer, kPrinterNameChars - 1);
                    name[kPrinterNameChars - 1] = L'\0';
                }
                port += length;
                if (*port == L',') ++port;
            }
        }
    }
    FreeSplMem(printers);
    return found;
}

// Closes what a job record still holds from its previous job before it is reused.
void releaseJobLeftovers(QelJob* job)
{
    if (job->hPrinter) ClosePrinter(job->hPrinter);
    if (job->jobEndEvent) CloseHandle(job->jobEndEvent);
    if (job->listener) CloseHandle(job->listener);
    job->hPrinter = nullptr;
    job->jobEndEvent = nullptr;
    job->listener = nullptr;
}

// Sends the PJL probe and reads the printer's answer; true when it speaks PJL.
bool probePrinter(QelJob* job)
{
    DWORD written = 0;
    prtWrite(job->socket, reinterpret_cast<const BYTE*>(kPjlEchoProbe.data()),
             static_cast<DWORD>(kPjlEchoProbe.size()), &written);
    // Zeroed once: each receive overwrites from the start, and the last byte, never
    // received into, keeps the text terminated.
    char reply[kProbeBufferSize] = {};
    DWORD limit = SpecifiedWait(kProbeLimitMs);
    DWORD start = GetTickCount();
    for (;;) {
        if (job->socket == kNoSocket) break;
        DWORD passed = GetTickCount() - start;
        if (passed >= limit) break;  // a printer that keeps talking
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(AsSocket(job->socket), &readable);
        DWORD waitMs = std::min(SpecifiedWait(kProbeWindowMs), limit - passed);
        timeval wait{static_cast<long>(waitMs / 1000), static_cast<long>(waitMs % 1000 * 1000)};
        if (select(0, &readable, nullptr, nullptr, &wait) <= 0) break;
        if (recv(AsSocket(job->socket), reply, kProbeBufferSize - 1, 0) <= 0) break;
    }
    TRACE(TRC_FLOW, "lanportm: Buffer: %s\n", reply);
    return strstr(reply, "Testing") || strstr(reply, "@PJL ECHO");
}

// A handle that outlived its port's deletion: the record is still allocated (the handle
// holds it), but no new work may start on it.
bool deletedPortRefused(const QelPort* port, const char* operation)
{
    if (!(port->flags & portDeleted)) return false;
    TRACE(TRC_ERROR, "lanportm: %s: Port %ls has been deleted\n", operation, port->portName);
    return true;
}

void startListener(QelJob* job)
{
    InterlockedExchange(&job->lastHeard, static_cast<LONG>(GetTickCount()));
    InterlockedExchange(&job->stopListening, 0);
    uintptr_t thread = _beginthreadex(nullptr, 0, pjlStartListening, job, 0, nullptr);
    job->listener = reinterpret_cast<HANDLE>(thread);
}

// Waits for the printer's end of the job. The wait ends when the listener signals the
// end or ends, when the printer has sent no report for kPrinterSilenceMs, or after
// kEndWaitLimitMs in all; then the listener is asked to end the job as reported.
void waitForJobEnd(QelJob* job)
{
    DWORD silence = SpecifiedWait(kPrinterSilenceMs);
    DWORD limit = SpecifiedWait(kEndWaitLimitMs);
    DWORD waitStart = GetTickCount();
    HANDLE objects[] = {job->jobEndEvent, job->listener};
    for (;;) {
        DWORD rc = WaitForMultipleObjects(2, objects, FALSE, SpecifiedWait(kEndWaitCheckMs));
        if (rc != WAIT_TIMEOUT) return;
        DWORD now = GetTickCount();
        DWORD heard = static_cast<DWORD>(InterlockedCompareExchange(&job->lastHeard, 0, 0));
        DWORD quietSince = now - heard < now - waitStart ? heard : waitStart;
        bool silent = now - quietSince >= silence;
        if (silent || now - waitStart >= limit) {
            TRACE(TRC_ERROR, "lanportm: EndDocPort: %s; job %d taken as ended\n",
                  silent ? "the printer fell silent" : "no end within the wait's limit", static_cast<int>(job->jobId));
            InterlockedCompareExchange(&job->stopListening, kListenerStopAndEnd, 0);
            return;
        }
    }
}

// Ends the job's listener, so that it never uses the job after EndDocPort. The listener
// looks up from each of its waits within kListenerStopCheckMs.
void stopListener(QelJob* job)
{
    if (!job->listener) return;
    InterlockedCompareExchange(&job->stopListening, kListenerStop, 0);
    WaitForSingleObject(job->listener, INFINITE);
    CloseHandle(job->listener);
    job->listener = nullptr;
}

BOOL startDoc(QelPort* port, LPWSTR printerName, DWORD jobId, DWORD level, LPBYTE docInfo)
{
    TRACE(TRC_FLOW, "lanportm: Entry StartDocPort(%08x, %ls, %d, %d, %08x)\n", TraceAddr(port), printerName,
          static_cast<int>(jobId), static_cast<int>(level), TraceAddr(docInfo));
    WCHAR resolved[kPrinterNameChars] = L"";
    LPCWSTR name = printerName;
    if (port && (!name || !*name) && printerForPort(port->portName, resolved)) name = resolved;
    bool valid = port && docInfo && name && *name && level == 1;
    if (!valid) TRACE(TRC_ERROR, "lanportm: StartDocPort: Invalid parameters\n");
    if (!port) {
        TRACE(TRC_FLOW, "lanportm: Exit  StartDocPort returns %d\n", FALSE);
        return FALSE;
    }
    if (deletedPortRefused(port, "StartDocPort")) {
        TRACE(TRC_FLOW, "lanportm: Exit  StartDocPort returns %d\n", FALSE);
        SetLastError(ERROR_UNKNOWN_PORT);
        return FALSE;
    }
    TRACE(TRC_FLOW, "lanportm: StartDocPort: EnterCriticalSection(jobSubmissionCritSec)\n");
    EnterCriticalSection(&port->jobSubmissionCritSec);

    QelJob jobTemplate{};
    QelJob* job = &jobTemplate;
    bool markedBusy = false, printerOpen = false, created = false;
    BOOL result = FALSE;
    do {
        if (!valid) break;
        if (port->flags & portBusy) {
            TRACE(TRC_ERROR, "lanportm: StartDocPort: Port is being used.  NOT expect to have another StartDocPort call!!!\n");
            break;
        }
        port->flags |= portBusy;
        markedBusy = true;
        NoteJobStarted(port, jobId);

        jobTemplate.port = port;
        jobTemplate.jobId = jobId;
        if (port->monitorLevel & 6) jobTemplate.jobFlags |= jobActive;
        if (trxInstalled && wcsncmp(name, L"TRX-", 4) == 0) jobTemplate.jobFlags |= jobTrxPrinter;
        jobTemplate.socket = kNoSocket;
        jobTemplate.JobIdOnPrintDevice = -1;

        TRACE(TRC_DETAIL, "lanportm: StartDocPort: OpenPrinter printerName=%ls\n", name);
        if (!OpenPrinterW(const_cast<LPWSTR>(name), &jobTemplate.hPrinter, nullptr)) {
            TRACE(TRC_ERROR, "lanportm: StartDocPort: OpenPrinter failed for %ls, last error %d\n", name,
                  static_cast<int>(GetLastError()));
            jobTemplate.hPrinter = nullptr;
            break;
        }
        printerOpen = true;
        if (prtConnect(port, &jobTemplate.socket) == kConnected) {
            TRACE(TRC_DETAIL, "lanportm: StartDocPort: Connected to printer ipAddress=%ul, socket=%d\n",
                  static_cast<unsigned>(port->ipAddress), static_cast<int>(jobTemplate.socket));
        }
        if (!StartProtectedRead(&port->portLock)) {
            TRACE(TRC_ERROR, "lanportm: StartDocPort: StartProtectedRead failed\n");
            break;
        }
        bool reuse = !(port->monitorLevel & 6) && port->firstJob;
        EndProtectedRead(&port->portLock);
        if (reuse) {
            // Such a port keeps a single job record, which this job now takes over.
            job = port->firstJob;
            QelJob* next = job->next;
            releaseJobLeftovers(job);
            *job = jobTemplate;
            job->signature = kJobSignature;
            job->next = next;
        } else {
            job = CreateJobEntry(&jobTemplate);
            if (!job) {
                job = &jobTemplate;
                TRACE(TRC_ERROR, "lanportm: StartDocPort: addJob failed for %ls,\n", name);
                break;
            }
            created = true;
        }
        job->jobEndEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);

        job->pjlCompatible = probePrinter(job);
        NoteProbe(port, job->pjlCompatible);
        if (!job->pjlCompatible) {
            prtDisconnect(job->socket, TRUE);
            job->socket = kNoSocket;
            prtConnect(port, &job->socket);
        }
        TRACE(TRC_FLOW, "lanportm: The printer %s PJL compatible\n", job->pjlCompatible ? "is" : "is not");

        bool headerFailed = false;
        if (SendsPjlHeader(port->printerType)) {
            char label[kJobLabelLength + 1];
            BuildJobLabel(reinterpret_cast<DOC_INFO_1W*>(docInfo)->pDocName, label);
            EnforcePJLValueRules(label);
            TRACE(TRC_DETAIL, "lanportm: StartDocPort: Send PJL Cmds for jobId=%d\n", static_cast<int>(job->jobId));
            if (job->pjlCompatible && !prtWritePJL(label, job)) {
                TRACE(TRC_ERROR, "lanportm: StartDocPort: sendPJLCmds failed for %ls\n", name);
                headerFailed = true;
            }
        }
        // Not after a failed header: the clean-up below may delete the record.
        if (job->pjlCompatible && !headerFailed) startListener(job);
        if (headerFailed) break;
        GetPrinterInfo(job);
        result = TRUE;
    } while (false);

    if (result) {
        port->jobThread = GetCurrentThreadId();
        HoldPort(port);  // until EndDocPort, whatever becomes of the handle
    } else {
        // Whatever connection the job holds, from the first connect or the reconnection
        // after the probe.
        if (job->socket != kNoSocket) {
            netSetOptionLinger(job->socket, FALSE, 0);
            prtDisconnect(job->socket, DrainsOnClose(port->printerType));
            job->socket = kNoSocket;
        }
        if (printerOpen && job->hPrinter) {
            ClosePrinter(job->hPrinter);
            job->hPrinter = nullptr;
        }
        // Only a mark this call set: a refused call leaves the running job's mark alone.
        if (markedBusy) {
            NoteJobEnded(port);
            port->flags &= ~portBusy;
        }
        if ((port->monitorLevel & 6) && created) DeleteJobEntry(job);
        TRACE(TRC_FLOW, "lanportm: StartDocPort: LeaveCriticalSection(jobSubmissionCritSec)\n");
        LeaveCriticalSection(&port->jobSubmissionCritSec);
    }
    TRACE(TRC_FLOW, "lanportm: Exit  StartDocPort returns %d\n", result);
    return result;
}

BOOL writeData(QelPort* port, LPBYTE data, DWORD size, LPDWORD written)
{
    TRACE(TRC_FLOW, "lanportm: Entry WritePort(%d bytes)\n", static_cast<int>(size));
    TRACE(TRC_FLOW, "lanportm: Buffer size: %d\n",
          static_cast<int>(data ? strnlen(reinterpret_cast<const char*>(data), size) : 0));
    DWORD sent = 0;
    BOOL result = FALSE;
    QelJob* job = nullptr;
    DWORD error = 0;
    // A job in progress on a port deleted meanwhile still finishes.
    if (port && !(port->flags & portBusy) && deletedPortRefused(port, "WritePort")) {
        error = ERROR_UNKNOWN_PORT;
    } else if (!port || !port->firstJob) {
        TRACE(TRC_ERROR, "lanportm: WritePort: Invalid parameters\n");
    } else if (!(job = GetCurrentJob(port))) {
        TRACE(TRC_ERROR, "lanportm: WritePort: Current job for port %08x not found\n", TraceAddr(port));
    } else {
        result = prtWrite(job->socket, data, size, &sent);
        if (!result) {
            TRACE(TRC_ERROR, "lanportm: WritePort: prtWrite failed\n");
            // The listener may have taken the reset's report from the socket first.
            if (LONG reset = InterlockedCompareExchange(&job->connectionError, 0, 0)) WSASetLastError(reset);
            CheckAndRestartJob(job);
        }
    }
    if (written) *written = sent;
    Sleep(SpecifiedWait(kWritePortPauseMs));
    if (job)
        TRACE(TRC_FLOW, "lanportm: Exit  WritePort%s; %d Bytes; id=%d\n", result ? "" : " failure",
              static_cast<int>(sent), static_cast<int>(job->jobId));
    else
        TRACE(TRC_FLOW, "lanportm: Exit  WritePort%s; %d Bytes\n", result ? "" : " failure", static_cast<int>(sent));
    if (error) SetLastError(error);
    return result;
}

BOOL endDoc(QelPort* port)
{
    TRACE(TRC_FLOW, "lanportm: Entry EndDocPort(%08x)\n", TraceAddr(port));
    if (!port) {
        TRACE(TRC_ERROR, "lanportm: EndDocPort: Invalid parameters\n");
        TRACE(TRC_FLOW, "lanportm: Exit  EndDocPort returns %d\n", FALSE);
        return FALSE;
    }
    // Only the thread whose StartDocPort succeeded holds the port's submission.
    if (port->jobThread != GetCurrentThreadId()) {
        TRACE(TRC_ERROR, "lanportm: EndDocPort: Invalid parameters\n");
        TRACE(TRC_FLOW, "lanportm: Exit  EndDocPort returns %d\n", FALSE);
        return FALSE;
    }
    BOOL result = TRUE;
    QelJob* job = nullptr;
    if (!port->firstJob) {
        TRACE(TRC_ERROR, "lanportm: EndDocPort: Invalid parameters\n");
        result = FALSE;
    } else if (!(job = GetCurrentJob(port))) {
        TRACE(TRC_ERROR, "lanportm: EndDocPort: Current job for port %08x not found\n", TraceAddr(port));
        result = FALSE;
    }
    if (job) {
        if (job->jobFlags & jobTrxPrinter) {
            TRACE(TRC_DETAIL, "lanportm: Adding EOJ to the job\n");
            result = prtWritePJLEOJ(job);
            if (!result)
                TRACE(TRC_ERROR, "lanportm: EndDocPort: prtWritePJLEOJ failed for JobId=%d, JobIdOnPrintDevice=%d\n",
                      static_cast<int>(job->jobId), static_cast<int>(job->JobIdOnPrintDevice));
        }
        if (job->pjlCompatible && job->listener) waitForJobEnd(job);
        stopListener(job);
        // A reset the listener saw and no write did: the job did not reach the printer.
        if (LONG reset = InterlockedCompareExchange(&job->connectionError, 0, 0); reset && !job->ending) {
            WSASetLastError(reset);
            CheckAndRestartJob(job);
        }
        if (result) {
            // The close never waits for a printer that does not take the data queued.
            if (job->socket != kNoSocket) netSetOptionLinger(job->socket, FALSE, 0);
            result = prtDisconnect(job->socket, DrainsOnClose(port->printerType));
            job->socket = kNoSocket;
            if (!(job->pjlCompatible && trxInstalled)) {
                if (job->jobId && ClaimJobEnding(job, JOB_CONTROL_LAST_PAGE_EJECTED) &&
                    !SetJobW(job->hPrinter, job->jobId, 0, nullptr, JOB_CONTROL_LAST_PAGE_EJECTED))
                    TRACE(TRC_SEVERE, "lanportm: EndDocPort: SetJob failed with last error %d\n",
                          static_cast<int>(GetLastError()));
                if (!ClosePrinter(job->hPrinter))
                    TRACE(TRC_SEVERE, "lanportm: EndDocPort: ClosePrinter failed with last error %d\n",
                          static_cast<int>(GetLastError()));
                job->hPrinter = nullptr;
            }
        }
    }
    NoteJobEnded(port);
    port->flags &= ~portBusy;
    // A monitored job's record has served its purpose once its listener has ended; the
    // other ports keep their one record for the next job.
    if (job && (job->jobFlags & jobActive)) DeleteJobEntry(job);
    else if (job) job->jobId = 0;
    port->jobThread = 0;
    TRACE(TRC_FLOW, "lanportm: EndDocPort: LeaveCriticalSection(jobSubmissionCritSec)\n");
    LeaveCriticalSection(&port->jobSubmissionCritSec);
    ReleasePort(port);
    TRACE(TRC_FLOW, "lanportm: Exit  EndDocPort returns %d\n", result);
    return result;
}

}  // namespace

bool SendsPjlHeader(DWORD printerType)
{
    return printerType <= 6;
}

bool DrainsOnClose(DWORD printerType)
{
    return printerType == 7;
}

void BuildJobLabel(LPCWSTR documentName, char* label)
{
    label[0] = '1';
    memset(label + 1, ' ', kLabelNameBytes);
    if (LPSTR narrow = WideToMultiReplacing(documentName, '?')) {
        size_t length = strlen(narrow);
        const char* start = length > kLabelNameBytes ? narrow + length - kLabelNameBytes : narrow;
        memcpy(label + 1, start, length > kLabelNameBytes ? kLabelNameBytes : length);
        FreeSplMem(narrow);
    }
    struct __timeb64 now;
    _ftime64(&now);
    srand(static_cast<unsigned>(now.time * 1024 + now.millitm));
    for (int i = 0; i < kLabelDigits; ++i) label[1 + kLabelNameBytes + i] = static_cast<char>('0' + rand() % 10);
    label[kJobLabelLength] = '\0';
}

BOOL CheckAndRestartJob(QelJob* job)
{
    int error = WSAGetLastError();
    if (error != WSAENETRESET && error != WSAECONNABORTED && error != WSAECONNRESET) return TRUE;
    TRACE(TRC_FLOW, "lanportm: CheckAndRestartJob: Restart Job %d due to network error sockRc=%d\n",
          static_cast<int>(job->jobId), error);
    NoteConnectionError(job->port, error);
    WSASetLastError(0);
    if (job->jobId == 0) return TRUE;  // no spooler job to restart
    if (!ClaimJobEnding(job, JOB_CONTROL_RESTART)) {
        TRACE(TRC_FLOW, "lanportm: CheckAndRestartJob: Job %d has already ended with command %d\n",
              static_cast<int>(job->jobId), static_cast<int>(job->ending));
        return TRUE;
    }
    if (!SetJobW(job->hPrinter, job->jobId, 0, nullptr, JOB_CONTROL_RESTART)) {
        TRACE(TRC_SEVERE, "lanportm: CheckAndRestartJob: Restart Job %d failed with last error %d\n",
              static_cast<int>(job->jobId), static_cast<int>(GetLastError()));
        return FALSE;
    }
    return TRUE;
}

bool ClaimJobEnding(QelJob* job, LONG command)
{
    LONG before = InterlockedCompareExchange(&job->ending, command, 0);
    return before == 0 || before == command;
}

BOOL GetPrinterInfo(QelJob* job)
{
    TRACE(TRC_FLOW, "lanportm: Entry GetPrinterInfo\n");
    BOOL result = FALSE;
    DWORD needed = 0;
    if (GetPrinterW(job->hPrinter, 2, nullptr, 0, &needed)) {
        TRACE(TRC_SEVERE, "lanportm: GetPrinterInfo: GetPrinter succeeded with zero-length buffer for JobId %d\n",
              static_cast<int>(job->jobId));
    } else if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        TRACE(TRC_ERROR,
              "lanportm: GetPrinterInfo: GetPrinter failed while determining pcbNeeded, for JobId %d; GetLastError()=%d\n",
              static_cast<int>(job->jobId), static_cast<int>(GetLastError()));
    } else if (auto* info = static_cast<PRINTER_INFO_2W*>(AllocSplMem(needed)); !info) {
        TRACE(TRC_ERROR, "lanportm: GetPrinterInfo: AllocSplMem failed for JobId %d; GetLastError()=%d\n",
              static_cast<int>(job->jobId), static_cast<int>(GetLastError()));
    } else {
        if (!GetPrinterW(job->hPrinter, 2, reinterpret_cast<BYTE*>(info), needed, &needed)) {
            TRACE(TRC_SEVERE, "lanportm: GetPrinterInfo: GetPrinter failed for JobId %d; GetLastError()=%d; *pcbNeeded=%d\n",
                  static_cast<int>(job->jobId), static_cast<int>(GetLastError()), static_cast<int>(needed));
        } else {
            job->printerAttributes = info->Attributes;
            if (info->pSepFile)
                TRACE(TRC_DETAIL, "lanportm: GetPrinterInfo: Attributes=%08x; Separator page=%ls\n",
                      static_cast<unsigned>(info->Attributes), info->pSepFile);
            else
                TRACE(TRC_DETAIL, "lanportm: GetPrinterInfo: Attributes=%08x; Separator page=\n",
                      static_cast<unsigned>(info->Attributes));
            result = TRUE;
        }
        FreeSplMem(info);
    }
    TRACE(TRC_FLOW, "lanportm: Exit  GetPrinterInfo %s\n", result ? "success" : "failure");
    return result;
}

namespace lanport {

BOOL WINAPI StartDocPort(HANDLE port, LPWSTR printerName, DWORD jobId, DWORD level, LPBYTE docInfo)
{
    BOOL result = FALSE;
    ExceptionGuard("StartDocPort", [&] { result = startDoc(static_cast<QelPort*>(port), printerName, jobId, level, docInfo); });
    return result;
}

BOOL WINAPI WritePort(HANDLE port, LPBYTE data, DWORD size, LPDWORD written)
{
    BOOL result = FALSE;
    ExceptionGuard("WritePort", [&] { result = writeData(static_cast<QelPort*>(port), data, size, written); });
    return result;
}

BOOL WINAPI EndDocPort(HANDLE port)
{
    BOOL result = FALSE;
    ExceptionGuard("EndDocPort", [&] { result = endDoc(static_cast<QelPort*>(port)); });
    return result;
}

}  // namespace lanport
