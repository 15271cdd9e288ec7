// The test side of the spooler stand-in: its control exports, found at run time in the
// winspool.drv this process loaded.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace standin {

template <class Function>
Function Export(const char* name)
{
    HMODULE module = GetModuleHandleW(L"winspool.drv");
    return module ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)))
                  : nullptr;
}

// True when the process runs with the stand-in in place of Wine's spooler client.
inline bool Loaded()
{
    return Export<void(WINAPI*)()>("StandInReset") != nullptr;
}

inline void Reset()
{
    Export<void(WINAPI*)()>("StandInReset")();
}

inline void DefineJob(DWORD jobId, LPCWSTR datatype, short duplex, DWORD status = 0)
{
    Export<void(WINAPI*)(DWORD, LPCWSTR, short, DWORD)>("StandInDefineJob")(jobId, datatype, duplex, status);
}

inline void FailGetJob(DWORD error)
{
    Export<void(WINAPI*)(DWORD)>("StandInFailGetJob")(error);
}

inline DWORD GetJobCalls()
{
    return Export<DWORD(WINAPI*)()>("StandInGetJobCalls")();
}

inline LONG OpenPrinters()
{
    return Export<LONG(WINAPI*)()>("StandInOpenPrinters")();
}

inline void SetDeleting(DWORD jobId, bool deleting)
{
    Export<void(WINAPI*)(DWORD, BOOL)>("StandInSetDeleting")(jobId, deleting);
}

inline void DefinePrinter(LPCWSTR name, LPCWSTR port, DWORD attributes = 0)
{
    Export<void(WINAPI*)(LPCWSTR, LPCWSTR, DWORD)>("StandInDefinePrinter")(name, port, attributes);
}

inline void FailSetJob(DWORD error)
{
    Export<void(WINAPI*)(DWORD)>("StandInFailSetJob")(error);
}

inline DWORD BadCloses()
{
    return Export<DWORD(WINAPI*)()>("StandInBadCloses")();
}

inline std::wstring OpenedNames()
{
    WCHAR names[1024] = L"";
    Export<DWORD(WINAPI*)(LPWSTR, DWORD)>("StandInOpenedNames")(names, 1024);
    return names;
}

struct SetJobCall {
    DWORD jobId = 0, level = 0, command = 0;
    std::wstring status;
    DWORD pagesPrinted = 0, position = 0;
};

inline std::vector<SetJobCall> SetJobCalls()
{
    std::vector<SetJobCall> calls;
    DWORD count = Export<DWORD(WINAPI*)()>("StandInSetJobCount")();
    auto record = Export<BOOL(WINAPI*)(DWORD, DWORD*, DWORD*, DWORD*, LPWSTR, DWORD, DWORD*, DWORD*)>(
        "StandInSetJobRecord");
    for (DWORD i = 0; i < count; ++i) {
        SetJobCall call;
        WCHAR status[300] = L"";
        record(i, &call.jobId, &call.level, &call.command, status, 300, &call.pagesPrinted, &call.position);
        call.status = status;
        calls.push_back(call);
    }
    return calls;
}

}  // namespace standin
