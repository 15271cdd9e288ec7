// Benchmark: EnumPorts at level 2 with 100, 1,000 and 10,000 ports, in one run.
// Prints the cost per port at each size and the ratio of 10,000 to 100 (goal <= 1.5).
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <vector>

#include "monitorfixture.h"
#include "pmuports.h"

using namespace testing_support;

namespace {

// Seconds per port for one full enumeration (sizing call plus copy), best of `rounds`.
double perPortSeconds(LPMONITOR2 monitor, DWORD ports, int rounds)
{
    double best = 1e9;
    std::vector<BYTE> buffer;
    for (int round = 0; round < rounds; ++round) {
        auto start = std::chrono::steady_clock::now();
        DWORD needed = 0, returned = 0;
        monitor->pfnEnumPorts(nullptr, nullptr, 2, nullptr, 0, &needed, &returned);
        buffer.resize(needed);
        monitor->pfnEnumPorts(nullptr, nullptr, 2, buffer.data(), needed, &needed, &returned);
        std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        if (returned != ports) {
            fprintf(stderr, "expected %lu ports, got %lu\n", ports, returned);
            exit(1);
        }
        if (took.count() < best) best = took.count();
    }
    return best / ports;
}

}  // namespace

int main()
{
    RegistryRoot root;
    LPMONITOR2 monitor = StartMonitor(root.key());
    if (!monitor) {
        fprintf(stderr, "monitor did not start: %lu\n", GetLastError());
        return 1;
    }
    DWORD created = 0;
    double costs[3] = {};
    const DWORD sizes[3] = {100, 1000, 10000};
    for (int i = 0; i < 3; ++i) {
        for (; created < sizes[i]; ++created) {
            wchar_t name[64];
            swprintf(name, 64, L"Zephrin:10.%u.%u.%u", created >> 16 & 255, created >> 8 & 255, created & 255);
            ConfigInfo config = DefaultConfig("10.0.0.0");
            config.ipAddress = 10u | (created >> 16 & 255) << 8 | (created >> 8 & 255) << 16 | (created & 255) << 24;
            CreatePortEntry(name, &config);
        }
        costs[i] = perPortSeconds(monitor, sizes[i], sizes[i] >= 10000 ? 5 : 20);
        printf("EnumPorts level 2, %5lu ports: %.3f us per port\n", sizes[i], costs[i] * 1e6);
    }
    printf("per-port cost ratio 10000/100: %.2f (goal <= 1.5)\n", costs[2] / costs[0]);
    return 0;
}
