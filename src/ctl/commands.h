// The subcommands of lanportctl. Each reaches the monitor only through the spooler (an
// XCV handle from OpenPrinterW, XcvDataW, EnumPortsW) and returns the exit status.
#pragma once

#include <string>

#include "session.h"

namespace lanportctl {

int RunList(const Session& session);
// `force` answers yes where the add-port dialog asks whether to create the port anyway.
int RunAdd(const Session& session, const std::wstring& address, const std::wstring& name, bool force);
int RunShow(const Session& session, const std::wstring& port);
int RunSetAddress(const Session& session, const std::wstring& port, const std::wstring& address);
int RunDelete(const Session& session, const std::wstring& port);

}  // namespace lanportctl
