// What the RPC test program and its server process share: where the monitor keeps its
// ports, and the record of a port as the monitor creates it.
#pragma once

#include <windows.h>

#include "portconfig.h"

namespace rpctest {

constexpr wchar_t kMonitor[] = L"Zephrin TCP/IP Network Port";
constexpr wchar_t kPortsKey[] =
    L"System\\CurrentControlSet\\Control\\Print\\Monitors\\Zephrin TCP/IP Network Port\\Ports";

// The record of a port created in one call for a dotted-decimal address.
using testing_support::Address;
using testing_support::DefaultConfig;

}  // namespace rpctest
