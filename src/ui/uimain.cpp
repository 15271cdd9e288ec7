// Entry points of the UI library: DllMain and the MONITORUI table.
#include <windows.h>
#include <commctrl.h>
#include <winspool.h>
#include <winsplp.h>

#include "support.h"
#include "trace.h"
#include "uimodule.h"

namespace lanportui {

HINSTANCE hInstLang = nullptr;

}  // namespace lanportui

namespace {

bool traceStarted = false;

// The spooler checks the size field against the record it knows: 16 bytes on x86.
const MONITORUI kMonitorUi = {
    sizeof(MONITORUI),
    lanportui::AddPortUI,
    lanportui::ConfigurePortUI,
    lanportui::QelIppDeletePortUI,
};
static_assert(sizeof(void*) != 4 || sizeof(MONITORUI) == 16);

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved)
{
    if (!traceStarted) {
        traceStarted = true;
        if (!TraceStart()) {
            SetLastError(ERROR_DLL_INIT_FAILED);
            return FALSE;
        }
    } else {
        TRACE(TRC_FLOW, "lanportu: DllEntryPoint - debug log already initialized.\n");
    }
    TRACE(TRC_FLOW, "lanportu: DllEntryPoint(%08x, %d, %08x)\n", TraceAddr(module), static_cast<int>(reason),
          TraceAddr(reserved));
    DWORD error = ERROR_SUCCESS;
    bool closeLog = false;
    if (!module) {
        TRACE(TRC_ERROR, "lanportu: Invalid parameter.\n");
        error = ERROR_INVALID_PARAMETER;
    } else if (reason == DLL_PROCESS_DETACH) {
        TRACE(TRC_FLOW, "lanportu: DllEntryPoint(PROCESS_DETACH)\n");
        closeLog = true;
    } else if (reason == DLL_PROCESS_ATTACH) {
        TRACE(TRC_FLOW, "lanportu: DllEntryPoint(PROCESS_ATTACH)\n");
        lanportui::hInstLang = module;
        TRACE(TRC_FLOW, "lanportu: hInstLang=%08x\n", TraceAddr(module));
        DisableThreadLibraryCalls(module);
        InitCommonControls();
    } else {
        TRACE(TRC_ERROR, "lanportu: Invalid parameter.\n");
        error = ERROR_INVALID_PARAMETER;
    }
    TRACE(TRC_FLOW, "lanportu: DllEntryPoint %s.\n", error == ERROR_SUCCESS ? "SUCCESS" : "FAILURE");
    if (closeLog && traceOn) {
        TRACE(TRC_FLOW, "lanportu: DllEntryPoint - Close log file.\n");
        TraceStop();
    }
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        TRACE(TRC_FLOW, "lanportu: DllEntryPoint failure.\n");
        return FALSE;
    }
    TRACE(TRC_FLOW, "lanportu: DllEntryPoint success.\n");
    return TRUE;
}

extern "C" PMONITORUI WINAPI InitializePrintMonitorUI()
{
    TRACE(TRC_FLOW, "lanportu: InitializePrintMonitorUI()\n");
    TRACE(TRC_FLOW, "lanportu: InitializePrintMonitorUI success.\n");
    return const_cast<PMONITORUI>(&kMonitorUi);
}
