// PJL job framing: the exact bytes the monitor sends, the job header and end of job,
// and the value filter exported to other components.
#pragma once

#include <windows.h>

#include <string_view>

#include "pmuports.h"

// ESC "%-12345X": the Universal Exit Language command.
constexpr std::string_view kPjlUel = "\x1b%-12345X";
constexpr std::string_view kPjlEchoProbe = "\x1b%-12345X@PJL ECHO Testing\r\n";
constexpr std::string_view kPjlJobHeader =
    "\x1b%-12345X"
    "@PJL JOB\r\n"
    "@PJL USTATUSOFF\r\n"
    "@PJL USTATUS JOB=ON\r\n"
    "@PJL USTATUS PAGE=ON\r\n";
constexpr std::string_view kPjlEndOfJob = "\x1b%-12345X@PJL EOJ \r\n\x1b%-12345X";
static_assert(kPjlEchoProbe.size() == 28);
static_assert(kPjlJobHeader.size() == 79);
static_assert(kPjlEndOfJob.size() == 29);

constexpr size_t kPjlBufferSize = 1024;

BOOL prtWritePJL(const char* label, QelJob* job);
BOOL prtWritePJLEOJ(QelJob* job);
BOOL prtWriteAndWait(LONG socket, const BYTE* data, DWORD count, DWORD* written);

extern "C" int __cdecl EnforcePJLValueRules(char* text);
