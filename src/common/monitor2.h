// The size of the MONITOR2 table the monitor hands the spooler. The monitor interface
// ends the table with pfnShutdown; newer headers append members the monitor does not
// provide (bidirectional data, used-port notices), so the size is taken up to that slot
// rather than from sizeof(MONITOR2).
#pragma once

#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

#include <cstddef>

constexpr DWORD kMonitor2Size = offsetof(MONITOR2, pfnShutdown) + sizeof(MONITOR2::pfnShutdown);
static_assert(kMonitor2Size == 19 * sizeof(void*));
static_assert(kMonitor2Size == (sizeof(void*) == 8 ? 152 : 76));
