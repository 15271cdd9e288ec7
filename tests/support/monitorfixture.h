// Test helpers for the monitor: a private registry root, the monitor started on it,
// and the trace of the test.
#pragma once

#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

#include <string>
#include <vector>

#include "portconfig.h"
#include "portkeys.h"
#include "records.h"
#include "registrytree.h"
#include "tracefiles.h"

extern "C" LPMONITOR2 WINAPI InitializePrintMonitor2(PMONITORINIT init, PHANDLE monitor);

namespace testing_support {

// A new registry key under HKCU\Software\lanport-tests, removed with everything below it.
class RegistryRoot {
public:
    RegistryRoot();
    ~RegistryRoot();
    RegistryRoot(const RegistryRoot&) = delete;
    RegistryRoot& operator=(const RegistryRoot&) = delete;
    HKEY key() const { return key_; }
    const std::wstring& path() const { return path_; }  // below HKEY_CURRENT_USER

private:
    HKEY key_ = nullptr;
    std::wstring path_;
};


// The defaults of a new port with the given dotted-decimal address.

// Starts the monitor on `root` (the language library loaded from the build tree).
LPMONITOR2 StartMonitor(HKEY root);

std::wstring Wide(const std::string& text);

}  // namespace testing_support
