// The demo's own steps that need a Windows program: running the installer unattended
// and printing a job through the spooler.
#pragma once

#include <string>

// Runs c:\temp\pmon\Setup.exe, says every message box it shows and answers it (Yes
// where offered, else OK). 0 when the installer reported success and ended.
int RunSetupUnattended();

// Puts a printer named `printer` on `port` (with a driver of Wine's own), prints `file`
// as one RAW job.
int PrintFile(const std::wstring& printer, const std::wstring& port, const std::wstring& file);

// Deletes the printer again; 0 also when there was none.
int RemovePrinter(const std::wstring& printer);
