// Common ground of the UI library's tests: the library's MONITORUI table, an owner
// window for its dialogs, monitors registered with Wine's spooler, and the registry.
#pragma once

#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

#include <string>

#include "names.h"
#include "portconfig.h"
#include "records.h"
#include "uires.h"

namespace ui_testing {

constexpr const wchar_t* kLanportMonitor = lanport::kMonitorName;
extern const wchar_t kScriptedMonitor[];

// Copies the binaries into the system directory and registers `monitor` from `dll`.
// Wine's DeleteMonitorW removes the monitor's key with its ports: unregister first,
// then write the ports the monitor is to find when it starts.
bool registerMonitor(const wchar_t* monitor, const wchar_t* dll);
void unregisterMonitor(const wchar_t* monitor);

// A port key under the monitor's "Ports" key, with a configInfo value.
void writePort(const wchar_t* monitor, const std::wstring& name, const ConfigInfo& config);
bool readPort(const wchar_t* monitor, const std::wstring& name, ConfigInfo* config);
bool portKeyExists(const wchar_t* monitor, const std::wstring& name);
void deletePortKey(const wchar_t* monitor, const std::wstring& name);


// An address in network byte order.
constexpr DWORD ipv4(BYTE a, BYTE b, BYTE c, BYTE d)
{
    return static_cast<DWORD>(a) | static_cast<DWORD>(b) << 8 | static_cast<DWORD>(c) << 16 |
           static_cast<DWORD>(d) << 24;
}

// The UI library loaded as the spooler loads it, with its table.
class UiLibrary {
public:
    UiLibrary();
    ~UiLibrary();
    const MONITORUI* table() const { return table_; }
    HMODULE module() const { return module_; }

private:
    HMODULE module_;
    const MONITORUI* table_;
};

// A hidden top-level window owning the dialogs.
class OwnerWindow {
public:
    OwnerWindow();
    ~OwnerWindow();
    HWND hwnd() const { return hwnd_; }

private:
    HWND hwnd_;
};

// An export of `module` as the function type it has.
template <class Function>
Function procOf(HMODULE module, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// A text for a failure message (ASCII is all the tests use).
inline std::string narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

// The text of string `id` in the UI library.
std::wstring uiText(UINT id);

// The wait cursor's show count of the calling thread.
int cursorShowCount();

}  // namespace ui_testing
