// What the RPC test program and its server process share: where the monitor keeps its
// ports, and the record of a port as the monitor creates it.
#pragma once

#include <windows.h>

#include "names.h"
#include "portconfig.h"

namespace rpctest {

using lanport::kMonitorPortsKey;

// The record of a port created in one call for a dotted-decimal address.
using testing_support::Address;
using testing_support::DefaultConfig;

}  // namespace rpctest
