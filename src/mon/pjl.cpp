// PJL job framing: header, end of job and the PJL value filter.
#include "pjl.h"

#include <winsock2.h>
#include <winspool.h>

#include <cstring>
#include <cwchar>

#include "netlayer.h"
#include "seams.h"
#include "support.h"
#include "trace.h"

namespace {

// The job's level-2 record from the spooler, or nullptr (the failure traced).
JOB_INFO_2W* readJobInfo(const QelJob* job)
{
    DWORD needed = 0;
    if (!GetJobW(job->hPrinter, job->jobId, 2, nullptr, 0, &needed) &&
        GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        TRACE(TRC_ERROR,
              "lanportm: prtWritePJL: GetJob failed while determining pcbNeeded, for JobId %d; GetLastError()=%d\n",
              static_cast<int>(job->jobId), static_cast<int>(GetLastError()));
        return nullptr;
    }
    auto* info = static_cast<JOB_INFO_2W*>(AllocSplMem(needed));
    if (!info) {
        TRACE(TRC_ERROR, "lanportm: prtWritePJL: AllocSplMem failed for JobId %d; GetLastError()=%d\n",
              static_cast<int>(job->jobId), static_cast<int>(GetLastError()));
        return nullptr;
    }
    if (!GetJobW(job->hPrinter, job->jobId, 2, reinterpret_cast<BYTE*>(info), needed, &needed)) {
        TRACE(TRC_SEVERE, "lanportm: prtWritePJL: GetJob failed for JobId %d; GetLastError()=%d; *pcbNeeded=%d\n",
              static_cast<int>(job->jobId), static_cast<int>(GetLastError()), static_cast<int>(needed));
        FreeSplMem(info);
        return nullptr;
    }
    return info;
}

// A spooler may leave the data type or the device mode out of the record: such a job
// is not an EMF job.
bool isEmfJob(const JOB_INFO_2W* info)
{
    return info->pDatatype && wcsncmp(info->pDatatype, L"NT EMF", 6) == 0;
}

int getSendBuffer(LONG socket, int* size)
{
    if (DWORD error = InjectedFault(FaultPoint::GetSendBuffer)) {
        WSASetLastError(static_cast<int>(error));
        return SOCKET_ERROR;
    }
    int length = sizeof(*size);
    return getsockopt(AsSocket(socket), SOL_SOCKET, SO_SNDBUF, reinterpret_cast<char*>(size), &length);
}

int setSendBuffer(LONG socket, int size)
{
    return setsockopt(AsSocket(socket), SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&size),
                      sizeof(size));
}

}  // namespace

BOOL prtWritePJL(const char* label, QelJob* job)
{
    TRACE(TRC_FLOW, "lanportm: Entry prtWritePJL(%s,%08x)\n", label, TraceAddr(job));
    BOOL result = FALSE;
    // A spooler that passes no job id has no job record to read: the header goes out all
    // the same.
    JOB_INFO_2W noJob{};
    JOB_INFO_2W* info = job->jobId ? readJobInfo(job) : &noJob;
    if (info) {
        if (isEmfJob(info) && info->pDevMode)
            TRACE(TRC_DETAIL, "lanportm: prtWritePJL: Set 'sides' field of job state to %d\n",
                  info->pDevMode->dmDuplex);
        char header[kPjlBufferSize] = {};
        memcpy(header, kPjlJobHeader.data(), kPjlJobHeader.size());
        TRACE(TRC_FLOW, "lanportm: PJL header string: %s", header);
        DWORD written = 0;
        result = prtWriteAndWait(job->socket, reinterpret_cast<const BYTE*>(header),
                                 static_cast<DWORD>(kPjlJobHeader.size()), &written);
        if (!result) TRACE(TRC_ERROR, "lanportm: prtWritePJL: prtWriteAndWait failed\n");
        if (info != &noJob) FreeSplMem(info);
    }
    TRACE(TRC_FLOW, "lanportm: Exit  prtWritePJL(); bRet=%d\n", result);
    return result;
}

BOOL prtWriteAndWait(LONG socket, const BYTE* data, DWORD count, DWORD* written)
{
    TRACE(TRC_FLOW, "lanportm: Entry prtWriteAndWait()\n");
    int savedSize = 0;
    BOOL result = FALSE;
    int size = 0;
    if (!netSetOptionNODELAY(socket, TRUE)) {
        TRACE(TRC_FLOW, "lanportm: failed to set NODELAY.\n");
    } else if (getSendBuffer(socket, &savedSize) == SOCKET_ERROR) {
        savedSize = 0;
        TRACE(TRC_FLOW, "lanportm: failed to query current SNDBUF size, lastError=%d\n", WSAGetLastError());
    } else if (setSendBuffer(socket, static_cast<int>(count)) == SOCKET_ERROR) {
        TRACE(TRC_FLOW, "lanportm: failed to set SNDBUF size=%d, lastError=%d\n", static_cast<int>(count),
              WSAGetLastError());
    } else if (getSendBuffer(socket, &size) == SOCKET_ERROR) {
        TRACE(TRC_FLOW, "lanportm: failed to query set SNDBUF size, lastError=%d\n", WSAGetLastError());
    } else {
        TRACE(TRC_FLOW, "lanportm: SNDBUF set OK to %d bytes\n", size);
        if (!prtWrite(socket, data, count, written)) {
            TRACE(TRC_ERROR, "lanportm: prtWrite failed\n");
        } else {
            fd_set writable;
            FD_ZERO(&writable);
            FD_SET(AsSocket(socket), &writable);
            int rc = select(0, nullptr, &writable, nullptr, nullptr);
            if (rc > 0 && FD_ISSET(AsSocket(socket), &writable)) {
                TRACE(TRC_ERROR, "lanportm: socket returns WRITABLE. rc=%d\n", rc);
                result = TRUE;
            } else {
                TRACE(TRC_ERROR, "lanportm: socket returns NON-writable. rc=%d; lastError=%d\n", rc,
                      WSAGetLastError());
            }
        }
    }
    if (savedSize != 0 && setSendBuffer(socket, savedSize) == SOCKET_ERROR) {
        TRACE(TRC_FLOW, "lanportm: failed to restore SNDBUF size=%d, lastError=%d\n", savedSize,
              WSAGetLastError());
        result = FALSE;
    }
    if (!netSetOptionNODELAY(socket, FALSE)) {
        TRACE(TRC_FLOW, "lanportm: failed to set NODELAY=false.\n");
        result = FALSE;
    }
    TRACE(TRC_FLOW, "lanportm: Exit  prtWriteAndWait(); bRet=%d\n", result);
    return result;
}

BOOL prtWritePJLEOJ(QelJob* job)
{
    char trailer[kPjlBufferSize] = {};
    memcpy(trailer, kPjlEndOfJob.data(), kPjlEndOfJob.size());
    DWORD written = 0;
    BOOL result = prtWrite(job->socket, reinterpret_cast<const BYTE*>(trailer),
                           static_cast<DWORD>(kPjlEndOfJob.size()), &written);
    if (!result) TRACE(TRC_ERROR, "lanportm: prtWritePJLEOJ: prtWrite failed\n");
    return result;
}

extern "C" int __cdecl EnforcePJLValueRules(char* text)
{
    for (char* c = text; *c; ++c)
        if (*c == '"') *c = '\'';
    for (char* c = text; *c; ++c) {
        auto byte = static_cast<unsigned char>(*c);
        if ((byte >= 0x01 && byte <= 0x08) || (byte >= 0x0A && byte <= 0x19)) *c = ' ';
    }
    return 1;
}
