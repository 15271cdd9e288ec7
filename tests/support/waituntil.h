// Waiting in a test for a condition that another thread or process brings about.
#pragma once

#include <windows.h>

#include <functional>

namespace testing_support {

// Whether `condition` came true within `boundMs`. The bound only ends a wait for a
// condition that never comes: a test that reaches it has failed.
inline bool WaitUntil(const std::function<bool()>& condition, DWORD boundMs = 30000)
{
    ULONGLONG end = GetTickCount64() + boundMs;
    while (!condition()) {
        if (GetTickCount64() >= end) return condition();
        Sleep(1);
    }
    return true;
}

}  // namespace testing_support
