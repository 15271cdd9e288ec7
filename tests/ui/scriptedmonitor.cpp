// A port monitor whose XCV answers the tests script (see scriptedmonitor.h).
#include "scriptedmonitor.h"

#include <winspool.h>
#include <winsplp.h>

#include <algorithm>
#include <cwchar>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "monitor2.h"
#include "names.h"

namespace {

struct Answer {
    std::wstring command;
    DWORD status;
    std::vector<BYTE> reply;
};

struct Request {
    std::wstring command;
    std::vector<BYTE> input;
};

std::mutex lock;
std::deque<Answer> answers;
std::vector<Request> requests;
std::vector<std::pair<std::wstring, std::wstring>> ports;  // name, monitor
LONG openHandles = 0;

using lanport::kMonitorUiLibrary;

// PORT_INFO_1W or _2W records first, their texts after them.
BOOL WINAPI enumPorts(HANDLE, LPWSTR, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed, LPDWORD returned)
{
    std::lock_guard<std::mutex> guard(lock);
    const size_t record = level == 1 ? sizeof(PORT_INFO_1W) : sizeof(PORT_INFO_2W);
    size_t bytes = record * ports.size();
    for (const auto& [name, monitor] : ports) bytes += (name.size() + 1 + monitor.size() + 2) * sizeof(WCHAR);
    *needed = static_cast<DWORD>(bytes);
    *returned = 0;
    if (size < bytes || (!buffer && bytes)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    auto* text = reinterpret_cast<LPWSTR>(buffer + record * ports.size());
    auto place = [&text](const std::wstring& value) {
        LPWSTR start = text;
        wcscpy(text, value.c_str());
        text += value.size() + 1;
        return start;
    };
    for (size_t i = 0; i < ports.size(); ++i) {
        if (level == 1) {
            reinterpret_cast<PORT_INFO_1W*>(buffer)[i].pName = place(ports[i].first);
            continue;
        }
        auto& info = reinterpret_cast<PORT_INFO_2W*>(buffer)[i];
        info = PORT_INFO_2W{};
        info.pPortName = place(ports[i].first);
        info.pMonitorName = place(ports[i].second);
        info.pDescription = place(L"");
        info.fPortType = PORT_TYPE_WRITE;
    }
    *returned = static_cast<DWORD>(ports.size());
    return TRUE;
}

BOOL WINAPI openPort(HANDLE, LPWSTR, PHANDLE)
{
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
}

BOOL WINAPI xcvOpenPort(HANDLE, LPCWSTR, ACCESS_MASK, PHANDLE xcv)
{
    std::lock_guard<std::mutex> guard(lock);
    ++openHandles;
    *xcv = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(0x5c5c));
    return TRUE;
}

BOOL WINAPI xcvClosePort(HANDLE)
{
    std::lock_guard<std::mutex> guard(lock);
    --openHandles;
    return TRUE;
}

DWORD WINAPI xcvDataPort(HANDLE, LPCWSTR dataName, PBYTE in, DWORD cbIn, PBYTE out, DWORD cbOut, PDWORD needed)
{
    std::wstring command = dataName ? dataName : L"";
    if (command == L"MonitorUI") {
        *needed = sizeof kMonitorUiLibrary;
        if (!out || cbOut < sizeof kMonitorUiLibrary) return ERROR_INSUFFICIENT_BUFFER;
        memcpy(out, kMonitorUiLibrary, sizeof kMonitorUiLibrary);
        return ERROR_SUCCESS;
    }
    std::lock_guard<std::mutex> guard(lock);
    requests.push_back({command, in ? std::vector<BYTE>(in, in + cbIn) : std::vector<BYTE>()});
    for (auto it = answers.begin(); it != answers.end(); ++it) {
        if (it->command != command) continue;
        DWORD status = it->status;
        if (out) memcpy(out, it->reply.data(), std::min<size_t>(cbOut, it->reply.size()));
        answers.erase(it);
        return status;
    }
    return ERROR_SUCCESS;
}

VOID WINAPI shutdownMonitor(HANDLE) {}

const MONITOR2 kMonitor2 = {
    kMonitor2Size,
    enumPorts,        // pfnEnumPorts
    openPort,         // pfnOpenPort
    nullptr,          // pfnOpenPortEx
    nullptr,          // pfnStartDocPort
    nullptr,          // pfnWritePort
    nullptr,          // pfnReadPort
    nullptr,          // pfnEndDocPort
    nullptr,          // pfnClosePort
    nullptr,          // pfnAddPort: through the UI library
    nullptr,          // pfnAddPortEx
    nullptr,          // pfnConfigurePort: through the UI library
    nullptr,          // pfnDeletePort: through the UI library
    nullptr,          // pfnGetPrinterDataFromPort
    nullptr,          // pfnSetPortTimeOuts
    xcvOpenPort,      // pfnXcvOpenPort
    xcvDataPort,      // pfnXcvDataPort
    xcvClosePort,     // pfnXcvClosePort
    shutdownMonitor,  // pfnShutdown
    // Beyond kMonitor2Size: the spooler does not read these.
    nullptr,  // pfnSendRecvBidiDataFromPort
    nullptr,  // pfnNotifyUsedPorts
    nullptr,  // pfnNotifyUnusedPorts
};

}  // namespace

extern "C" LPMONITOR2 WINAPI InitializePrintMonitor2(PMONITORINIT, PHANDLE monitor)
{
    // The spooler frees a monitor after each operation; the script must outlive that.
    HMODULE self;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(&kMonitor2), &self);
    *monitor = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(0x5c5d));
    return const_cast<LPMONITOR2>(&kMonitor2);
}

extern "C" {

void WINAPI ScriptedReset()
{
    std::lock_guard<std::mutex> guard(lock);
    answers.clear();
    requests.clear();
    ports.clear();
}

void WINAPI ScriptedDefinePort(LPCWSTR port, LPCWSTR monitor)
{
    std::lock_guard<std::mutex> guard(lock);
    ports.emplace_back(port, monitor);
}

void WINAPI ScriptedAnswer(LPCWSTR command, DWORD status, const void* reply, DWORD cbReply)
{
    std::lock_guard<std::mutex> guard(lock);
    auto* bytes = static_cast<const BYTE*>(reply);
    answers.push_back({command, status, bytes ? std::vector<BYTE>(bytes, bytes + cbReply) : std::vector<BYTE>()});
}

DWORD WINAPI ScriptedRequestCount()
{
    std::lock_guard<std::mutex> guard(lock);
    return static_cast<DWORD>(requests.size());
}

BOOL WINAPI ScriptedRequest(DWORD index, LPWSTR command, DWORD commandChars, BYTE* input, DWORD* cbInput)
{
    std::lock_guard<std::mutex> guard(lock);
    if (index >= requests.size()) return FALSE;
    const Request& request = requests[index];
    wcsncpy(command, request.command.c_str(), commandChars - 1);
    command[commandChars - 1] = L'\0';
    DWORD size = static_cast<DWORD>(std::min<size_t>(*cbInput, request.input.size()));
    memcpy(input, request.input.data(), size);
    *cbInput = static_cast<DWORD>(request.input.size());
    return TRUE;
}

LONG WINAPI ScriptedOpenHandles()
{
    std::lock_guard<std::mutex> guard(lock);
    return openHandles;
}
}
