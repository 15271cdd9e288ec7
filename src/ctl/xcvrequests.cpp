// The XCV requests that only the command-line tool sends (see xcvrequests.h).
#include "xcvrequests.h"

#include <winspool.h>

#include <cwchar>
#include <iterator>

namespace lanportctl {

namespace {

template <class Request, class Reply>
XcvOutcome issue(HANDLE hXcv, LPCWSTR command, Request* request, Reply* reply, DWORD* errRc)
{
    XcvOutcome outcome;
    DWORD needed = 0;
    outcome.sent = XcvDataW(hXcv, command, reinterpret_cast<PBYTE>(request), sizeof *request,
                            reinterpret_cast<PBYTE>(reply), sizeof *reply, &needed, &outcome.status);
    if (!outcome.sent) outcome.error = GetLastError();
    outcome.errRc = *errRc;
    return outcome;
}

}  // namespace

XcvOutcome IssueUpdatePortCommunity(HANDLE hXcv, DWORD ipAddress, const std::wstring& community)
{
    UpdPortCommRequest request{};
    request.ipAddress = ipAddress;
    // The caller has checked the length; a longer text would reach the monitor cut.
    wcsncpy(request.community, community.c_str(), std::size(request.community) - 1);
    DWORD errRc = kErrRcSuccess;
    return issue(hXcv, L"UpdPortComm", &request, &errRc, &errRc);
}

XcvOutcome IssueGetPortStatus(HANDLE hXcv, const std::wstring& port, GetPortStatusReply* reply)
{
    GetPortStatusRequest request{};
    // A name the record cannot hold whole would ask for another port.
    if (port.size() >= std::size(request.portName)) {
        XcvOutcome outcome;
        outcome.error = ERROR_INVALID_PARAMETER;
        return outcome;
    }
    wcscpy(request.portName, port.c_str());
    *reply = GetPortStatusReply{};
    return issue(hXcv, L"GetPortStatus", &request, reply, &reply->errRc);
}

}  // namespace lanportctl
