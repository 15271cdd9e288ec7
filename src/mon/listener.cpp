// The PJL status listener thread, the report parser and the spooler job updates.
#include "listener.h"

#include <winsock2.h>
#include <winspool.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>

#include "monitor.h"
#include "netlayer.h"
#include "portstatus.h"
#include "printjob.h"
#include "seams.h"
#include "support.h"
#include "trace.h"

namespace {

constexpr WCHAR kTrxMarker[] = L"                    TRX:";  // 20 blanks and "TRX:"

// A job record read from the spooler, freed on every way out.
struct JobInfo {
    JOB_INFO_2W* info = nullptr;
    ~JobInfo()
    {
        if (info) FreeSplMem(info);
    }
};

void noteHeard(QelJob* job)
{
    InterlockedExchange(&job->lastHeard, static_cast<LONG>(GetTickCount()));
}

bool stopRequested(QelJob* job)
{
    return InterlockedCompareExchange(&job->stopListening, 0, 0) != 0;
}

bool isReset(int error)
{
    return error == WSAENETRESET || error == WSAECONNABORTED || error == WSAECONNRESET;
}

timeval slice(DWORD ms)
{
    return {static_cast<long>(ms / 1000), static_cast<long>(ms % 1000 * 1000)};
}

// Waits until the socket is readable, looking up now and then in case the job has
// ended. Returns select's result, or 0 when the job asked the listener to stop.
int waitReadable(QelJob* job, SOCKET s)
{
    for (;;) {
        if (stopRequested(job)) return 0;
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(s, &readable);
        timeval wait = slice(SpecifiedWait(kListenerStopCheckMs));
        int rc = select(0, &readable, nullptr, nullptr, &wait);
        if (rc != 0) return rc;
    }
}

// Pauses for `ms`, looking up now and then; false when the job asked the listener to stop.
bool pauseUnlessStopped(QelJob* job, DWORD ms)
{
    DWORD length = SpecifiedWait(ms);
    DWORD start = GetTickCount();
    for (;;) {
        if (stopRequested(job)) return false;
        DWORD passed = GetTickCount() - start;
        if (passed >= length) return true;
        Sleep(std::min(length - passed, SpecifiedWait(kListenerStopCheckMs)));
    }
}

// Connects a socket of the listener's own to the job's printer. The connect does not
// block: it is given up when the job asks the listener to stop or after
// kListenerConnectLimitMs, so the listener never holds EndDocPort up.
WORD connectOwn(QelJob* job, LONG* own)
{
    TRACE(TRC_FLOW, "lanportm: Entry connectOwn(portName=%ls)\n", job->port->portName);
    LONG local = kNoSocket;
    WORD result = kConnectFailed;
    if (netCreateSocket(&local)) {
        SOCKET s = AsSocket(local);
        u_long nonBlocking = 1;
        ioctlsocket(s, FIONBIO, &nonBlocking);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(kPrinterPort);
        address.sin_addr.s_addr = job->port->ipAddress;
        int error = 0;
        if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0) {
            result = kConnected;
        } else if (error = WSAGetLastError(); error == WSAEWOULDBLOCK) {
            error = 0;
            DWORD limit = SpecifiedWait(kListenerConnectLimitMs);
            DWORD start = GetTickCount();
            while (!stopRequested(job) && GetTickCount() - start < limit) {
                fd_set writable, failed;
                FD_ZERO(&writable);
                FD_ZERO(&failed);
                FD_SET(s, &writable);
                FD_SET(s, &failed);
                timeval wait = slice(SpecifiedWait(kListenerStopCheckMs));
                int rc = select(0, nullptr, &writable, &failed, &wait);
                if (rc == SOCKET_ERROR) break;
                if (FD_ISSET(s, &writable)) {
                    result = kConnected;
                    break;
                }
                if (FD_ISSET(s, &failed)) {
                    int length = sizeof(error);
                    getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length);
                    TRACE(TRC_FLOW, "lanportm:   connect() error=%d\n", error);
                    if (error == WSAECONNREFUSED) result = kConnectRefused;
                    break;
                }
            }
        }
        if (error) NoteConnectionError(job->port, error);
        if (result == kConnected) {
            nonBlocking = 0;
            ioctlsocket(s, FIONBIO, &nonBlocking);
            *own = local;
        } else {
            netClose(&local, FALSE);
        }
    }
    TRACE(TRC_FLOW, "lanportm: Exit  connectOwn returns %d\n", result);
    return result;
}

// After the printer closed the connection: connects again, pausing before each attempt
// so that a printer that closes every connection is not called again at once. False when
// no connection came or the job has ended meanwhile.
bool reconnect(QelJob* job, LONG* own)
{
    for (int attempt = 1; attempt <= kConnectAttempts; ++attempt) {
        if (!pauseUnlessStopped(job, kRetryPauseMs)) return false;
        WORD rc = connectOwn(job, own);
        if (rc == kConnected) return true;
        if (rc == kConnectRefused) return false;  // a refusal is not retried
    }
    return false;
}

// The listener's job check: FALSE when the listener must end (the failure traced).
bool checkJob(QelJob* job, bool* deleting)
{
    DWORD needed = 0;
    if (job->jobId == 0 || GetJobW(job->hPrinter, job->jobId, 2, nullptr, 0, &needed) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return true;
    JobInfo info;
    info.info = static_cast<JOB_INFO_2W*>(AllocSplMem(needed));
    if (!info.info) {
        TRACE(TRC_ERROR, "lanportm: doSetJob: AllocSplMem failed for pJob->JobId %d; GetLastError()=%d\n",
              static_cast<int>(job->jobId), static_cast<int>(GetLastError()));
        return false;
    }
    if (!GetJobW(job->hPrinter, job->jobId, 2, reinterpret_cast<BYTE*>(info.info), needed, &needed)) {
        TRACE(TRC_SEVERE, "lanportm: doSetJob: GetJob failed for pJob->JobId %d; GetLastError()=%d; *pcbNeeded=%d\n",
              static_cast<int>(job->jobId), static_cast<int>(GetLastError()), static_cast<int>(needed));
        return false;
    }
    TRACE(TRC_FLOW, "lanportm: pStatus value is: %ls\n", info.info->pStatus);
    TRACE(TRC_FLOW, "lanportm: Status value is: %d\n", static_cast<int>(info.info->Status));
    if (info.info->Status & JOB_STATUS_DELETING) *deleting = true;
    return true;
}

}  // namespace

int LoadResMessage(LPWSTR buffer, int capacity, UINT id, const DWORD_PTR* inserts)
{
    buffer[0] = L'\0';
    WCHAR text[kStatusTextChars + 1] = L"";
    if (LoadStringW(languageModule, id, text, kStatusTextChars + 1) <= 0) return 0;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY, text, 0, 0,
                                  buffer, static_cast<DWORD>(capacity),
                                  reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(inserts)));
    if (length == 0) buffer[0] = L'\0';
    return static_cast<int>(length);
}

void BuildStatusText(DWORD kind, const QelJob* job, LPWSTR text)
{
    static constexpr UINT kIds[] = {kStatusStartId, kStatusPageId, kStatusEndId, kStatusCancelId};
    static constexpr int kCommands[] = {0, 0, JOB_CONTROL_LAST_PAGE_EJECTED, JOB_CONTROL_CANCEL};
    WCHAR page[16];
    swprintf(page, 16, L"%d", static_cast<int>(job->currentPage));
    DWORD_PTR inserts[] = {reinterpret_cast<DWORD_PTR>(page)};
    bool trx = job->jobFlags & jobTrxPrinter;
    // The TRX tail always fits: the resource text is cut to leave room for it.
    WCHAR tail[80] = L"";
    if (trx) {
        int p = static_cast<int>(job->currentPage);
        if (kind == kReportStart)
            swprintf(tail, 80, L"%ls%d,%d,%d,%d,%d,%d", kTrxMarker, -2, -2, -2, -2, 0, -2);
        else
            swprintf(tail, 80, L"%ls%d,%d,%d,%d,%d,%d", kTrxMarker, p, -2, p / 2, -2, kCommands[kind], -2);
    }
    int room = kStatusTextChars - static_cast<int>(wcslen(tail));
    WCHAR resource[kStatusTextChars + 1] = L"";
    LoadResMessage(resource, kStatusTextChars + 1, kIds[kind], inserts);
    resource[room - 1] = L'\0';
    swprintf(text, kStatusTextChars, L"%ls%ls", resource, tail);
}

void DoSetJob(DWORD kind, QelJob* job)
{
    TRACE(TRC_FLOW, "lanportm: Entry DoSetJob\n");
    TRACE(TRC_FLOW, "lanportm: pJob->JobId: %d\n", static_cast<int>(job->jobId));
    bool ending = kind == kReportEnd || kind == kReportCancel;
    // Every way out writes the exit line, so the trace's indentation stays level.
    struct Leave {
        QelJob* job;
        bool ending;
        ~Leave()
        {
            TRACE(TRC_FLOW, "lanportm: Exit DoSetJob\n");
            // Only after the last use of the job: EndDocPort may go on at once.
            if (ending) SetEvent(job->jobEndEvent);
        }
    } leave{job, ending};
    // A spooler that passes no job id has no job record to read or update.
    if (job->jobId == 0) return;
    // One job gets one ending: a job already restarted gets no end or cancel on top.
    static constexpr LONG kEndings[] = {0, 0, JOB_CONTROL_LAST_PAGE_EJECTED, JOB_CONTROL_CANCEL};
    if (ending && !ClaimJobEnding(job, kEndings[kind])) {
        TRACE(TRC_ERROR, "lanportm: DoSetJob: job %d has already ended with command %d\n",
              static_cast<int>(job->jobId), static_cast<int>(job->ending));
        return;
    }
    DWORD needed = 0;
    if (!GetJobW(job->hPrinter, job->jobId, 2, nullptr, 0, &needed)) {
        DWORD error = GetLastError();
        if (error == ERROR_INVALID_PARAMETER) {
            TRACE(TRC_ERROR, "lanportm: doSetJob: GetJob failed while determining pcbNeeded, job %d doesn't exist anymore\n",
                  static_cast<int>(job->jobId));
            return;
        }
        if (error != ERROR_INSUFFICIENT_BUFFER) {
            TRACE(TRC_ERROR,
                  "lanportm: doSetJob: GetJob failed while determining pcbNeeded, for pJob->JobId %d; GetLastError()=%d\n",
                  static_cast<int>(job->jobId), static_cast<int>(error));
            return;
        }
    }
    JobInfo info;
    info.info = static_cast<JOB_INFO_2W*>(AllocSplMem(needed));
    if (!info.info) {
        TRACE(TRC_ERROR, "lanportm: doSetJob: AllocSplMem failed for pJob->JobId %d; GetLastError()=%d\n",
              static_cast<int>(job->jobId), static_cast<int>(GetLastError()));
        return;
    }
    if (!GetJobW(job->hPrinter, job->jobId, 2, reinterpret_cast<BYTE*>(info.info), needed, &needed)) {
        TRACE(TRC_SEVERE, "lanportm: doSetJob: GetJob failed for pJob->JobId %d; GetLastError()=%d; *pcbNeeded=%d\n",
              static_cast<int>(job->jobId), static_cast<int>(GetLastError()), static_cast<int>(needed));
        return;
    }
    TRACE(TRC_FLOW, "lanportm: pStatus value is: %ls\n", info.info->pStatus);
    TRACE(TRC_FLOW, "lanportm: Status value is: %d\n", static_cast<int>(info.info->Status));

    static constexpr const char* kKinds[] = {"start", "page", "end", "cancel"};
    static constexpr DWORD kCommands[] = {0, 0, JOB_CONTROL_LAST_PAGE_EJECTED, JOB_CONTROL_CANCEL};
    if (kind <= kReportCancel) {
        TRACE(TRC_FLOW, "lanportm: Going on JOB %s\n", kKinds[kind]);
        WCHAR status[kStatusTextChars];
        BuildStatusText(kind, job, status);
        JOB_INFO_2W update = *info.info;
        update.JobId = job->jobId;
        update.Position = JOB_POSITION_UNSPECIFIED;
        update.pStatus = status;
        if (kind == kReportPage) update.PagesPrinted = static_cast<DWORD>(job->currentPage);
        if (kind == kReportEnd) {
            TRACE(TRC_ERROR, "lanportm: DoSetJob: Status string value before: %ls\n", info.info->pStatus);
            TRACE(TRC_ERROR, "lanportm: DoSetJob: Status string value after: %ls\n", status);
        }
        DWORD command = (job->jobFlags & jobTrxPrinter) ? 0 : kCommands[kind];
        if (!SetJobW(job->hPrinter, job->jobId, 2, reinterpret_cast<BYTE*>(&update), command))
            TRACE(TRC_ERROR, "lanportm: DoSetJob: SetJob failed GetLastError()=%d\n", static_cast<int>(GetLastError()));
    }
    GetJobW(job->hPrinter, job->jobId, 2, reinterpret_cast<BYTE*>(info.info), needed, &needed);
    TRACE(TRC_FLOW, "lanportm: Parameters: %d, %ls\n", static_cast<int>(info.info->Status), info.info->pStatus);
}

void processPJLString(char* text, QelJob* job)
{
    TRACE(TRC_FLOW, "lanportm: Entry processPJLString...\n");
    // The port's status notes what the printer said, before the spooler hears of it.
    auto report = [job](DWORD kind) {
        NoteReport(job->port, kind, job->currentPage);
        DoSetJob(kind, job);
    };
    for (char* segment = text; segment && *segment;) {
        char* formFeed = strchr(segment, '\f');
        if (formFeed) *formFeed = '\0';
        if (*segment) {
            // The end wait's silence counts from the last report, not from any bytes.
            if (strstr(segment, "PJL USTATUS")) noteHeard(job);
            if (strstr(segment, "PJL USTATUS PAGE")) {
                if (const char* lineFeed = strchr(segment, '\n')) {
                    job->currentPage = strtol(lineFeed + 1, nullptr, 10);
                    TRACE(TRC_FLOW, "lanportm: Curerntly printing page: %d\n", static_cast<int>(job->currentPage));
                }
                report(kReportPage);
            } else if (strstr(segment, "PJL USTATUS JOB")) {
                if (strstr(segment, "CANCELED")) {
                    TRACE(TRC_FLOW, "lanportm: Job was canceled\n");
                    report(kReportCancel);
                } else if (strstr(segment, "END")) {
                    TRACE(TRC_FLOW, "lanportm: Job was finished\n");
                    report(kReportEnd);
                } else {
                    TRACE(TRC_FLOW, "lanportm: Start job received\n");
                    job->currentPage = 0;
                    report(kReportStart);
                }
            }
        }
        segment = formFeed ? formFeed + 1 : nullptr;
    }
    TRACE(TRC_FLOW, "lanportm: Exit processPJLString...\n");
}

unsigned __stdcall pjlStartListening(void* argument)
{
    auto* job = static_cast<QelJob*>(argument);
    TRACE(TRC_FLOW, "lanportm: Entry pjlStartListening...\n");
    bool done = false;
    bool reportEnd = false;
    // The job's socket belongs to WritePort and EndDocPort; after the printer closed it,
    // the listener goes on on a connection of its own.
    SOCKET current = AsSocket(job->socket);
    LONG own = kNoSocket;
    char* received = static_cast<char*>(AllocSplMem(kListenerReceiveSize + 1));
    while (received && !done) {
        int rc = waitReadable(job, current);
        if (rc == 0) break;  // EndDocPort ended the job
        TRACE(TRC_ERROR, "lanportm: select returned: %d\n", rc);
        if (rc == SOCKET_ERROR) {
            Sleep(SpecifiedWait(kListenerPauseMs));
            reportEnd = true;
            break;
        }
        int count = recv(current, received, kListenerReceiveSize, 0);
        if (count == 0) {
            TRACE(TRC_FLOW, "lanportm: Error on read from printer - socket closed by the printer...\n");
            if (own != kNoSocket) netClose(&own, FALSE);
            if (!reconnect(job, &own)) {
                reportEnd = true;
                break;
            }
            current = AsSocket(own);
            continue;
        }
        if (count == SOCKET_ERROR) {
            int error = WSAGetLastError();
            TRACE(TRC_ERROR, "lanportm: pjlStartListening: recv() error=%d\n", error);
            // A reset is no end of the job: the listener leaves the verdict to WritePort
            // and EndDocPort, which restart the job. Any other failure ends it.
            if (isReset(error)) {
                InterlockedExchange(&job->connectionError, error);
                NoteConnectionError(job->port, error);
            } else {
                reportEnd = true;
            }
            break;
        }
        received[count] = '\0';
        bool deleting = false;
        if (!checkJob(job, &deleting)) break;
        if (deleting) {
            SetEvent(job->jobEndEvent);
            done = true;
        }
        if (strstr(received, "END")) done = true;
        processPJLString(received, job);
        received[0] = '\0';
        Sleep(SpecifiedWait(kListenerPauseMs));
    }
    // A job that EndDocPort stopped because the printer fell silent ends as if reported.
    bool givenUp = InterlockedCompareExchange(&job->stopListening, 0, 0) == kListenerStopAndEnd;
    if (!done && (givenUp || (reportEnd && !stopRequested(job)))) DoSetJob(kReportEnd, job);
    if (own != kNoSocket) netClose(&own, FALSE);
    if (received) FreeSplMem(received);
    TRACE(TRC_FLOW, "lanportm: Exit pjlStartListening...\n");
    // Every way out signals the job's end, so EndDocPort never waits for a listener
    // that has gone.
    SetEvent(job->jobEndEvent);
    return 0;
}
