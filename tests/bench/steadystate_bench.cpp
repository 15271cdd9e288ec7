// Benchmark: the monitor's footprint over a long run, with the test seams' shortened
// waits (divisor 1000) and a clock the benchmark moves past the collect delay. Three
// phases: jobs on a monitoring port (monitorLevel 6) and on a normal port (monitorLevel
// 1), both on a simulated PJL printer, then AddPort/DeletePort cycles through XCV. Before
// and after each phase, once the collector has run a pass with nothing left waiting,
// prints the process's handle count and private bytes and their after/before ratios
// (goal <= 1.01). Each phase is warmed up for one collect delay first, so that "before"
// counts one-time allocations and the records a steady run keeps waiting for the
// collector (those of the last collect delay).
//
// usage: steadystate_bench [count]    count: jobs or cycles per phase, default 10000
//
// The simulated printer runs in a child process (this program with --printer): it keeps
// a record and a thread handle for every connection, which must not count here. Runs
// beside the spooler stand-in, like the job tests; the stand-in's records are reset
// before every job, so that they stay small too.
#include <winsock2.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

#include "footprint.h"
#include "garbage.h"
#include "monitor.h"
#include "monitorfixture.h"
#include "pipedchild.h"
#include "pmuports.h"
#include "printersim.h"
#include "standin_client.h"
#include "test_seams.h"

using namespace testing_support;

namespace {

constexpr DWORD kWaitDivisor = 1000;
constexpr DWORD kCollectorPassMs = 120000;  // the collector's period, as the product asks for it
constexpr DWORD kSettleTimeoutMs = 60000;
constexpr size_t kBlock = 4096;

LPMONITOR2 monitor = nullptr;

// Seconds a removed record waits for the collector: every port here has the default
// timeout and retry count.
DWORD collectDelay()
{
    ConfigInfo defaults = NewPortDefaults();
    return CollectDelay(defaults.timeout, defaults.retryCount);
}

// The child's side: a PJL printer that ends a job's data after 20 ms of quiet, records
// nothing, and stops when its standard input is closed. Its first output line is its
// address in network byte order.
int servePrinter()
{
    printersim::Printer printer({.quietMs = 20, .record = false});
    if (!printer.Start()) return 1;
    printf("%lu\n", static_cast<unsigned long>(printer.ipAddress()));
    fflush(stdout);
    char buffer[64];
    DWORD got = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &got, nullptr) && got > 0) {
    }
    return 0;
}

struct Footprint {
    DWORD handles = 0;
    SIZE_T privateBytes = 0;
};

Footprint measure()
{
    return {ProcessHandleCount(), ProcessPrivateBytes()};
}

DWORD activeJobs()
{
    EnterCriticalSection(&activeJobsCritSec);
    DWORD count = activeJobCount;
    LeaveCriticalSection(&activeJobsCritSec);
    return count;
}

bool garbageEmpty()
{
    EnterCriticalSection(&garbageCritSec);
    bool empty = garbageList == nullptr;
    LeaveCriticalSection(&garbageCritSec);
    return empty;
}

// Polls `done` until it holds or the settle time is up.
template <class Condition>
bool waitUntil(Condition done)
{
    for (DWORD start = GetTickCount(); !done();) {
        if (GetTickCount() - start > kSettleTimeoutMs) return false;
        Sleep(10);
    }
    return true;
}

// Lets every listener end, moves the clock past the collect delay and waits for a whole
// collector pass begun after that; then nothing may be left on the garbage list.
bool settle(const char* phase)
{
    if (!waitUntil([] { return activeJobs() == 0; })) {
        fprintf(stderr, "%s: %lu monitored jobs still active\n", phase, activeJobs());
        return false;
    }
    testseams::AdvanceClock(collectDelay() + 1);
    // A pass ends with the collector asking for its next sleep: two more requests mean
    // that one whole pass ran on the moved clock.
    unsigned long long target = testseams::WaitRequests(kCollectorPassMs) + 2;
    if (!waitUntil([&] { return testseams::WaitRequests(kCollectorPassMs) >= target; })) {
        fprintf(stderr, "%s: the collector did not run\n", phase);
        return false;
    }
    if (!garbageEmpty()) {
        fprintf(stderr, "%s: records are still waiting on the garbage list\n", phase);
        return false;
    }
    return true;
}

bool printJob(HANDLE port, DWORD jobId)
{
    standin::Reset();
    standin::DefineJob(jobId, L"RAW", 0);
    static const std::string block(kBlock, 'x');
    DOC_INFO_1W doc{const_cast<LPWSTR>(L"Steady state"), nullptr, const_cast<LPWSTR>(L"RAW")};
    if (!monitor->pfnStartDocPort(port, const_cast<LPWSTR>(L"Bench printer"), jobId, 1,
                                  reinterpret_cast<BYTE*>(&doc)))
        return false;
    DWORD written = 0;
    if (!monitor->pfnWritePort(port, reinterpret_cast<BYTE*>(const_cast<char*>(block.data())), kBlock, &written) ||
        written != kBlock) {
        monitor->pfnEndDocPort(port);
        return false;
    }
    return monitor->pfnEndDocPort(port);
}

DWORD xcv(HANDLE handle, LPCWSTR command, const void* in, DWORD cbIn, void* out, DWORD cbOut)
{
    DWORD needed = 0;
    return monitor->pfnXcvDataPort(handle, command, static_cast<PBYTE>(const_cast<void*>(in)), cbIn,
                                   static_cast<PBYTE>(out), cbOut, &needed);
}

bool addAndDeletePort(HANDLE handle)
{
    AddPortRequest add{};
    wcscpy(add.portName, L"Zephrin:10.70.0.1");
    wcscpy(add.addressText, L"10.70.0.1");
    add.configInfo = NewPortDefaults();
    add.configInfo.ipAddress = 10u | 70u << 8 | 1u << 24;
    add.configInfo.addrFormat = 2;
    AddPortReply added{};
    DWORD status = xcv(handle, L"AddPort", &add, sizeof add, &added, sizeof added);
    if (status != ERROR_SUCCESS) {
        fprintf(stderr, "AddPort: %lu, errRc %lu\n", status, added.errRc);
        return false;
    }
    status = xcv(handle, L"DeletePort", add.portName, static_cast<DWORD>((wcslen(add.portName) + 1) * sizeof(WCHAR)),
                 nullptr, 0);
    if (status != ERROR_SUCCESS) {
        fprintf(stderr, "DeletePort: %lu\n", status);
        return false;
    }
    return true;
}

// Warms `step` up for one collect delay, settles, measures, runs it `count` times,
// settles, measures again and prints the phase's line. False when the goal is missed, or
// with `*failed` set when a step fails.
template <class Step>
bool runPhase(const char* name, int count, Step step, bool* failed)
{
    *failed = true;
    const DWORD warmUpMs = (collectDelay() + 1) * 1000;
    for (DWORD start = GetTickCount(); GetTickCount() - start < warmUpMs;)
        if (!step()) return false;
    if (!settle(name)) return false;
    Footprint before = measure();
    for (int i = 0; i < count; ++i) {
        if (!step()) {
            fprintf(stderr, "%s: step %d failed\n", name, i + 1);
            return false;
        }
        if ((i + 1) % 1000 == 0) {
            // The trend tells a leak (steady growth) from the heap finding its size.
            Footprint now = measure();
            printf("  %s: %d of %d, %lu handles, %zu KB\n", name, i + 1, count, now.handles,
                   static_cast<size_t>(now.privateBytes / 1024));
            fflush(stdout);
        }
    }
    if (!settle(name)) return false;
    Footprint after = measure();
    *failed = false;
    double handles = static_cast<double>(after.handles) / before.handles;
    double memory = static_cast<double>(after.privateBytes) / static_cast<double>(before.privateBytes);
    printf("%-27s %8lu %8lu %6.3f   %12zu %12zu %6.3f\n", name, before.handles, after.handles, handles,
           static_cast<size_t>(before.privateBytes / 1024), static_cast<size_t>(after.privateBytes / 1024), memory);
    fflush(stdout);
    return handles <= 1.01 && memory <= 1.01;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && strcmp(argv[1], "--printer") == 0) return servePrinter();
    int count = argc == 2 ? atoi(argv[1]) : 10000;
    if (argc > 2 || count <= 0) {
        fprintf(stderr, "usage: steadystate_bench [count]\n");
        return 2;
    }
    if (!standin::Loaded()) {
        fprintf(stderr, "run beside the spooler stand-in with WINEDLLOVERRIDES=winspool.drv=n\n");
        return 1;
    }
    testseams::KeepRecords(false);
    // Before the monitor starts: the collector's first sleep is shortened too.
    testseams::SetWaitDivisor(kWaitDivisor);
    standin::Reset();
    RegistryRoot root;
    monitor = StartMonitor(root.key());
    if (!monitor) {
        fprintf(stderr, "monitor did not start: %lu\n", GetLastError());
        return 1;
    }
    // The printer runs in a child (this program with --printer), so that its sockets and
    // threads are not counted; it prints its address and stops at the end of its input.
    PipedChild printer;
    const DWORD printerAddress = printer.Start(OwnProgram(), {L"--printer"})
                                     ? static_cast<DWORD>(strtoul(printer.ReadLine().c_str(), nullptr, 10))
                                     : 0;
    if (printerAddress == 0) {
        fprintf(stderr, "the simulated printer did not start\n");
        return 1;
    }
    HANDLE ports[2] = {};
    const DWORD levels[2] = {6, 1};
    const wchar_t* names[2] = {L"Monitored", L"Plain"};
    for (int i = 0; i < 2; ++i) {
        ConfigInfo config = DefaultConfig(printerAddress);
        config.monitorLevel = levels[i];
        if (!CreatePortEntry(names[i], &config) ||
            !monitor->pfnOpenPort(nullptr, const_cast<LPWSTR>(names[i]), &ports[i])) {
            fprintf(stderr, "port %ls did not open\n", names[i]);
            return 1;
        }
    }
    HANDLE xcvHandle = nullptr;
    const std::wstring xcvName = std::wstring(L",XcvMonitor ") + kMonitorName;
    if (!monitor->pfnXcvOpenPort(nullptr, xcvName.c_str(), SERVER_ACCESS_ADMINISTER, &xcvHandle)) {
        fprintf(stderr, "XcvOpenPort failed: %lu\n", GetLastError());
        return 1;
    }

    printf("%d jobs or cycles per phase, waits divided by %lu\n", count, kWaitDivisor);
    printf("%-27s %8s %8s %6s   %12s %12s %6s\n", "phase", "handles", "", "ratio", "private KB", "", "ratio");
    DWORD jobId = 0;
    bool failed = false, met = true;
    met = runPhase("jobs on a monitoring port", count, [&] { return printJob(ports[0], ++jobId); }, &failed) && met;
    if (!failed)
        met = runPhase("jobs on a normal port", count, [&] { return printJob(ports[1], ++jobId); }, &failed) && met;
    if (!failed)
        met = runPhase("AddPort/DeletePort cycles", count, [&] { return addAndDeletePort(xcvHandle); }, &failed) && met;
    monitor->pfnXcvClosePort(xcvHandle);
    for (HANDLE port : ports) monitor->pfnClosePort(port);
    printer.Stop();
    if (failed) return 1;
    printf("every after/before ratio <= 1.01: %s\n", met ? "yes" : "no");
    return 0;
}
