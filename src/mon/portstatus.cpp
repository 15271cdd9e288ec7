// A port's live status for "GetPortStatus".
#include "portstatus.h"

#include <cstring>

#include "listener.h"
#include "portadmin.h"
#include "records.h"
#include "support.h"
#include "trace.h"

namespace {

// One change of the job's values, bracketed so that readers can tell it from a whole one.
template <class Change>
void changeActivity(QelPort* port, Change change)
{
    PortActivity& activity = port->activity;
    InterlockedIncrement(&activity.changes);
    change(activity);
    InterlockedIncrement(&activity.changes);
}

LONG readCount(const PortActivity& activity)
{
    return InterlockedCompareExchange(const_cast<volatile LONG*>(&activity.changes), 0, 0);
}

// A reader retries while a change is under way. Writers never wait inside a change, so a
// few attempts suffice; past the bound the reply has the values as read.
constexpr int kReadAttempts = 1000;

void copyActivity(const QelPort* port, GetPortStatusReply* reply)
{
    const PortActivity& activity = port->activity;
    for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
        LONG before = readCount(activity);
        if (!(before & 1)) {
            reply->jobInProgress = activity.jobInProgress ? 1 : 0;
            reply->jobId = static_cast<DWORD>(activity.jobId);
            reply->pjlAnswered = activity.pjlAnswered ? 1 : 0;
            reply->lastPage = activity.page;
            reply->lastReport = static_cast<DWORD>(activity.report);
            reply->lastReportTime.dwLowDateTime = activity.reportTimeLow;
            reply->lastReportTime.dwHighDateTime = activity.reportTimeHigh;
            if (readCount(activity) == before) break;
        }
        SwitchToThread();
    }
    reply->lastConnectionError =
        static_cast<DWORD>(InterlockedCompareExchange(const_cast<volatile LONG*>(&activity.connectionError), 0, 0));
    reply->portFlags = port->flags & (kPortStatusOpen | kPortStatusBusy | kPortStatusDeleted);
}

}  // namespace

static_assert(portOpen == kPortStatusOpen && portBusy == kPortStatusBusy && portDeleted == kPortStatusDeleted);

void NoteJobStarted(QelPort* port, DWORD jobId)
{
    InterlockedExchange(&port->activity.connectionError, 0);
    changeActivity(port, [jobId](PortActivity& activity) {
        activity.jobInProgress = 1;
        activity.jobId = static_cast<LONG>(jobId);
        activity.pjlAnswered = 0;
        activity.page = 0;
        activity.report = kPortReportNone;
        activity.reportTimeLow = 0;
        activity.reportTimeHigh = 0;
    });
}

void NoteProbe(QelPort* port, bool answered)
{
    changeActivity(port, [answered](PortActivity& activity) { activity.pjlAnswered = answered ? 1 : 0; });
}

void NoteReport(QelPort* port, DWORD kind, LONG page)
{
    static constexpr DWORD kReports[] = {kPortReportStart, kPortReportPage, kPortReportEnd, kPortReportCancel};
    if (kind > kReportCancel) return;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    changeActivity(port, [&](PortActivity& activity) {
        activity.page = page;
        activity.report = static_cast<LONG>(kReports[kind]);
        activity.reportTimeLow = now.dwLowDateTime;
        activity.reportTimeHigh = now.dwHighDateTime;
    });
}

void NoteJobEnded(QelPort* port)
{
    changeActivity(port, [](PortActivity& activity) { activity.jobInProgress = 0; });
}

void NoteConnectionError(QelPort* port, int error)
{
    InterlockedExchange(&port->activity.connectionError, error);
}

DWORD GetPortStatusServer(PBYTE in, DWORD cbIn, PBYTE out, DWORD cbOut, PDWORD needed)
{
    TRACE(TRC_FLOW, "lanportm: Enter GetPortStatusServer(%08x,%d,%08x,%d,%08x)\n", TraceAddr(in),
          static_cast<int>(cbIn), TraceAddr(out), static_cast<int>(cbOut), TraceAddr(needed));
    DWORD status = ERROR_SUCCESS;
    GetPortStatusReply reply{};
    if (needed) *needed = sizeof reply;
    if (!out || cbOut < sizeof reply) {
        TRACE(TRC_FLOW, "lanportm: GetPortStatusServer: the reply needs %d bytes\n", static_cast<int>(sizeof reply));
        status = ERROR_INSUFFICIENT_BUFFER;
    } else if (!in || cbIn != sizeof(GetPortStatusRequest)) {
        TRACE(TRC_ERROR, "lanportm: Error in GetPortStatusServer - Bad parameters\n");
        reply.errRc = kErrRcGeneral;
        status = ERROR_INVALID_PARAMETER;
    } else if (RefusesPortName("GetPortStatusServer", in, cbIn, nullptr)) {
        reply.errRc = kErrRcGeneral;
        status = ERROR_INVALID_PARAMETER;
    } else {
        auto* name = reinterpret_cast<LPCWSTR>(in);
        // The hold keeps the record, should the port be deleted meanwhile.
        QelPort* port = HoldPortByName(name);
        if (!port) {
            TRACE(TRC_ERROR, "lanportm: GetPortStatusServer: Port %ls not found\n", name);
            reply.errRc = kErrRcPortNotFound;
            status = ERROR_UNKNOWN_PORT;
        } else {
            copyActivity(port, &reply);
            ReleasePort(port);
        }
    }
    // The reply is built here and copied whole: the spooler's buffer need not be aligned.
    if (status != ERROR_INSUFFICIENT_BUFFER) memcpy(out, &reply, sizeof reply);
    TRACE(TRC_FLOW, "lanportm: Exit  GetPortStatusServer(). Returned dwStatus=%d, errRc=%d\n",
          static_cast<int>(status), static_cast<int>(reply.errRc));
    return status;
}
