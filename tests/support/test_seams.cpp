// The test build's seams: shortened waits and injected failures, set by the tests.
#include "test_seams.h"

#include <algorithm>
#include <array>
#include <functional>
#include <map>
#include <mutex>

namespace {

struct Fault {
    DWORD error = 0;
    unsigned count = 0;
    unsigned skip = 0;
};

std::mutex seamLock;
DWORD waitDivisor = 1;
DWORD waitFloor = 1;
std::array<Fault, static_cast<size_t>(FaultPoint::Count)> faults;
std::vector<DWORD> sendCalls;
std::vector<DWORD> waits;
bool keepRecords = true;
std::map<DWORD, unsigned long long> waitCounts;
time_t clockOffset = 0;
std::array<std::function<void()>, static_cast<size_t>(Observation::Count)> observationActions;
EnumPortsRoutine enumPortsStandIn = nullptr;

// Called with seamLock held.
DWORD shortenedLocked(DWORD ms)
{
    if (ms == INFINITE || waitDivisor <= 1) return ms;
    DWORD shortened = std::max(ms / waitDivisor, std::min<DWORD>(ms, 1));
    // Pauses and polls at or below the floor shorten freely; longer waits are the ones a
    // peer must act within.
    return ms > waitFloor ? std::max(shortened, waitFloor) : shortened;
}

}  // namespace

DWORD SpecifiedWait(DWORD ms)
{
    std::lock_guard guard(seamLock);
    if (keepRecords) waits.push_back(ms);
    ++waitCounts[ms];
    return shortenedLocked(ms);
}

time_t CurrentTime()
{
    std::lock_guard guard(seamLock);
    return time(nullptr) + clockOffset;
}

DWORD InjectedFault(FaultPoint point)
{
    std::lock_guard guard(seamLock);
    Fault& fault = faults[static_cast<size_t>(point)];
    if (fault.count == 0) return 0;
    if (fault.skip > 0) {
        --fault.skip;
        return 0;
    }
    --fault.count;
    return fault.error;
}

void Observe(Observation what, DWORD value)
{
    std::function<void()> action;
    {
        std::lock_guard guard(seamLock);
        if (what == Observation::SendCall && keepRecords) sendCalls.push_back(value);
        action = observationActions[static_cast<size_t>(what)];
    }
    if (action) action();
}

EnumPortsRoutine RouterEnumPorts(EnumPortsRoutine bound)
{
    std::lock_guard guard(seamLock);
    return enumPortsStandIn ? enumPortsStandIn : bound;
}

namespace testseams {

std::vector<DWORD> Observed(Observation what)
{
    std::lock_guard guard(seamLock);
    return what == Observation::SendCall ? sendCalls : std::vector<DWORD>{};
}

std::vector<DWORD> RequestedWaits()
{
    std::lock_guard guard(seamLock);
    return waits;
}

void KeepRecords(bool keep)
{
    std::lock_guard guard(seamLock);
    keepRecords = keep;
}

unsigned long long WaitRequests(DWORD ms)
{
    std::lock_guard guard(seamLock);
    auto found = waitCounts.find(ms);
    return found == waitCounts.end() ? 0 : found->second;
}

DWORD Shortened(DWORD ms)
{
    std::lock_guard guard(seamLock);
    return shortenedLocked(ms);
}

void SetWaitDivisor(Shortening shortening)
{
    std::lock_guard guard(seamLock);
    waitDivisor = shortening.divisor;
    waitFloor = shortening.floorMs;
}

void InjectFault(FaultPoint point, DWORD error, unsigned count, unsigned skip)
{
    std::lock_guard guard(seamLock);
    faults[static_cast<size_t>(point)] = {error, count, skip};
}

void OnObservation(Observation what, std::function<void()> action)
{
    std::lock_guard guard(seamLock);
    observationActions[static_cast<size_t>(what)] = std::move(action);
}

void AdvanceClock(time_t seconds)
{
    std::lock_guard guard(seamLock);
    clockOffset += seconds;
}

void SetRouterEnumPorts(EnumPortsRoutine standIn)
{
    std::lock_guard guard(seamLock);
    enumPortsStandIn = standIn;
}

void Reset()
{
    std::lock_guard guard(seamLock);
    enumPortsStandIn = nullptr;
    waitDivisor = 1;
    waitFloor = 1;
    clockOffset = 0;
    keepRecords = true;
    waitCounts.clear();
    faults.fill({});
    sendCalls.clear();
    waits.clear();
    observationActions.fill({});
}

}  // namespace testseams
