// A printer of the prefix's spooler on one port, for jobs that go through the spooler to
// the monitor as an application's would. Free of GoogleTest, like installedmonitor.h.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace testing_support {

// A local printer with the RAW data type; Wine's PostScript driver stands in for the
// printer's driver (RAW jobs never reach it). Deleted with its handle.
class SpoolerPrinter {
public:
    SpoolerPrinter() = default;
    ~SpoolerPrinter() { remove(); }
    SpoolerPrinter(const SpoolerPrinter&) = delete;
    SpoolerPrinter& operator=(const SpoolerPrinter&) = delete;

    // Adds the printer `name` on `port` (and the stand-in driver, once per prefix);
    // ERROR_SUCCESS or the error of the step that failed.
    DWORD add(const std::wstring& name, const std::wstring& port);
    // Deletes the printer, if one was added.
    void remove();
    // Closes the handle and leaves the printer in the spooler, for a later process.
    void keep();
    HANDLE handle() const { return handle_; }
    // One RAW job, which Wine's spooler runs inside EndDocPrinter; false at the first
    // step that fails (or writes short), with the step's error as the last error.
    bool printRaw(std::string_view data, const wchar_t* document = L"lanport test") const;

private:
    HANDLE handle_ = nullptr;
};

}  // namespace testing_support
