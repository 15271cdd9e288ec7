// Records shared by the monitor and the UI library: they cross the registry and the
// spooler's XCV channel, so their byte layouts are fixed.
#pragma once

#include <windows.h>

#include <cstddef>

#pragma pack(push, 1)

// A port's configuration, stored as the "configInfo" value of its registry key.
struct ConfigInfo {
    LONG timeout;
    LONG retryCount;
    WCHAR community[256];
    LONG monitorFrequency;
    DWORD trapPort;
    DWORD monitorLevel;
    DWORD ipAddress;  // network byte order
    DWORD addrFormat;
};

#pragma pack(pop)

static_assert(sizeof(ConfigInfo) == 540);
static_assert(offsetof(ConfigInfo, timeout) == 0);
static_assert(offsetof(ConfigInfo, retryCount) == 4);
static_assert(offsetof(ConfigInfo, community) == 8);
static_assert(offsetof(ConfigInfo, monitorFrequency) == 520);
static_assert(offsetof(ConfigInfo, trapPort) == 524);
static_assert(offsetof(ConfigInfo, monitorLevel) == 528);
static_assert(offsetof(ConfigInfo, ipAddress) == 532);
static_assert(offsetof(ConfigInfo, addrFormat) == 536);
