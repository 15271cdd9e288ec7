// The XCV requests that only the command-line tool sends: the port dialogs never change
// a community or ask what a port is doing.
#pragma once

#include <windows.h>

#include <string>

#include "records.h"

namespace lanportctl {

// What became of one request: `sent` is FALSE when the spooler did not deliver it (then
// `error` is its last error); otherwise `status` is the monitor's XCV status and `errRc`
// its own code from the reply.
struct XcvOutcome {
    BOOL sent = FALSE;
    DWORD error = ERROR_SUCCESS;
    DWORD status = ERROR_SUCCESS;
    DWORD errRc = kErrRcSuccess;

    bool succeeded() const { return sent && status == ERROR_SUCCESS && errRc == kErrRcSuccess; }
};

// "UpdPortComm": the port the monitor runs at `ipAddress` gets `community`.
XcvOutcome IssueUpdatePortCommunity(HANDLE hXcv, DWORD ipAddress, const std::wstring& community);

// "GetPortStatus" for `port`; `reply` holds the answer when the outcome succeeded.
XcvOutcome IssueGetPortStatus(HANDLE hXcv, const std::wstring& port, GetPortStatusReply* reply);

}  // namespace lanportctl
