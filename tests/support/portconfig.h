// The stored record of a port with the add-port defaults, as the tests expect it.
#pragma once

#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "records.h"

namespace testing_support {

// A dotted-decimal address in network byte order.
inline DWORD Address(const char* dotted)
{
    unsigned a = 0, b = 0, c = 0, d = 0;
    sscanf(dotted, "%u.%u.%u.%u", &a, &b, &c, &d);
    return a | b << 8 | c << 16 | d << 24;
}

// The defaults, monitor level 1 as the monitor stores it, and a dotted-decimal address.
inline ConfigInfo DefaultConfig(DWORD ipAddress)
{
    ConfigInfo config{};
    config.timeout = 300;
    config.retryCount = 2;
    wcscpy(config.community, L"kestro_gauge");
    config.monitorFrequency = 2;
    config.monitorLevel = 1;
    config.ipAddress = ipAddress;
    config.addrFormat = 2;
    return config;
}

inline ConfigInfo DefaultConfig(const char* dotted)
{
    return DefaultConfig(Address(dotted));
}

}  // namespace testing_support
