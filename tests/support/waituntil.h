// Waiting in a test for a condition that another thread or process brings about.
#pragma once

#include <windows.h>

#include <functional>

namespace testing_support {

// Whether `condition` came true within `boundMs`. The bound only ends a wait for a
// condition that never comes: a test that reaches it has failed. The pause between two
// looks grows to 16 ms: a condition that takes long to come is not asked for
// hundreds of times a second (many ask the spooler or start a program).
inline bool WaitUntil(const std::function<bool()>& condition, DWORD boundMs = 30000)
{
    ULONGLONG end = GetTickCount64() + boundMs;
    DWORD pauseMs = 1;
    while (!condition()) {
        if (GetTickCount64() >= end) return condition();
        Sleep(pauseMs);
        if (pauseMs < 16) pauseMs *= 2;
    }
    return true;
}

}  // namespace testing_support
