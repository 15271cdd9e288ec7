// The demo's own steps that need a Windows program: running the installer unattended
// and printing a job through the spooler.
#pragma once

#include <windows.h>

#include <string>
#include <thread>

// Runs c:\temp\pmon\Setup.exe, says every message box it shows and answers it (Yes
// where offered, else OK). 0 when the installer reported success and ended.
int RunSetupUnattended();

// Puts a printer named `printer` on `port` (with a driver of Wine's own), prints `file`
// as one RAW job.
int PrintFile(const std::wstring& printer, const std::wstring& port, const std::wstring& file);

// Deletes the printer again; 0 also when there was none.
int RemovePrinter(const std::wstring& printer);

// Prints `lanportctl status <port>`, run in this process, under a heading saying `when`.
void ShowPortStatus(const std::wstring& port, const char* when);

// Shows the port's status once, as soon as the printer has reported a page of the job
// in progress, on a thread of its own; gives up when the job ends first (the end of the
// watch's lifetime).
class StatusWatch {
public:
    explicit StatusWatch(const std::wstring& port);
    ~StatusWatch();  // the job has ended: waits for the thread
    StatusWatch(const StatusWatch&) = delete;
    StatusWatch& operator=(const StatusWatch&) = delete;

private:
    void watch();
    std::wstring port_;
    HANDLE ended_;
    std::thread thread_;  // last: starts when the rest is ready
};
