// The subcommands of lanportctl. Each reaches the monitor only through the spooler (an
// XCV handle from OpenPrinterW, XcvDataW, EnumPortsW) and returns the exit status.
#pragma once

#include <optional>
#include <string>

#include "session.h"

namespace lanportctl {

enum class Format { Text, Json };

// The ranges `set` accepts. The monitor derives how long a deleted port's record is kept
// from (retries + 1) x timeout x 2, which these bounds keep far inside 32 bits.
constexpr LONG kMinTimeout = 1;
constexpr LONG kMaxTimeout = 3600;
constexpr LONG kMinRetries = 0;
constexpr LONG kMaxRetries = 100;
constexpr size_t kMaxCommunityChars = 255;  // the record's field holds 256 with the NUL

// What `set` changes; the fields not given keep their values.
struct PortChanges {
    std::optional<std::wstring> address;
    std::optional<LONG> timeout;
    std::optional<LONG> retryCount;
    std::optional<std::wstring> community;
};

int RunList(const Session& session, Format format);
// `force` answers yes where the add-port dialog asks whether to create the port anyway.
int RunAdd(const Session& session, const std::wstring& address, const std::wstring& name, bool force);
int RunShow(const Session& session, const std::wstring& port, Format format);
int RunSet(const Session& session, const std::wstring& port, const PortChanges& changes);
// The status of `port`, or of every port of the monitor when it is NULL.
int RunStatus(const Session& session, const std::wstring* port, Format format);
int RunDelete(const Session& session, const std::wstring& port);

}  // namespace lanportctl
