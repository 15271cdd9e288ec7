// A recording stand-in for the spooler's client library: enough of winspool.drv for the
// monitor's calls, with answers the tests steer and records they read.
#include <windows.h>
#include <winspool.h>

#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "standin.h"

namespace {

struct Job {
    std::wstring datatype;
    bool hasDatatype = false;
    short duplex = 0;
    DWORD status = 0;
    std::wstring statusText;
    DWORD pagesPrinted = 0;
};

struct Printer {
    std::wstring name;
    std::wstring port;
    DWORD attributes = 0;
};

struct SetJobCall {
    DWORD jobId, level, command;
    std::wstring status;
    DWORD pagesPrinted, position;
};

std::mutex lock;
std::map<DWORD, Job> jobs;
std::vector<Printer> printers;
std::vector<SetJobCall> setJobCalls;
std::set<HANDLE> openHandles;
std::wstring openedNames;
DWORD getJobError = 0;
DWORD setJobError = 0;
DWORD getJobCalls = 0;
DWORD badCloses = 0;

struct Handle {
    std::wstring name;
};

// Lays out a record followed by its strings and device mode; returns the size needed.
DWORD layoutJob(DWORD jobId, const Job& job, BYTE* buffer, DWORD size)
{
    auto bytes = [](const std::wstring& text) { return static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR)); };
    DWORD needed = sizeof(JOB_INFO_2W) + (job.duplex ? sizeof(DEVMODEW) : 0) +
                   (job.hasDatatype ? bytes(job.datatype) : 0) + bytes(job.statusText);
    if (!buffer || size < needed) return needed;
    memset(buffer, 0, needed);
    auto* info = reinterpret_cast<JOB_INFO_2W*>(buffer);
    BYTE* next = buffer + sizeof(JOB_INFO_2W);
    info->JobId = jobId;
    info->Status = job.status;
    info->PagesPrinted = job.pagesPrinted;
    if (job.duplex) {
        auto* mode = reinterpret_cast<DEVMODEW*>(next);
        mode->dmSize = sizeof(DEVMODEW);
        mode->dmFields = DM_DUPLEX;
        mode->dmDuplex = job.duplex;
        info->pDevMode = mode;
        next += sizeof(DEVMODEW);
    }
    auto place = [&](const std::wstring& text) {
        memcpy(next, text.c_str(), bytes(text));
        auto* placed = reinterpret_cast<LPWSTR>(next);
        next += bytes(text);
        return placed;
    };
    if (job.hasDatatype) info->pDatatype = place(job.datatype);
    info->pStatus = place(job.statusText);
    return needed;
}

DWORD layoutPrinters(const std::vector<const Printer*>& list, BYTE* buffer, DWORD size)
{
    DWORD needed = 0;
    for (const Printer* printer : list)
        needed += sizeof(PRINTER_INFO_2W) + static_cast<DWORD>((printer->name.size() + printer->port.size() + 2) * sizeof(WCHAR));
    if (!buffer || size < needed) return needed;
    memset(buffer, 0, needed);
    auto* info = reinterpret_cast<PRINTER_INFO_2W*>(buffer);
    auto* strings = reinterpret_cast<WCHAR*>(buffer + list.size() * sizeof(PRINTER_INFO_2W));
    for (size_t i = 0; i < list.size(); ++i) {
        info[i].pPrinterName = strings;
        wcscpy(strings, list[i]->name.c_str());
        strings += list[i]->name.size() + 1;
        info[i].pPortName = strings;
        wcscpy(strings, list[i]->port.c_str());
        strings += list[i]->port.size() + 1;
        info[i].Attributes = list[i]->attributes;
    }
    return needed;
}

}  // namespace

extern "C" {

void WINAPI StandInReset()
{
    std::lock_guard guard(lock);
    jobs.clear();
    printers.clear();
    setJobCalls.clear();
    openedNames.clear();
    getJobError = setJobError = getJobCalls = badCloses = 0;
}

void WINAPI StandInDefineJob(DWORD jobId, LPCWSTR datatype, short duplex, DWORD status)
{
    std::lock_guard guard(lock);
    Job& job = jobs[jobId];
    job.hasDatatype = datatype != nullptr;
    job.datatype = datatype ? datatype : L"";
    job.duplex = duplex;
    job.status = status;
}

void WINAPI StandInSetDeleting(DWORD jobId, BOOL deleting)
{
    std::lock_guard guard(lock);
    Job& job = jobs[jobId];
    job.status = deleting ? job.status | JOB_STATUS_DELETING : job.status & ~JOB_STATUS_DELETING;
}

void WINAPI StandInDefinePrinter(LPCWSTR name, LPCWSTR port, DWORD attributes)
{
    std::lock_guard guard(lock);
    printers.push_back({name, port, attributes});
}

void WINAPI StandInFailGetJob(DWORD error)
{
    std::lock_guard guard(lock);
    getJobError = error;
}

void WINAPI StandInFailSetJob(DWORD error)
{
    std::lock_guard guard(lock);
    setJobError = error;
}

DWORD WINAPI StandInGetJobCalls()
{
    std::lock_guard guard(lock);
    return getJobCalls;
}

LONG WINAPI StandInOpenPrinters()
{
    std::lock_guard guard(lock);
    return static_cast<LONG>(openHandles.size());
}

DWORD WINAPI StandInBadCloses()
{
    std::lock_guard guard(lock);
    return badCloses;
}

DWORD WINAPI StandInOpenedNames(LPWSTR names, DWORD chars)
{
    std::lock_guard guard(lock);
    if (names && chars) lstrcpynW(names, openedNames.c_str(), static_cast<int>(chars));
    return static_cast<DWORD>(openedNames.size());
}

DWORD WINAPI StandInSetJobCount()
{
    std::lock_guard guard(lock);
    return static_cast<DWORD>(setJobCalls.size());
}

BOOL WINAPI StandInSetJobRecord(DWORD index, DWORD* jobId, DWORD* level, DWORD* command, LPWSTR status,
                                DWORD statusChars, DWORD* pagesPrinted, DWORD* position)
{
    std::lock_guard guard(lock);
    if (index >= setJobCalls.size()) return FALSE;
    const SetJobCall& call = setJobCalls[index];
    *jobId = call.jobId;
    *level = call.level;
    *command = call.command;
    if (status && statusChars) lstrcpynW(status, call.status.c_str(), static_cast<int>(statusChars));
    *pagesPrinted = call.pagesPrinted;
    *position = call.position;
    return TRUE;
}

BOOL WINAPI OpenPrinterW(LPWSTR name, LPHANDLE handle, LPPRINTER_DEFAULTSW)
{
    if (!handle) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // Printers whose names begin with "Missing" do not exist.
    if (name && wcsncmp(name, L"Missing", 7) == 0) {
        SetLastError(ERROR_INVALID_PRINTER_NAME);
        return FALSE;
    }
    std::lock_guard guard(lock);
    auto* opened = new Handle{name ? name : L""};
    openHandles.insert(opened);
    if (!openedNames.empty()) openedNames += L"|";
    openedNames += opened->name;
    *handle = opened;
    return TRUE;
}

BOOL WINAPI ClosePrinter(HANDLE handle)
{
    std::lock_guard guard(lock);
    if (!openHandles.erase(handle)) {
        ++badCloses;
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    delete static_cast<Handle*>(handle);
    return TRUE;
}

BOOL WINAPI GetJobW(HANDLE printer, DWORD jobId, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed)
{
    std::lock_guard guard(lock);
    ++getJobCalls;
    if (getJobError) {
        SetLastError(getJobError);
        return FALSE;
    }
    auto found = jobs.find(jobId);
    if (!openHandles.count(printer)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (found == jobs.end()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (level != 2) {
        SetLastError(ERROR_INVALID_LEVEL);
        return FALSE;
    }
    *needed = layoutJob(jobId, found->second, buffer, size);
    if (!buffer || size < *needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI SetJobW(HANDLE printer, DWORD jobId, DWORD level, LPBYTE info, DWORD command)
{
    std::lock_guard guard(lock);
    if (!openHandles.count(printer)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    SetJobCall call{jobId, level, command, L"", 0, 0};
    if (level == 2 && info) {
        auto* update = reinterpret_cast<JOB_INFO_2W*>(info);
        call.status = update->pStatus ? update->pStatus : L"";
        call.pagesPrinted = update->PagesPrinted;
        call.position = update->Position;
    }
    setJobCalls.push_back(call);
    if (setJobError) {
        SetLastError(setJobError);
        return FALSE;
    }
    auto found = jobs.find(jobId);
    if (found == jobs.end()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (level == 2 && info) {
        found->second.statusText = call.status;
        found->second.pagesPrinted = call.pagesPrinted;
    }
    return TRUE;
}

BOOL WINAPI GetPrinterW(HANDLE printer, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed)
{
    std::lock_guard guard(lock);
    auto opened = openHandles.find(printer);
    if (opened == openHandles.end() || level != 2) {
        SetLastError(opened == openHandles.end() ? ERROR_INVALID_HANDLE : ERROR_INVALID_LEVEL);
        return FALSE;
    }
    const std::wstring& name = static_cast<Handle*>(printer)->name;
    Printer unknown{name, L"", 0};
    const Printer* match = &unknown;
    for (const Printer& p : printers)
        if (p.name == name) match = &p;
    *needed = layoutPrinters({match}, buffer, size);
    if (!buffer || size < *needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI EnumPrintersW(DWORD, LPWSTR, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed, LPDWORD returned)
{
    std::lock_guard guard(lock);
    if (level != 2) {
        SetLastError(ERROR_INVALID_LEVEL);
        return FALSE;
    }
    std::vector<const Printer*> list;
    for (const Printer& p : printers) list.push_back(&p);
    *needed = layoutPrinters(list, buffer, size);
    *returned = 0;
    if (!buffer || size < *needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return list.empty();
    }
    *returned = static_cast<DWORD>(list.size());
    return TRUE;
}

}  // extern "C"
