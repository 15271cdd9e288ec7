// The RPC endpoint through which other programs create ports: a named-pipe server for the
// interface of portrpc.idl, whose one operation runs monSetNewPort.
#include <windows.h>
#include <rpc.h>

#include <process.h>

#include <atomic>
#include <cerrno>

#include "monitor.h"
#include "sehguard.h"
#include "trace.h"

// The generated stub calls monSetNewPort as its server routine; seeing both declarations
// here makes the compiler check that they agree.
#include "newport.h"
#include "portrpc.h"

namespace {

constexpr WCHAR kProtocolSequence[] = L"ncacn_np";
constexpr unsigned kMaxCalls = 1234;
constexpr unsigned kMinCallThreads = 1;

// FALSE once the monitor's own listen found the process listening already: that
// listener belongs to the process (the spooler's own server), so the monitor must not
// stop it. Written by the server thread, read at detach.
std::atomic<BOOL> ownsRpcServer{TRUE};

// The thread waiting in the monitor's own RpcServerListen, 0 when none is. At process
// exit the system has ended that thread (and the run-time's) before the detach: asking
// the run-time to stop listening then waits for threads that are gone, for ever.
std::atomic<DWORD> listenerThreadId{0};

// Held while the monitor starts listening and while it stops: the run-time's start
// waits for its server thread, and a stop that overlaps it can end that thread first, so
// that the start or the stop then waits for ever (seen under Wine). Once stopped, the
// monitor never starts listening again.
SRWLOCK listenLock = SRWLOCK_INIT;
bool listenStopped = false;

// The generated stub fails a request it cannot unmarshal with whatever it raised there:
// an invalid bound (1734) as often as bad stub data (1783). Clients get 1783 for every
// such request, so the interface is served through a dispatch table of its own whose one
// entry runs the generated one and turns those faults into 1783.
const RPC_SERVER_INTERFACE& generatedInterface()
{
    return *static_cast<const RPC_SERVER_INTERFACE*>(portrpc_v1_0_s_ifspec);
}

LONG unmarshallingFault(EXCEPTION_POINTERS* pointers, void*)
{
    switch (pointers->ExceptionRecord->ExceptionCode) {
    case RPC_S_INVALID_BOUND:
    case RPC_X_BAD_STUB_DATA:
    case STATUS_ACCESS_VIOLATION:
    case STATUS_DATATYPE_MISALIGNMENT:
        return EXCEPTION_EXECUTE_HANDLER;
    default:
        return EXCEPTION_CONTINUE_SEARCH;
    }
}

void __RPC_STUB dispatchNewPort(PRPC_MESSAGE message)
{
    SehFrame frame{};
    frame.body = [](void* context) {
        generatedInterface().DispatchTable->DispatchTable[0](static_cast<PRPC_MESSAGE>(context));
    };
    frame.bodyContext = message;
    frame.filter = unmarshallingFault;
    if (SehCall(&frame)) RpcRaiseException(RPC_X_BAD_STUB_DATA);
}

RPC_DISPATCH_FUNCTION servedFunctions[] = {dispatchNewPort};
RPC_DISPATCH_TABLE servedDispatchTable = {1, servedFunctions, 0};

RPC_IF_HANDLE servedInterface()
{
    static RPC_SERVER_INTERFACE served = [] {
        RPC_SERVER_INTERFACE copy = generatedInterface();
        copy.DispatchTable = &servedDispatchTable;
        return copy;
    }();
    return &served;
}

RPC_WSTR rpcText(const WCHAR* text)
{
    return reinterpret_cast<RPC_WSTR>(const_cast<WCHAR*>(text));
}

// A step's result: progress when it worked, an error when it did not.
void traceStep(TraceFormat format, RPC_STATUS status)
{
    if (status == RPC_S_OK) TRACE(TRC_FLOW, format, static_cast<unsigned>(status));
    else TRACE(TRC_ERROR, format, static_cast<unsigned>(status));
}

// Whether the thread that listens for the monitor is still there to be stopped.
bool listenerRunning()
{
    DWORD id = listenerThreadId;
    if (!id) return false;
    HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, id);
    if (!thread) return false;
    bool running = WaitForSingleObject(thread, 0) == WAIT_TIMEOUT;
    CloseHandle(thread);
    return running;
}

// Registers the interface and its endpoints; false when a step failed (traced).
bool registerEndpoint()
{
    RPC_STATUS status = RpcServerUseProtseqW(rpcText(kProtocolSequence), kMaxCalls, nullptr);
    traceStep("lanportm: RpcServerUseProtseq returned 0x%x\n", status);
    if (status != RPC_S_OK) return false;

    status = RpcServerRegisterIf(servedInterface(), nullptr, nullptr);
    traceStep("lanportm: RpcServerRegisterIf returned 0x%x\n", status);
    if (status != RPC_S_OK) return false;

    RPC_BINDING_VECTOR* bindings = nullptr;
    status = RpcServerInqBindings(&bindings);
    traceStep("lanportm: RpcServerInqBindings returned 0x%x\n", status);
    if (status != RPC_S_OK) return false;

    status = RpcEpRegisterW(servedInterface(), bindings, nullptr, rpcText(L""));
    traceStep("lanportm: RpcEpRegister returned: 0x%x\n", status);
    // The endpoint mapper keeps its own copy of the bindings.
    RpcBindingVectorFree(&bindings);
    return status == RPC_S_OK;
}

// Listens until the monitor stops; false when it stopped before the listening began.
bool listenUntilStopped(RPC_STATUS& status)
{
    DWORD none = 0;
    bool first = false;
    AcquireSRWLockExclusive(&listenLock);
    bool stopped = listenStopped;
    if (!stopped) {
        first = listenerThreadId.compare_exchange_strong(none, GetCurrentThreadId());
        status = RpcServerListen(kMinCallThreads, kMaxCalls, TRUE);
    }
    ReleaseSRWLockExclusive(&listenLock);
    if (stopped) return false;
    // The wait RpcServerListen would do, outside the lock so that a stop can come. Its
    // "not listening" after a stop that came before it began is an ordinary end.
    if (status == RPC_S_OK) RpcMgmtWaitServerListen();
    if (first) listenerThreadId = 0;
    return true;
}

unsigned __stdcall StartRPCServer(void*)
{
    TRACE(TRC_FLOW, "lanportm: Entry StartRPCServer()\n");
    if (registerEndpoint()) {
        TRACE(TRC_FLOW, "lanportm: Calling RpcServerListen\n");
        RPC_STATUS status = RPC_S_OK;
        if (!listenUntilStopped(status)) {
            TRACE(TRC_FLOW, "lanportm: RPC server stopped before it listened\n");
        } else if (status == RPC_S_ALREADY_LISTENING) {
            // The process's listener serves the interface from now on.
            ownsRpcServer = FALSE;
            TRACE(TRC_FLOW, "lanportm: RpcServerListen returned: 0x%x\n", static_cast<unsigned>(status));
        } else {
            traceStep("lanportm: RpcServerListen returned: 0x%x\n", status);
        }
    }
    TRACE(TRC_FLOW, "lanportm: Exit  StartRPCServer()\n");
    return 0;
}

}  // namespace

BOOL InitRPC()
{
    TRACE(TRC_FLOW, "lanportm: Entry InitRPC()\n");
    uintptr_t thread = _beginthreadex(nullptr, 0, StartRPCServer, nullptr, 0, nullptr);
    if (thread) {
        CloseHandle(reinterpret_cast<HANDLE>(thread));
    } else {
        int cause = errno;
        DWORD error = cause == EAGAIN ? ERROR_TOO_MANY_TCBS : GetLastError();
        TRACE(TRC_ERROR, "lanportm: InitializePrintMonitor2: Unable to start RCP server thread, errno = %d\n",
              cause);
        SetLastError(error);
    }
    TRACE(TRC_FLOW, "lanportm: Exit  InitRPC %s \n", thread ? "success" : "failure");
    return thread ? TRUE : FALSE;
}

BOOL StopRPCServer(bool processEnding)
{
    TRACE(TRC_FLOW, "lanportm: Entry  StopRPCServer()\n");
    // At process exit the listening thread may still look alive while the system ends
    // it; asking the run-time to stop would then wait for it for ever. That thread may
    // also have been ended while it held the lock, so the lock is left alone then.
    bool locked = !processEnding;
    if (locked) {
        AcquireSRWLockExclusive(&listenLock);
        listenStopped = true;
    }
    if (ownsRpcServer && locked && listenerRunning()) {
        TRACE(TRC_FLOW, "lanportm: PM owns RPC server, so it can stop it now\n");
        RPC_STATUS status = RpcMgmtStopServerListening(nullptr);
        if (status != RPC_S_OK)
            TRACE(TRC_ERROR,
                  "lanportm: ERROR: stop server listening error. RpcMgmtStopServerListening() failed, rpcRc=%d.\n",
                  static_cast<int>(status));
    } else if (ownsRpcServer) {
        TRACE(TRC_FLOW, "lanportm: PM owns RPC server, but its listening thread has ended\n");
    }
    if (locked) ReleaseSRWLockExclusive(&listenLock);
    RPC_STATUS status = RpcServerUnregisterIf(servedInterface(), nullptr, FALSE);
    if (status != RPC_S_OK)
        TRACE(TRC_ERROR,
              "lanportm: ERROR: Server Unregister Interface error. RpcServerUnregisterIf() failed, rpcRc=%d.\n",
              static_cast<int>(status));
    TRACE(TRC_FLOW, "lanportm: Exit  StopRPCServer()\n");
    return status == RPC_S_OK ? TRUE : FALSE;
}
