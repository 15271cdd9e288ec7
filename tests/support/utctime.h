// Times of the system clock as the monitor reports them: UTC FILETIMEs, compared as
// counts of 100 ns.
#pragma once

#include <windows.h>

namespace testing_support {

inline ULONGLONG TicksOf(const FILETIME& time)
{
    return static_cast<ULONGLONG>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}

inline ULONGLONG UtcNow()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return TicksOf(now);
}

}  // namespace testing_support
