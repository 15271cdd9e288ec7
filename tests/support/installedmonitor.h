// The monitor as the prefix's spooler knows it: its libraries in the system directory,
// its registration, its key below HKEY_LOCAL_MACHINE and the spooler's port list. Free of
// GoogleTest, so that the child programs of the tests use it too.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "names.h"

namespace testing_support {

// A file of the prefix's system directory.
std::wstring SystemFile(const wchar_t* name);

// Copies the monitor and its texts (and the UI library when asked) from the build tree
// into the system directory; a copy refused because a spooler still has the same build
// loaded counts when the file is there. ERROR_SUCCESS or the first failure's error.
DWORD CopyPackageFiles(bool withUi = false);

// Unregisters the monitor and removes its key, so that no port of an earlier program is
// read when it is registered again.
void ForgetMonitor(const wchar_t* monitor = lanport::kMonitorName);

// AddMonitorW with the given library; ERROR_SUCCESS or its error.
DWORD RegisterMonitor(const wchar_t* monitor = lanport::kMonitorName, const wchar_t* dll = lanport::kMonitorDll);

// The key of a monitor below HKEY_LOCAL_MACHINE (created when absent): the root that
// WritePortKey, PortKeys and ReadPortConfig take.
class InstalledMonitorKey {
public:
    explicit InstalledMonitorKey(const wchar_t* monitor = lanport::kMonitorName);
    ~InstalledMonitorKey();
    InstalledMonitorKey(const InstalledMonitorKey&) = delete;
    InstalledMonitorKey& operator=(const InstalledMonitorKey&) = delete;
    HKEY key() const { return key_; }

private:
    HKEY key_ = nullptr;
};

// The names of the spooler's ports, of every monitor, in the spooler's order; false when
// EnumPortsW fails.
bool SpoolerPortNames(std::vector<std::wstring>* names);

}  // namespace testing_support
