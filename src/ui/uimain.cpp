// Entry points of the UI library.
#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

#include "trace.h"

namespace {

bool traceStarted = false;

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved)
{
    (void)module;
    (void)reserved;
    if (!traceStarted) {
        traceStarted = true;
        if (!TraceStart()) {
            SetLastError(ERROR_DLL_INIT_FAILED);
            return FALSE;
        }
    }
    if (reason == DLL_PROCESS_DETACH) TraceStop();
    return TRUE;
}

extern "C" PMONITORUI WINAPI InitializePrintMonitorUI()
{
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return nullptr;
}
