// The shipped binaries' seams: specified waits as they are, no injected failures.
#include "seams.h"

DWORD SpecifiedWait(DWORD ms)
{
    return ms;
}

time_t CurrentTime()
{
    return time(nullptr);
}

DWORD InjectedFault(FaultPoint)
{
    return 0;
}

void Observe(Observation, DWORD) {}

EnumPortsRoutine RouterEnumPorts(EnumPortsRoutine bound)
{
    return bound;
}
