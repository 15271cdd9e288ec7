// What `lanportctl status` shows of one port's "GetPortStatus" answer: lines of text, or
// one JSON object.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "json.h"
#include "records.h"

namespace lanportctl {

std::vector<std::wstring> PortStatusLines(const std::wstring& port, const GetPortStatusReply& status);

// Fields: name, flags, open, busy, deleted, jobInProgress, jobId, pjlAnswered, lastPage,
// lastReport, lastReportTime (null before any report), lastConnectionError,
// lastConnectionErrorText ("" when none).
void WritePortStatus(JsonWriter& json, const std::wstring& port, const GetPortStatusReply& status);

// The kind of a printer report in words: none, start, page, end, cancel; unknown (<n>).
std::wstring ReportKindName(DWORD kind);

// A UTC time as local time, ISO 8601 with the local offset: 2026-12-09T03:04:05+01:00.
std::wstring LocalTimeText(const FILETIME& utc);

}  // namespace lanportctl
