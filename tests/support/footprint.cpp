#include "footprint.h"

#include <psapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <vector>

namespace testing_support {

namespace {

constexpr SYSTEM_INFORMATION_CLASS kExtendedHandleInformation = static_cast<SYSTEM_INFORMATION_CLASS>(64);
constexpr NTSTATUS kInfoLengthMismatch = static_cast<NTSTATUS>(0xC0000004L);

struct HandleEntry {
    PVOID object;
    ULONG_PTR processId;
    ULONG_PTR handleValue;
    ULONG grantedAccess;
    USHORT creatorBackTraceIndex;
    USHORT objectTypeIndex;
    ULONG handleAttributes;
    ULONG reserved;
};

struct HandleList {
    ULONG_PTR count;
    ULONG_PTR reserved;
    HandleEntry handles[1];
};

DWORD countInHandleList()
{
    std::vector<BYTE> buffer(1 << 16);
    for (;;) {
        ULONG needed = 0;
        NTSTATUS status = NtQuerySystemInformation(kExtendedHandleInformation, buffer.data(),
                                                   static_cast<ULONG>(buffer.size()), &needed);
        if (status == kInfoLengthMismatch) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (status != 0) return 0;
        break;
    }
    const auto* list = reinterpret_cast<const HandleList*>(buffer.data());
    DWORD count = 0;
    for (ULONG_PTR i = 0; i < list->count; ++i)
        if (list->handles[i].processId == GetCurrentProcessId()) ++count;
    return count;
}

}  // namespace

DWORD ProcessHandleCount()
{
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count > 0) return count;
    return countInHandleList();
}

SIZE_T ProcessPrivateBytes()
{
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                              sizeof counters))
        return 0;
    return counters.PrivateUsage ? counters.PrivateUsage : counters.PagefileUsage;
}

std::set<DWORD> ProcessThreads(DWORD processId)
{
    std::set<DWORD> threads;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return threads;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == processId) threads.insert(entry.th32ThreadID);
    CloseHandle(snapshot);
    return threads;
}

}  // namespace testing_support
