// The spooler's view of the ports: which exist and which monitor each belongs to.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace lanportctl {

struct SpoolerPort {
    std::wstring name;
    std::wstring monitor;
};

// Every port the spooler of `server` (NULL: this computer) knows (EnumPortsW, level 2);
// FALSE with the last error set when the spooler cannot list them.
BOOL SpoolerPorts(LPCWSTR server, std::vector<SpoolerPort>* ports);

// The port whose name equals `name` ignoring case, as the spooler and the monitor
// compare names; NULL when there is none.
const SpoolerPort* FindSpoolerPort(const std::vector<SpoolerPort>& ports, const std::wstring& name);

bool SameName(const std::wstring& a, const std::wstring& b);

// The name of the monitor's port at `ipAddress` ("GetPortName"); empty when the monitor
// names none.
std::wstring PortAtAddress(HANDLE hXcv, DWORD ipAddress);

}  // namespace lanportctl
