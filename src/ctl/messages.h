// The one-line texts of lanportctl: the UI's messages, cut to one line each, with the
// address or the port they are about.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "xcvrequests.h"

namespace lanportctl {

// The help text, one entry a line.
const std::vector<std::wstring>& UsageLines();

// A failed address check, by the UI message the check named; `usedBy` names the port
// that has the address, when known.
std::wstring AddressMessage(UINT messageId, const std::wstring& address, const std::wstring& usedBy);

// A failed port-name check, by the UI message the check named.
std::wstring NameMessage(UINT messageId, const std::wstring& name);
std::wstring NameTooLongMessage(const std::wstring& name);

// "AddPort" answered `errRc`; `forced` tells that the question it asks was answered yes.
std::wstring AddPortMessage(DWORD errRc, const std::wstring& name, bool forced);

// "GetPortConfig" or "CfgPort" answered `errRc`.
std::wstring GetConfigMessage(DWORD errRc, const std::wstring& port);
std::wstring ConfigureMessage(DWORD errRc, const std::wstring& port);

std::wstring NoSuchPortMessage(const std::wstring& port);
std::wstring OtherMonitorMessage(const std::wstring& port, const std::wstring& monitor);
std::wstring SpoolerMessage(const std::wstring& what, DWORD error);
// The spooler of `server` failed `what`: the server, the system's text and the code.
std::wstring ServerMessage(const std::wstring& what, const std::wstring& server, DWORD error);

// "UpdPortComm" cannot reach `port`: the monitor knows it by another address until it restarts.
std::wstring CommunityAddressMessage(const std::wstring& port);

// "GetPortStatus" for `port` failed as `outcome` tells.
std::wstring StatusMessage(const std::wstring& port, const XcvOutcome& outcome);

// The system's text for a Win32 or Winsock error code, on one line; "error <n>" when the
// system has none.
std::wstring SystemErrorText(DWORD error);

// A port's address format code in words.
std::wstring AddressFormatName(DWORD addrFormat);
// A port's flags word in words.
std::wstring PortFlagsText(DWORD portFlags);

}  // namespace lanportctl
