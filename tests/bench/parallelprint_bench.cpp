// Benchmark: 16 ports each printing one job at the same time, against one port printing
// the same job alone, in one run with the product's real waits. Prints the wall-clock
// ratio (goal <= 1.3) and how long each job took beyond the monitor's own waits: the
// 10 s probe period that a PJL printer keeping its connection open costs after its ECHO
// answer, and the 500 ms pause after every WritePort. Runs beside the spooler stand-in,
// like the job tests.
#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "monitorfixture.h"
#include "pmuports.h"
#include "printersim.h"
#include "standin_client.h"

using namespace testing_support;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kPorts = 16;
constexpr int kWrites = 8;        // blocks per job, as a spooler hands them over
constexpr size_t kBlock = 4096;
constexpr double kProbePeriodSeconds = 10.0;
constexpr double kPausesSeconds = kProbePeriodSeconds + kWrites * 0.5;

struct Station {
    std::unique_ptr<printersim::Printer> printer;
    HANDLE handle = nullptr;
};

LPMONITOR2 monitor;

// One whole job; returns its duration in seconds, or a negative value on failure.
double printJob(const Station& station, DWORD jobId)
{
    standin::DefineJob(jobId, L"RAW", 0);
    const std::string block(kBlock, 'x');
    DOC_INFO_1W doc{const_cast<LPWSTR>(L"Benchmark"), nullptr, const_cast<LPWSTR>(L"RAW")};
    auto start = Clock::now();
    if (!monitor->pfnStartDocPort(station.handle, const_cast<LPWSTR>(L"Bench printer"), jobId, 1,
                                  reinterpret_cast<BYTE*>(&doc)))
        return -1;
    for (int i = 0; i < kWrites; ++i) {
        DWORD written = 0;
        if (!monitor->pfnWritePort(station.handle, reinterpret_cast<BYTE*>(const_cast<char*>(block.data())),
                                   kBlock, &written) ||
            written != kBlock)
            return -1;
    }
    if (!monitor->pfnEndDocPort(station.handle)) return -1;
    return std::chrono::duration<double>(Clock::now() - start).count();
}

bool addStation(Station& station, int index)
{
    station.printer = std::make_unique<printersim::Printer>(printersim::Options{.pages = 2});
    if (!station.printer->Start()) return false;
    std::wstring name = L"Bench" + std::to_wstring(index);
    ConfigInfo config = DefaultConfig("127.0.0.1");
    config.ipAddress = station.printer->ipAddress();
    return CreatePortEntry(name.c_str(), &config) &&
           monitor->pfnOpenPort(nullptr, const_cast<LPWSTR>(name.c_str()), &station.handle);
}

}  // namespace

int main()
{
    if (!standin::Loaded()) {
        fprintf(stderr, "run beside the spooler stand-in with WINEDLLOVERRIDES=winspool.drv=n\n");
        return 1;
    }
    standin::Reset();
    RegistryRoot root;
    monitor = StartMonitor(root.key());
    if (!monitor) {
        fprintf(stderr, "monitor did not start: %lu\n", GetLastError());
        return 1;
    }
    std::vector<Station> stations(kPorts);
    for (int i = 0; i < kPorts; ++i) {
        if (!addStation(stations[i], i)) {
            fprintf(stderr, "port %d: the simulated printer or the port did not start\n", i);
            return 1;
        }
    }

    double alone = printJob(stations[0], 1);
    if (alone < 0) {
        fprintf(stderr, "the single job failed\n");
        return 1;
    }

    std::vector<double> durations(kPorts);
    auto start = Clock::now();
    std::vector<std::thread> threads;
    for (int i = 0; i < kPorts; ++i)
        threads.emplace_back([&, i] { durations[i] = printJob(stations[i], 100 + i); });
    for (auto& thread : threads) thread.join();
    double together = std::chrono::duration<double>(Clock::now() - start).count();
    if (std::any_of(durations.begin(), durations.end(), [](double d) { return d < 0; })) {
        fprintf(stderr, "a parallel job failed\n");
        return 1;
    }

    printf("job: %d WritePort calls of %zu bytes; own waits %.1f s (probe period %.0f s, %.1f s of pauses)\n",
           kWrites, kBlock, kPausesSeconds, kProbePeriodSeconds, kWrites * 0.5);
    printf("one port alone:      %6.3f s (%.3f s beyond the own waits)\n", alone, alone - kPausesSeconds);
    printf("%d ports at once:    %6.3f s\n", kPorts, together);
    for (int i = 0; i < kPorts; ++i)
        printf("  port %2d job:       %6.3f s (%.3f s beyond the own waits)\n", i, durations[i],
               durations[i] - kPausesSeconds);
    printf("wall-clock ratio %d ports / 1 port: %.2f (goal <= 1.3)\n", kPorts, together / alone);
    return 0;
}
