// The client side of the monitor's XCV commands, as the dialogs use them.
#pragma once

#include <windows.h>

#include "records.h"

namespace lanportui {

// The printer name that opens an XCV handle: ",XcvMonitor <monitor>" or ",XcvPort <port>",
// after "<server>\" when a server (\\name) is given. Writes it when `chars` holds it with
// its NUL; returns the characters it needs, NUL included.
DWORD XcvObjectName(LPCWSTR server, LPCWSTR monOrPortName, BOOL isMonitor, LPWSTR name, DWORD chars);

// Opens an XCV handle to the monitor (isMonitor) or to one of its ports; NULL on failure.
HANDLE getXcvHandle(LPCWSTR server, LPCWSTR monOrPortName, BOOL isMonitor);

// Closes a handle from getXcvHandle (NULL is ignored).
void closeXcvHandle(HANDLE hXcv);

// On failure `messageId` names the string to show. `dottedText` holds 16 characters.
BOOL IssueVerPortAddr(HANDLE hXcv, LPCWSTR addressText, DWORD* ipAddress, LPWSTR dottedText,
                      DWORD* addrFormat, UINT* messageId);
BOOL IssueVerPortName(HANDLE hXcv, LPCWSTR portName, UINT* messageId);
BOOL IssueAddPort(HANDLE hXcv, const AddPortRequest* request, AddPortReply* reply);
BOOL IssueGetPortConfig(HANDLE hXcv, LPCWSTR portName, LPWSTR dottedText, ConfigInfo* configInfo,
                        DWORD* portFlags, DWORD* errRc);
BOOL IssueConfigurePort(HANDLE hXcv, LPCWSTR portName, const ConfigInfo* configInfo, DWORD* errRc);
BOOL IssueDeletePort(HANDLE hXcv, LPCWSTR portName, DWORD* error);

void BeginWaitCursor();
void EndWaitCursor();

}  // namespace lanportui
