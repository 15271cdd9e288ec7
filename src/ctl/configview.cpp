// What `lanportctl show` and `list` show of a port's configuration (see configview.h).
#include "configview.h"

#include <cwchar>
#include <iterator>

#include "messages.h"

namespace lanportctl {

namespace {

std::wstring communityOf(const ConfigInfo& info)
{
    return std::wstring(info.community, wcsnlen(info.community, std::size(info.community)));
}

}  // namespace

std::vector<std::wstring> PortConfigLines(const std::wstring& port, const PortConfig& config)
{
    const ConfigInfo& info = config.config;
    return {
        L"name: " + port,
        L"address: " + std::wstring(config.dotted),
        L"address format: " + AddressFormatName(info.addrFormat),
        L"timeout: " + std::to_wstring(info.timeout),
        L"retry count: " + std::to_wstring(info.retryCount),
        L"community: " + communityOf(info),
        L"monitor frequency: " + std::to_wstring(info.monitorFrequency),
        L"trap port: " + std::to_wstring(info.trapPort),
        L"monitor level: " + std::to_wstring(info.monitorLevel),
        L"flags: " + PortFlagsText(config.flags),
    };
}

void WritePortConfig(JsonWriter& json, const std::wstring& port, const PortConfig& config)
{
    const ConfigInfo& info = config.config;
    json.beginObject();
    json.field(L"name", port);
    json.field(L"address", std::wstring(config.dotted));
    json.field(L"addressFormat", AddressFormatName(info.addrFormat));
    json.field(L"addressFormatCode", info.addrFormat);
    json.field(L"timeout", info.timeout);
    json.field(L"retryCount", info.retryCount);
    json.field(L"community", communityOf(info));
    json.field(L"monitorFrequency", info.monitorFrequency);
    json.field(L"trapPort", info.trapPort);
    json.field(L"monitorLevel", info.monitorLevel);
    json.field(L"flags", config.flags);
    json.field(L"open", (config.flags & kPortStatusOpen) != 0);
    json.field(L"busy", (config.flags & kPortStatusBusy) != 0);
    json.endObject();
}

void WritePortListEntry(JsonWriter& json, const std::wstring& port, const PortConfig& config)
{
    json.beginObject();
    json.field(L"name", port);
    json.field(L"address", std::wstring(config.dotted));
    json.endObject();
}

}  // namespace lanportctl
