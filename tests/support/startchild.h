// Starting a child program with inherited handles, for the helpers that run one.
#pragma once

#include <windows.h>

namespace testing_support {

// CreateProcessW with inherited handles and no window flags. When the new process ends
// before its start-up is done, Wine answers ERROR_INTERNAL_ERROR (1359); on a machine
// loaded to its limit its loader occasionally ends that way before any of the child's
// code has run, so that answer alone is tried once more. Every other failure is final.
inline BOOL StartChild(const wchar_t* program, wchar_t* command, STARTUPINFOW* startup, PROCESS_INFORMATION* info)
{
    for (int attempt = 0;; ++attempt) {
        if (CreateProcessW(program, command, nullptr, nullptr, TRUE, 0, nullptr, nullptr, startup, info)) return TRUE;
        if (GetLastError() != ERROR_INTERNAL_ERROR || attempt == 1) return FALSE;
    }
}

}  // namespace testing_support
