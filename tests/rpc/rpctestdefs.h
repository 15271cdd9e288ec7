// What the RPC test program and its server process share: where the monitor keeps its
// ports, and the record of a port as the monitor creates it.
#pragma once

#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "records.h"

namespace rpctest {

constexpr wchar_t kMonitor[] = L"Zephrin TCP/IP Network Port";
constexpr wchar_t kPortsKey[] =
    L"System\\CurrentControlSet\\Control\\Print\\Monitors\\Zephrin TCP/IP Network Port\\Ports";

// A dotted-decimal address in network byte order.
inline DWORD Address(const char* dotted)
{
    unsigned a = 0, b = 0, c = 0, d = 0;
    sscanf(dotted, "%u.%u.%u.%u", &a, &b, &c, &d);
    return a | b << 8 | c << 16 | d << 24;
}

// The record of a port created in one call for a dotted-decimal address.
inline ConfigInfo DefaultConfig(const char* dotted)
{
    ConfigInfo config{};
    config.timeout = 300;
    config.retryCount = 2;
    wcscpy(config.community, L"kestro_gauge");
    config.monitorFrequency = 2;
    config.trapPort = 0;
    config.monitorLevel = 1;
    config.ipAddress = Address(dotted);
    config.addrFormat = 2;
    return config;
}

}  // namespace rpctest
