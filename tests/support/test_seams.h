// Controls of the test build's seams (see seams.h).
#pragma once

#include <functional>
#include <vector>

#include "seams.h"

namespace testseams {

// The floor for shortened waits in which a peer must act (a probe window, a printer's
// silence): on a loaded two-core machine the peer may not run for several hundred
// milliseconds.
constexpr DWORD kShortestWaitMs = 1000;

// Specified waits of `ms` last ms / divisor (at least 1 ms); a wait longer than floorMs
// lasts no less than floorMs.
struct Shortening {
    DWORD divisor;
    DWORD floorMs = 1;
};
void SetWaitDivisor(Shortening shortening);
inline void SetWaitDivisor(DWORD divisor)
{
    SetWaitDivisor(Shortening{divisor});
}

// What a specified wait of `ms` lasts under the present shortening.
DWORD Shortened(DWORD ms);

// The next `count` passes through `point`, after `skip` passes, fail with `error`.
void InjectFault(FaultPoint point, DWORD error, unsigned count = 1, unsigned skip = 0);

// The values reported at an observation point, and the waits the code asked for (in the
// product's milliseconds), since the last Reset.
std::vector<DWORD> Observed(Observation what);
std::vector<DWORD> RequestedWaits();

// false: RequestedWaits and Observed stop growing, so that a long run keeps its memory
// flat; WaitRequests goes on counting.
void KeepRecords(bool keep);

// How many times the code asked for a wait of `ms` since the last Reset.
unsigned long long WaitRequests(DWORD ms);

// Runs `action` on the observing thread each time the code passes `what`.
void OnObservation(Observation what, std::function<void()> action);

// Moves CurrentTime() forward by `seconds`.
void AdvanceClock(time_t seconds);

// The monitor asks `standIn` in place of the router's EnumPortsW (nullptr: the router).
void SetRouterEnumPorts(EnumPortsRoutine standIn);

// Removes every injected fault, observation and stand-in, restores real-time waits and the clock.
void Reset();

}  // namespace testseams
