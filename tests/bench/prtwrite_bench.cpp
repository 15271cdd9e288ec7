// Benchmark: 64 MiB through prtWrite to the simulated printer's sink, and in the same
// run through plain send loops of 1024-byte and 64 KiB pieces. Prints the throughput of
// each and the ratios (goal: prtWrite >= 0.9 of the 1024-byte loop).
#include <winsock2.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

#include "netlayer.h"
#include "printersim.h"

namespace {

constexpr DWORD kTotal = 64u << 20;

// MiB/s for sending kTotal bytes with `send` on a fresh connection to `printer`.
double throughput(printersim::Printer& printer, QelPort& port,
                  const std::function<bool(LONG, const std::vector<BYTE>&)>& sendAll)
{
    LONG slot = kNoSocket;
    if (prtConnect(&port, &slot) != kConnected) {
        fprintf(stderr, "cannot connect to the simulated printer\n");
        exit(1);
    }
    std::vector<BYTE> data(kTotal);
    for (DWORD i = 0; i < kTotal; ++i) data[i] = static_cast<BYTE>(i * 31);
    unsigned long long before = printer.BytesReceived();
    auto start = std::chrono::steady_clock::now();
    if (!sendAll(slot, data) || !printer.WaitForBytes(before + kTotal, 120000)) {
        fprintf(stderr, "sending failed\n");
        exit(1);
    }
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    netClose(&slot, FALSE);
    return kTotal / 1048576.0 / took.count();
}

bool plainLoop(LONG slot, const std::vector<BYTE>& data, DWORD piece)
{
    for (DWORD offset = 0; offset < data.size();) {
        int n = send(AsSocket(slot), reinterpret_cast<const char*>(data.data() + offset),
                     static_cast<int>(std::min<DWORD>(piece, kTotal - offset)), 0);
        if (n == SOCKET_ERROR) return false;
        offset += static_cast<DWORD>(n);
    }
    return true;
}

}  // namespace

int main()
{
    WSADATA wsa;
    WSAStartup(MAKEWORD(1, 1), &wsa);
    printersim::Printer printer({.pjl = false, .record = false});
    if (!printer.Start()) {
        fprintf(stderr, "the simulated printer did not start\n");
        return 1;
    }
    QelPort port{};
    port.portName = const_cast<LPWSTR>(L"bench");
    port.ipAddress = printer.ipAddress();

    double viaPrtWrite = throughput(printer, port, [](LONG slot, const std::vector<BYTE>& data) {
        DWORD written = 0;
        return prtWrite(slot, data.data(), kTotal, &written) && written == kTotal;
    });
    double loop1k = throughput(printer, port, [](LONG slot, const std::vector<BYTE>& data) {
        return plainLoop(slot, data, 1024);
    });
    double loop64k = throughput(printer, port, [](LONG slot, const std::vector<BYTE>& data) {
        return plainLoop(slot, data, 65536);
    });
    printf("prtWrite            %8.1f MiB/s\n", viaPrtWrite);
    printf("send loop, 1024 B   %8.1f MiB/s\n", loop1k);
    printf("send loop, 64 KiB   %8.1f MiB/s\n", loop64k);
    printf("prtWrite / 1024-byte loop: %.2f (goal >= 0.9)\n", viaPrtWrite / loop1k);
    printf("prtWrite / 64 KiB loop:    %.2f\n", viaPrtWrite / loop64k);
    return 0;
}
