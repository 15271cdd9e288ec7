// Controls of the test build's seams (see seams.h).
#pragma once

#include "seams.h"

namespace testseams {

// Specified waits of `ms` last ms / divisor (at least 1 ms when ms > 0).
void SetWaitDivisor(DWORD divisor);

// The next `count` passes through `point`, after `skip` passes, fail with `error`.
void InjectFault(FaultPoint point, DWORD error, unsigned count = 1, unsigned skip = 0);

// Removes every injected fault and restores real-time waits.
void Reset();

}  // namespace testseams
