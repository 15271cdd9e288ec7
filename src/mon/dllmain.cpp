// Entry points of the port monitor library: DllMain, InitializePrintMonitor2 and the
// MONITOR2 table.
#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

#include <process.h>

#include <cerrno>

#include "garbage.h"
#include "monitor.h"
#include "monitor2.h"
#include "pmuports.h"
#include "portops.h"
#include "printjob.h"
#include "registry.h"
#include "seams.h"
#include "sehguard.h"
#include "support.h"
#include "trace.h"
#include "xcvserver.h"

HMODULE languageModule = nullptr;
BOOL trxInstalled = FALSE;
HKEY pMonRegistryRoot = nullptr;
CRITICAL_SECTION activeJobsCritSec;
HANDLE activeJobsEvent = nullptr;
HANDLE jobEndEvent = nullptr;
CRITICAL_SECTION garbageCritSec;
std::atomic<bool> monitorInitialized{false};

namespace {

bool firstCall = true;

BOOL WINAPI ReadPort(HANDLE port, LPBYTE buffer, DWORD size, LPDWORD read)
{
    TRACE(TRC_FLOW, "lanportm: ReadPort(%08x, %08x, %d, %08x); not supported\n", TraceAddr(port),
          TraceAddr(buffer), static_cast<int>(size), TraceAddr(read));
    return FALSE;
}

BOOL WINAPI SetPortTimeOuts(HANDLE port, LPCOMMTIMEOUTS timeouts, DWORD reserved)
{
    TRACE(TRC_FLOW, "lanportm: SetPortTimeOuts(%08x, %08x, %d); not supported\n", TraceAddr(port),
          TraceAddr(timeouts), static_cast<int>(reserved));
    return FALSE;
}

BOOL WINAPI AddPortEx(HANDLE, LPWSTR name, DWORD level, LPBYTE buffer, LPWSTR monitorName)
{
    TRACE(TRC_FLOW, "lanportm: AddPortEx(%ls, %d, %08x, %ls); not supported\n", name,
          static_cast<int>(level), TraceAddr(buffer), monitorName);
    return FALSE;
}

VOID WINAPI Shutdown(HANDLE) {}

// The table the spooler receives, slot by slot in the spooler's order.
const MONITOR2 kMonitor2 = {
    kMonitor2Size,
    lanport::EnumPorts,  // pfnEnumPorts
    lanport::OpenPort,   // pfnOpenPort
    nullptr,          // pfnOpenPortEx
    lanport::StartDocPort,  // pfnStartDocPort
    lanport::WritePort,     // pfnWritePort
    ReadPort,               // pfnReadPort (declines)
    lanport::EndDocPort,    // pfnEndDocPort
    lanport::ClosePort,  // pfnClosePort
    nullptr,          // pfnAddPort: ports are added through XCV
    AddPortEx,        // pfnAddPortEx (declines)
    nullptr,          // pfnConfigurePort: through XCV
    nullptr,          // pfnDeletePort: through XCV
    nullptr,          // pfnGetPrinterDataFromPort
    SetPortTimeOuts,  // pfnSetPortTimeOuts (declines)
    lanport::XcvOpenPort,   // pfnXcvOpenPort
    lanport::XcvDataPort,   // pfnXcvDataPort
    lanport::XcvClosePort,  // pfnXcvClosePort
    Shutdown,         // pfnShutdown (does nothing)
    // Beyond kMonitor2Size: the spooler does not read these.
    nullptr,  // pfnSendRecvBidiDataFromPort
    nullptr,  // pfnNotifyUsedPorts
    nullptr,  // pfnNotifyUnusedPorts
};

// A spooler may close the root it handed in as soon as initialisation returns, so the
// monitor works through a handle of its own opened from it.
HKEY ownRegistryRoot(HKEY root)
{
    HKEY own = nullptr;
    if (RegOpenKeyExW(root, nullptr, 0, KEY_ALL_ACCESS, &own) != ERROR_SUCCESS) return root;
    return own;
}

// A spooler may free the library after each operation; the monitor's threads must never
// run in an unmapped image, so the library keeps itself loaded.
void pinModule(HMODULE module)
{
    WCHAR path[MAX_PATH];
    DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    if (length > 0 && length < MAX_PATH) LoadLibraryW(path);
}

DWORD processAttach(HMODULE module)
{
    if (DWORD error = InjectedFault(FaultPoint::LoadLanguage)) SetLastError(error);
    else languageModule = LoadLibraryW(kLanguageLibrary);
    if (!languageModule) {
        TRACE(TRC_ERROR, "lanportm: DllMain: Language DLL load failed. GetLastError()=%d\n",
              static_cast<int>(GetLastError()));
        return ERROR_DLL_INIT_FAILED;
    }
    pinModule(module);
    DisableThreadLibraryCalls(module);
    trxInstalled = CheckRegForTRX();
    if (!InitRPC()) TRACE(TRC_ERROR, "lanportm: DllMain - Unable to initialize RPC communication support\n");
    return 0;
}

void processDetach(bool processEnding)
{
    if (!StopRPCServer(processEnding)) TRACE(TRC_ERROR, "lanportm: DllMain - Unable to uninitialize RPC support\n");
    TraceStop();
}

// Steps 4 to 11 of the start-up; 0 or the error that ends it.
DWORD startMonitor()
{
    // Before the ports are loaded: every failure path below may queue ports for the
    // collector, and a failed start-up may be tried again.
    static bool sharedLocksReady = false;
    if (!sharedLocksReady) {
        InitializeCriticalSection(&activeJobsCritSec);
        InitializeCriticalSection(&garbageCritSec);
        sharedLocksReady = true;
    }
    if (!InitLockStruct(&portListLock)) {
        DWORD error = GetLastError();
        TRACE(TRC_ERROR, "lanportm: InitializePrintMonitor: Unable to initialize lock\n");
        return error;
    }
    if (!CreatePortsFromRegistry()) {
        DWORD error = GetLastError();
        TRACE(TRC_ERROR, "lanportm: InitializePrintMonitor: Unable to create port list from registry\n");
        CloseLockStruct(&portListLock);
        return error;
    }
    DWORD error = 0;
    if (DWORD fault = InjectedFault(FaultPoint::CreateActiveJobsEvent)) SetLastError(fault);
    else activeJobsEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!activeJobsEvent) {
        error = GetLastError();
        TRACE(TRC_ERROR, "lanportm: MonitorInitializePrintMonitor: Unable to create 'active jobs' event\n");
    } else {
        jobEndEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        uintptr_t collector = _beginthreadex(nullptr, 0, GarbageCollection, nullptr, 0, nullptr);
        if (!collector) {
            int cause = errno;
            error = cause == EAGAIN ? ERROR_TOO_MANY_TCBS : GetLastError();
            TRACE(TRC_ERROR,
                  "lanportm: InitializePrintMonitor: Unable to start garbage collection thread, errno = %d\n",
                  cause);
        } else {
            CloseHandle(reinterpret_cast<HANDLE>(collector));
        }
    }
    if (error) {
        DeleteAllPortEntries();
        CloseLockStruct(&portListLock);
        return error;
    }
    if (!netInitialize()) TRACE(TRC_ERROR, "lanportm: InitializePrintMonitor: Unable to initialize socket DLL\n");
    return 0;
}

// A later initialisation in the same process keeps the table and the ports and only
// takes the new registry root.
void refreshRegistryRoot(HKEY root)
{
    HKEY own = ownRegistryRoot(root);
    EnterCriticalSection(&registryCritSec);
    HKEY old = pMonRegistryRoot;
    pMonRegistryRoot = own;
    LeaveCriticalSection(&registryCritSec);
    if (old != own) RegCloseKey(old);
    // A spooler that removed and added the monitor again hands in a new, empty key: the
    // commands that write ports need its "Ports" key.
    HKEY ports = nullptr;
    if (RegCreateKeyExW(own, L"Ports", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &ports,
                        nullptr) == ERROR_SUCCESS)
        RegCloseKey(ports);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved)
{
    DWORD error = 0;
    bool traceFailed = false;
    ExceptionGuard("DLLMain", [&] {
        if (firstCall) {
            firstCall = false;
            if (!TraceStart()) {
                traceFailed = true;
                error = ERROR_DLL_INIT_FAILED;
                return;
            }
        }
        TRACE(TRC_FLOW, "lanportm: Entry DllMain(%08x, %d, %08x)\n", TraceAddr(module),
              static_cast<int>(reason), TraceAddr(reserved));
        if (!module) {
            TRACE(TRC_ERROR, "lanportm: DllMain: Invalid parameter: NULL module handle\n");
            error = ERROR_INVALID_PARAMETER;
            return;
        }
        switch (reason) {
        case DLL_PROCESS_ATTACH: error = processAttach(module); break;
        case DLL_PROCESS_DETACH: processDetach(reserved != nullptr); break;
        default:
            TRACE(TRC_ERROR, "lanportm: DllMain: Invalid parameter: dwReason = %d\n",
                  static_cast<int>(reason));
            error = ERROR_INVALID_PARAMETER;
        }
    });
    if (error) {
        SetLastError(error);
        if (!traceFailed) TRACE(TRC_FLOW, "lanportm: Exit  DllMain failure, rc \n");
        return FALSE;
    }
    TRACE(TRC_FLOW, "lanportm: Exit  DllMain success\n");
    return TRUE;
}

extern "C" LPMONITOR2 WINAPI InitializePrintMonitor2(PMONITORINIT init, PHANDLE)
{
    DWORD error = 0;
    ExceptionGuard("InitializePrintMonitor", [&] {
        TRACE(TRC_FLOW, "lanportm: Entry InitializePrintMonitor2\n");
        HKEY root = init ? reinterpret_cast<HKEY>(init->hckRegistryRoot) : nullptr;
        TRACE(TRC_ERROR, "lanportm: pMonRegistryRoot = %d\n", static_cast<int>(TraceAddr(root)));
        if (!root) {
            TRACE(TRC_ERROR, "lanportm: InitializePrintMonitor: AllocSplStr failed\n");
            error = ERROR_NOT_ENOUGH_MEMORY;
            return;
        }
        if (monitorInitialized) {
            refreshRegistryRoot(root);
            return;
        }
        pMonRegistryRoot = ownRegistryRoot(root);
        error = startMonitor();
        if (error) {
            if (pMonRegistryRoot != root) RegCloseKey(pMonRegistryRoot);
            pMonRegistryRoot = nullptr;
            return;
        }
        monitorInitialized = true;
    });
    if (error) {
        SetLastError(error);
        TRACE(TRC_FLOW, "lanportm: Exit  InitializePrintMonitor failure, rc \n");
        return nullptr;
    }
    TRACE(TRC_FLOW, "lanportm: Exit  InitializePrintMonitor success\n");
    return const_cast<LPMONITOR2>(&kMonitor2);
}
