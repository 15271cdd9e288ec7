// The server side of the RPC endpoint tests: a process that loads lanport.dll and keeps
// it serving while the test program, in a process of its own, calls it.
//
//   rpchost spooler [name=address ...]    registers the monitor with Wine's spooler, which
//                                         loads and initialises it; the ports given are
//                                         written to the registry first
//   rpchost listening [name=address ...]  the same in a process that already listens for RPC
//   rpchost loaded                        loads the library without initialising it
//   rpchost early                         loads the library and runs its process-detach
//                                         before the monitor's thread has run a step; prints
//                                         "listening <status>" once that thread has ended
//   rpchost ports                         prints the names EnumPortsW lists, one a line
//
// Serving modes print "ready <endpoint>" once the endpoint mapper resolves the interface
// to this process (<endpoint> is the pipe it resolves to) and the process listens, then obey commands on stdin: "detach" runs the library's process-detach
// (lanport.dll keeps itself loaded, so FreeLibrary never reaches it) and answers
// "listening <RpcMgmtIsServerListening status>"; "end" ends the process the ordinary way,
// with the libraries' process-detach; "exit" or the end of stdin ends it at once.
#include <windows.h>
#include <rpc.h>
#include <winspool.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <set>
#include <string>
#include <vector>

#include "footprint.h"
#include "installedmonitor.h"
#include "portkeys.h"
#include "portrpc.h"
#include "records.h"
#include "rpctestdefs.h"

namespace {

std::string narrow(const std::wstring& text)
{
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(size > 0 ? size - 1 : 0, '\0');
    if (size > 1) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), size, nullptr, nullptr);
    return out;
}

[[noreturn]] void fail(const char* what)
{
    printf("error %s %lu\n", what, GetLastError());
    fflush(stdout);
    // A slow or hanging process exit under Wine must not keep the test waiting.
    TerminateProcess(GetCurrentProcess(), 1);
    ExitProcess(1);
}

[[noreturn]] void finish(UINT code)
{
    fflush(stdout);
    TerminateProcess(GetCurrentProcess(), code);
    ExitProcess(code);
}

// "name=dotted.address": a port of the monitor's, as an installer would have left it.
void seedPort(const std::wstring& spec)
{
    size_t equals = spec.find(L'=');
    if (equals == std::wstring::npos) fail("seed-spec");
    std::wstring name = spec.substr(0, equals);
    testing_support::InstalledMonitorKey monitorKey;
    testing_support::WritePortKey(monitorKey.key(), name, rpctest::DefaultConfig(narrow(spec.substr(equals + 1)).c_str()));
    if (!testing_support::PortKeyExists(monitorKey.key(), name)) fail("seed-key");
}

void installLibraries()
{
    if (DWORD error = testing_support::CopyPackageFiles()) {
        SetLastError(error);
        fail("copy-libraries");
    }
}

void registerWithSpooler(const std::vector<std::wstring>& seeds)
{
    installLibraries();
    testing_support::ForgetMonitor();
    for (const std::wstring& seed : seeds) seedPort(seed);
    if (DWORD error = testing_support::RegisterMonitor()) {
        SetLastError(error);
        fail("AddMonitorW");
    }
}

// The ncacn_np endpoints this process serves.
std::set<std::wstring> ownEndpoints()
{
    std::set<std::wstring> endpoints;
    RPC_BINDING_VECTOR* vector = nullptr;
    if (RpcServerInqBindings(&vector) != RPC_S_OK) return endpoints;
    for (unsigned long i = 0; i < vector->Count; ++i) {
        RPC_WSTR text = nullptr, protseq = nullptr, endpoint = nullptr;
        if (RpcBindingToStringBindingW(vector->BindingH[i], &text) != RPC_S_OK) continue;
        if (RpcStringBindingParseW(text, nullptr, &protseq, nullptr, &endpoint, nullptr) == RPC_S_OK &&
            wcscmp(reinterpret_cast<wchar_t*>(protseq), L"ncacn_np") == 0)
            endpoints.insert(reinterpret_cast<wchar_t*>(endpoint));
        RpcStringFreeW(&protseq);
        RpcStringFreeW(&endpoint);
        RpcStringFreeW(&text);
    }
    RpcBindingVectorFree(&vector);
    return endpoints;
}

// The endpoint the endpoint mapper gives a client for the monitor's interface.
std::wstring mappedEndpoint()
{
    std::wstring mapped;
    RPC_BINDING_HANDLE binding = nullptr;
    if (RpcBindingFromStringBindingW(reinterpret_cast<RPC_WSTR>(const_cast<wchar_t*>(L"ncacn_np:")),
                                     &binding) != RPC_S_OK)
        return mapped;
    RPC_WSTR text = nullptr, endpoint = nullptr;
    if (RpcEpResolveBinding(binding, portrpc_v1_0_c_ifspec) == RPC_S_OK &&
        RpcBindingToStringBindingW(binding, &text) == RPC_S_OK &&
        RpcStringBindingParseW(text, nullptr, nullptr, nullptr, &endpoint, nullptr) == RPC_S_OK)
        mapped = reinterpret_cast<wchar_t*>(endpoint);
    RpcStringFreeW(&endpoint);
    RpcStringFreeW(&text);
    RpcBindingFree(&binding);
    return mapped;
}

// The monitor registers its endpoint on a thread of its own and listens after that; a
// client may call once the endpoint mapper leads to this process rather than to an
// earlier, finished one, and a detach finds the monitor listening.
std::wstring waitForEndpoint()
{
    for (int attempt = 0; attempt < 400; ++attempt) {
        std::wstring mapped = mappedEndpoint();
        if (!mapped.empty() && ownEndpoints().count(mapped) && RpcMgmtIsServerListening(nullptr) == RPC_S_OK)
            return mapped;
        Sleep(50);
    }
    fail("endpoint-not-served");
}

// The process's own RPC server, listening before the monitor arrives (as the spooler's
// own server does on Windows).
void listenFirst()
{
    if (RpcServerUseProtseqW(reinterpret_cast<RPC_WSTR>(const_cast<wchar_t*>(L"ncalrpc")), RPC_C_LISTEN_MAX_CALLS_DEFAULT,
                             nullptr) != RPC_S_OK)
        fail("own-protseq");
    if (RpcServerListen(1, RPC_C_LISTEN_MAX_CALLS_DEFAULT, TRUE) != RPC_S_OK) fail("own-listen");
}

void reportListening()
{
    printf("listening %ld\n", static_cast<long>(RpcMgmtIsServerListening(nullptr)));
    fflush(stdout);
}

void runDetach()
{
    HMODULE module = GetModuleHandleW(L"lanport.dll");
    using EntryPoint = BOOL(WINAPI*)(HINSTANCE, DWORD, LPVOID);
    auto entry = reinterpret_cast<EntryPoint>(reinterpret_cast<void*>(GetProcAddress(module, "DllMain")));
    if (!module || !entry) fail("DllMain");
    entry(module, DLL_PROCESS_DETACH, nullptr);
}

void detachLibrary()
{
    runDetach();
    reportListening();
}

std::set<DWORD> ownThreads()
{
    std::set<DWORD> threads = testing_support::ProcessThreads(GetCurrentProcessId());
    if (threads.empty()) fail("CreateToolhelp32Snapshot");
    return threads;
}

// A new thread runs its first instruction only once the loader lock is free, so holding
// that lock across the load and the detach puts the detach before every step of the
// monitor's own thread. That thread must then end without listening.
[[noreturn]] void detachBeforeListening()
{
    installLibraries();
    using LockLoader = LONG(NTAPI*)(ULONG, ULONG*, ULONG_PTR*);
    using UnlockLoader = LONG(NTAPI*)(ULONG, ULONG_PTR);
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    auto lock = reinterpret_cast<LockLoader>(reinterpret_cast<void*>(GetProcAddress(ntdll, "LdrLockLoaderLock")));
    auto unlock =
        reinterpret_cast<UnlockLoader>(reinterpret_cast<void*>(GetProcAddress(ntdll, "LdrUnlockLoaderLock")));
    ULONG_PTR cookie = 0;
    if (!lock || !unlock || lock(0, nullptr, &cookie) != 0) fail("LdrLockLoaderLock");
    std::set<DWORD> before = ownThreads();
    if (!LoadLibraryW(L"lanport.dll")) fail("LoadLibraryW");
    std::set<DWORD> started = ownThreads();
    runDetach();
    unlock(0, cookie);
    for (DWORD id : started) {
        if (before.count(id)) continue;  // only the threads the load started
        HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, id);
        if (thread && WaitForSingleObject(thread, 20000) != WAIT_OBJECT_0) fail("listener-still-running");
        if (thread) CloseHandle(thread);
    }
    reportListening();
    finish(0);
}

[[noreturn]] void serve()
{
    printf("ready %s\n", narrow(waitForEndpoint()).c_str());
    fflush(stdout);
    std::string command;
    while (std::getline(std::cin, command)) {
        if (command == "detach") detachLibrary();
        else if (command == "end") ExitProcess(0);
        else if (command == "exit") break;
    }
    finish(0);
}

[[noreturn]] void listPorts()
{
    DWORD needed = 0, count = 0;
    EnumPortsW(nullptr, 1, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed ? needed : 1);
    if (!EnumPortsW(nullptr, 1, buffer.data(), needed, &needed, &count)) fail("EnumPortsW");
    auto* ports = reinterpret_cast<PORT_INFO_1W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) printf("%s\n", narrow(ports[i].pName).c_str());
    finish(0);
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) fail("usage");
    std::wstring mode = argv[1];
    std::vector<std::wstring> seeds(argv + 2, argv + argc);
    if (mode == L"spooler") {
        registerWithSpooler(seeds);
    } else if (mode == L"listening") {
        listenFirst();
        registerWithSpooler(seeds);
    } else if (mode == L"loaded") {
        installLibraries();
        if (!LoadLibraryW(L"lanport.dll")) fail("LoadLibraryW");
    } else if (mode == L"early") {
        detachBeforeListening();
    } else if (mode == L"ports") {
        listPorts();
    } else {
        fail("usage");
    }
    serve();
}
