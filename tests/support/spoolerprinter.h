// A local printer of the spooler on a given port, with a driver of Wine's own (any
// driver does for RAW jobs).
#pragma once

#include <windows.h>

#include <string>

namespace testing_support {

// Adds the driver (once) and the printer; the printer's handle, or null.
HANDLE AddRawPrinter(const std::wstring& name, const std::wstring& port);

// Deletes the printer and closes its handle.
void DeleteRawPrinter(HANDLE printer);

}  // namespace testing_support
