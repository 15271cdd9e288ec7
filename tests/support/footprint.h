// The process's footprint as the system reports it: open handles and private bytes.
#pragma once

#include <windows.h>

#include <set>

namespace testing_support {

// GetProcessHandleCount; where that does not count (Wine answers 0), the entries of this
// process in the system's handle list.
DWORD ProcessHandleCount();

// The process's commit charge: PrivateUsage, or PagefileUsage, which Windows reports as
// the same number and Wine fills alone.
SIZE_T ProcessPrivateBytes();

// The ids of process `processId`'s threads in the system's thread list; none when the
// list cannot be had (a process always has a thread).
std::set<DWORD> ProcessThreads(DWORD processId);

}  // namespace testing_support
