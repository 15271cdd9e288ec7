// The one-line texts of lanportctl: the UI's messages, cut to one line each, with the
// address or the port they are about.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

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

// A port's address format code in words.
std::wstring AddressFormatName(DWORD addrFormat);
// A port's flags word in words.
std::wstring PortFlagsText(DWORD portFlags);

}  // namespace lanportctl
