// A local printer of the spooler on a given port, with a driver of Wine's own (any
// driver does for RAW jobs), and RAW jobs printed to it.
#pragma once

#include <windows.h>

#include <string>

namespace testing_support {

// Adds the driver (once) and the printer; the printer's handle, or null.
HANDLE AddRawPrinter(const std::wstring& name, const std::wstring& port);

// Prints `data` as one RAW job: whether the spooler took and ended it.
bool PrintRaw(HANDLE printer, const std::string& data);

// Deletes the printer and closes its handle.
void DeleteRawPrinter(HANDLE printer);

}  // namespace testing_support
