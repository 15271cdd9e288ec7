// What `lanportctl status` shows of a port's status (see statusview.h).
#include "statusview.h"

#include "messages.h"

namespace lanportctl {

namespace {

bool isZero(const FILETIME& time)
{
    return time.dwLowDateTime == 0 && time.dwHighDateTime == 0;
}

std::wstring flagWords(DWORD flags)
{
    std::wstring words;
    if (flags & kPortStatusOpen) words += L" open";
    if (flags & kPortStatusBusy) words += L" busy";
    if (flags & kPortStatusDeleted) words += L" deleted";
    WCHAR hex[16];
    wsprintfW(hex, L"0x%x", static_cast<unsigned>(flags));
    return std::wstring(hex) + (words.empty() ? L"" : L" (" + words.substr(1) + L")");
}

long long minutesBetween(const FILETIME& later, const FILETIME& earlier)
{
    auto ticks = [](const FILETIME& time) {
        return static_cast<long long>(static_cast<unsigned long long>(time.dwHighDateTime) << 32 |
                                      time.dwLowDateTime);
    };
    // FILETIME counts 100-ns intervals.
    return (ticks(later) - ticks(earlier)) / (10'000'000LL * 60);
}

std::wstring connectionErrorText(DWORD error)
{
    if (!error) return L"none";
    return std::to_wstring(error) + L" (" + SystemErrorText(error) + L")";
}

}  // namespace

std::wstring ReportKindName(DWORD kind)
{
    switch (kind) {
    case kPortReportNone: return L"none";
    case kPortReportStart: return L"start";
    case kPortReportPage: return L"page";
    case kPortReportEnd: return L"end";
    case kPortReportCancel: return L"cancel";
    default: return L"unknown (" + std::to_wstring(kind) + L")";
    }
}

std::wstring LocalTimeText(const FILETIME& utc)
{
    SYSTEMTIME utcParts{}, local{};
    FILETIME localTime{};
    if (!FileTimeToSystemTime(&utc, &utcParts) || !SystemTimeToTzSpecificLocalTime(nullptr, &utcParts, &local) ||
        !SystemTimeToFileTime(&local, &localTime))
        return L"(invalid time)";
    long long offset = minutesBetween(localTime, utc);
    long long magnitude = offset < 0 ? -offset : offset;
    WCHAR text[40];
    wsprintfW(text, L"%04u-%02u-%02uT%02u:%02u:%02u%c%02u:%02u", local.wYear, local.wMonth, local.wDay, local.wHour,
              local.wMinute, local.wSecond, offset < 0 ? L'-' : L'+', static_cast<unsigned>(magnitude / 60),
              static_cast<unsigned>(magnitude % 60));
    return text;
}

std::vector<std::wstring> PortStatusLines(const std::wstring& port, const GetPortStatusReply& status)
{
    std::wstring job = status.jobInProgress ? L"in progress" : L"none in progress";
    if (status.jobId) job += (status.jobInProgress ? L", job id " : L", last job id ") + std::to_wstring(status.jobId);
    std::wstring report = ReportKindName(status.lastReport);
    if (!isZero(status.lastReportTime)) report += L" at " + LocalTimeText(status.lastReportTime);
    return {
        L"name: " + port,
        L"flags: " + flagWords(status.portFlags),
        L"job: " + job,
        std::wstring(L"PJL answered: ") + (status.pjlAnswered ? L"yes" : L"no"),
        L"last page: " + std::to_wstring(status.lastPage),
        L"last report: " + report,
        L"last connection error: " + connectionErrorText(status.lastConnectionError),
    };
}

void WritePortStatus(JsonWriter& json, const std::wstring& port, const GetPortStatusReply& status)
{
    json.beginObject();
    json.field(L"name", port);
    json.field(L"flags", status.portFlags);
    json.field(L"open", (status.portFlags & kPortStatusOpen) != 0);
    json.field(L"busy", (status.portFlags & kPortStatusBusy) != 0);
    json.field(L"deleted", (status.portFlags & kPortStatusDeleted) != 0);
    json.field(L"jobInProgress", status.jobInProgress != 0);
    json.field(L"jobId", status.jobId);
    json.field(L"pjlAnswered", status.pjlAnswered != 0);
    json.field(L"lastPage", status.lastPage);
    json.field(L"lastReport", ReportKindName(status.lastReport));
    json.key(L"lastReportTime");
    if (isZero(status.lastReportTime))
        json.null();
    else
        json.string(LocalTimeText(status.lastReportTime));
    json.field(L"lastConnectionError", status.lastConnectionError);
    json.field(L"lastConnectionErrorText",
               status.lastConnectionError ? SystemErrorText(status.lastConnectionError) : std::wstring());
    json.endObject();
}

}  // namespace lanportctl
