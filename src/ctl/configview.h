// What `lanportctl show` and `list` show of a port's configuration: lines of text, or
// JSON objects.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "json.h"
#include "records.h"

namespace lanportctl {

// A port's configuration as "GetPortConfig" answered it.
struct PortConfig {
    ConfigInfo config{};
    WCHAR dotted[16] = L"";
    DWORD flags = 0;
};

std::vector<std::wstring> PortConfigLines(const std::wstring& port, const PortConfig& config);

// Fields: name, address, addressFormat, addressFormatCode, timeout, retryCount, community,
// monitorFrequency, trapPort, monitorLevel, flags, open, busy.
void WritePortConfig(JsonWriter& json, const std::wstring& port, const PortConfig& config);

// One entry of `list --json`. Fields: name, address.
void WritePortListEntry(JsonWriter& json, const std::wstring& port, const PortConfig& config);

}  // namespace lanportctl
