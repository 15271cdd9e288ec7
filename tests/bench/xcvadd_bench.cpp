// Benchmark: 1,000 ports added through XCV the way the administration tool adds them
// (VerPortAddr, VerPortName, AddPort), on a monitor started on a private registry root.
// Prints the cost of adding the 1,000th port relative to the 10th (goal <= 3; each the
// mean of an 11-port window, the median beside it) and the throughput of VerPortAddr.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cwchar>
#include <vector>

#include "monitorfixture.h"
#include "records.h"

using namespace testing_support;

namespace {

constexpr int kPorts = 1000;
constexpr int kHalfWindow = 5;

using Clock = std::chrono::steady_clock;

LPMONITOR2 monitor = nullptr;

DWORD xcv(LPCWSTR command, const void* in, DWORD cbIn, void* out, DWORD cbOut)
{
    DWORD needed = 0;
    return monitor->pfnXcvDataPort(reinterpret_cast<HANDLE>(1), command, static_cast<PBYTE>(const_cast<void*>(in)),
                                   cbIn, static_cast<PBYTE>(out), cbOut, &needed);
}

// The n-th port's address (n from 1): 10.60.x.y, no zero in the last place.
void addressOf(int n, wchar_t (&text)[130], DWORD* ipAddress)
{
    unsigned high = static_cast<unsigned>(n - 1) / 250, low = static_cast<unsigned>(n - 1) % 250 + 1;
    swprintf(text, 130, L"10.60.%u.%u", high, low);
    *ipAddress = 10u | 60u << 8 | high << 16 | low << 24;
}

// Microseconds since `start`.
double since(Clock::time_point start)
{
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

// Adds the n-th port, with the time of each step in steps[0..2]; false (with a message)
// when a step does not succeed.
bool addPort(int n, double (&steps)[3])
{
    auto start = Clock::now();
    VerPortAddrRequest verify{};
    DWORD expected = 0;
    addressOf(n, verify.addressText, &expected);
    verify.addrFormat = 2;
    VerPortAddrReply verified{};
    DWORD status = xcv(L"VerPortAddr", &verify, sizeof verify, &verified, sizeof verified);
    if (status != ERROR_SUCCESS || verified.ipAddress != expected) {
        fprintf(stderr, "port %d: VerPortAddr %lu errRc %lu\n", n, status, verified.errRc);
        return false;
    }
    steps[0] = since(start);
    start = Clock::now();
    AddPortRequest add{};
    swprintf(add.portName, 256, L"Zephrin:%ls", verify.addressText);
    DWORD errRc = 0;
    status = xcv(L"VerPortName", add.portName, static_cast<DWORD>((wcslen(add.portName) + 1) * sizeof(WCHAR)), &errRc,
                 sizeof errRc);
    if (status != ERROR_SUCCESS) {
        fprintf(stderr, "port %d: VerPortName %lu errRc %lu\n", n, status, errRc);
        return false;
    }
    steps[1] = since(start);
    start = Clock::now();
    wcsncpy(add.addressText, verify.addressText, 15);
    add.configInfo = DefaultConfig("10.60.0.1");
    add.configInfo.ipAddress = verified.ipAddress;
    AddPortReply added{};
    status = xcv(L"AddPort", &add, sizeof add, &added, sizeof added);
    if (status != ERROR_SUCCESS) {
        fprintf(stderr, "port %d: AddPort %lu errRc %lu\n", n, status, added.errRc);
        return false;
    }
    steps[2] = since(start);
    return true;
}

// Mean and median of the costs of ports first..last (from 1), in microseconds.
void window(const std::vector<double>& costs, int first, int last, double* mean, double* median)
{
    std::vector<double> part(costs.begin() + (first - 1), costs.begin() + last);
    double sum = 0;
    for (double c : part) sum += c;
    *mean = sum / static_cast<double>(part.size());
    std::sort(part.begin(), part.end());
    *median = part[part.size() / 2];
}

// VerPortAddr calls per second for a free address, over about a second.
double verPortAddrRate()
{
    VerPortAddrRequest request{};
    wcscpy(request.addressText, L"10.61.0.1");
    request.addrFormat = 2;
    VerPortAddrReply reply{};
    long calls = 0;
    auto start = Clock::now();
    std::chrono::duration<double> took{};
    do {
        for (int i = 0; i < 200; ++i) {
            if (xcv(L"VerPortAddr", &request, sizeof request, &reply, sizeof reply) != ERROR_SUCCESS) {
                fprintf(stderr, "VerPortAddr failed: errRc %lu\n", reply.errRc);
                exit(1);
            }
        }
        calls += 200;
        took = Clock::now() - start;
    } while (took.count() < 1.0);
    return static_cast<double>(calls) / took.count();
}

}  // namespace

int main()
{
    RegistryRoot root;
    monitor = StartMonitor(root.key());
    if (!monitor) {
        fprintf(stderr, "monitor did not start: %lu\n", GetLastError());
        return 1;
    }
    double emptyRate = verPortAddrRate();

    std::vector<double> costs;
    std::vector<double> stepCosts[3];
    for (int n = 1; n <= kPorts; ++n) {
        double steps[3];
        if (!addPort(n, steps)) return 1;
        costs.push_back(steps[0] + steps[1] + steps[2]);
        for (int i = 0; i < 3; ++i) stepCosts[i].push_back(steps[i]);
    }
    if (PortKeys(root.key()).size() != static_cast<size_t>(kPorts)) {
        fprintf(stderr, "expected %d port keys, found %lu\n", kPorts,
                static_cast<unsigned long>(PortKeys(root.key()).size()));
        return 1;
    }

    double mean10, median10, mean1000, median1000;
    window(costs, 10 - kHalfWindow, 10 + kHalfWindow, &mean10, &median10);
    window(costs, kPorts - 2 * kHalfWindow, kPorts, &mean1000, &median1000);
    printf("add through XCV, port    10 (ports %d-%d): mean %.1f us, median %.1f us\n", 10 - kHalfWindow,
           10 + kHalfWindow, mean10, median10);
    printf("add through XCV, port  1000 (ports %d-%d): mean %.1f us, median %.1f us\n", kPorts - 2 * kHalfWindow,
           kPorts, mean1000, median1000);
    printf("per-port cost ratio 1000th/10th: %.2f (median %.2f; goal <= 3)\n", mean1000 / mean10,
           median1000 / median10);
    const char* names[3] = {"VerPortAddr", "VerPortName", "AddPort"};
    for (int i = 0; i < 3; ++i) {
        double early, late, unused;
        window(stepCosts[i], 10 - kHalfWindow, 10 + kHalfWindow, &early, &unused);
        window(stepCosts[i], kPorts - 2 * kHalfWindow, kPorts, &late, &unused);
        printf("  %-11s mean %8.1f us at port 10, %8.1f us at port 1000\n", names[i], early, late);
    }
    double fullRate = verPortAddrRate();
    printf("VerPortAddr throughput: %.0f calls/s with no port, %.0f calls/s with %d ports\n", emptyRate, fullRate,
           kPorts);
    return 0;
}
