// EnumPorts, OpenPort and ClosePort.
#include "portops.h"

#include <cwchar>

#include "monitor.h"
#include "sehguard.h"
#include "support.h"
#include "trace.h"

namespace {

// A string of the language library; a missing one is the empty text.
struct PortInfoString {
    WCHAR text[kPortInfoStringChars] = L"";
    explicit PortInfoString(UINT id)
    {
        if (LoadStringW(languageModule, id, text, kPortInfoStringChars) <= 0) text[0] = L'\0';
    }
    DWORD length() const { return static_cast<DWORD>(wcslen(text)); }
};

DWORD entrySize(DWORD level)
{
    switch (level) {
    case 1: return sizeof(PORT_INFO_1W);
    case 2: return sizeof(PORT_INFO_2W);
    default: return 0;
    }
}

DWORD neededFor(const QelPort* port, DWORD level)
{
    DWORD name = static_cast<DWORD>(wcslen(port->portName));
    switch (level) {
    case 1: return sizeof(PORT_INFO_1W) + 2 * (name + 1);
    case 2: {
        PortInfoString monitorName(kMonitorNameId), description(kPortDescriptionId);
        return sizeof(PORT_INFO_2W) + 2 * (name + monitorName.length() + description.length() + 3);
    }
    default: return 0;
    }
}

// Packs `text` downward from `end`; a null text gives a null field.
LPWSTR packString(LPCWSTR text, LPWSTR* field, LPWSTR end)
{
    if (!text) {
        *field = nullptr;
        return end;
    }
    size_t chars = wcslen(text) + 1;
    end -= chars;
    wmemcpy(end, text, chars);
    *field = end;
    return end;
}

}  // namespace

namespace lanport {

LPWSTR CopyQelPortToPort(QelPort* port, DWORD level, LPBYTE entry, LPWSTR end)
{
    switch (level) {
    case 1: {
        auto* info = reinterpret_cast<PORT_INFO_1W*>(entry);
        return packString(port->portName, &info->pName, end);
    }
    case 2: {
        auto* info = reinterpret_cast<PORT_INFO_2W*>(entry);
        PortInfoString monitorName(kMonitorNameId), description(kPortDescriptionId);
        info->fPortType = PORT_TYPE_WRITE;
        info->Reserved = 0;
        end = packString(port->portName, &info->pPortName, end);
        end = packString(monitorName.text, &info->pMonitorName, end);
        return packString(description.text, &info->pDescription, end);
    }
    default:
        TRACE(TRC_ERROR, "lanportm: CopyQelPortToPort: Invalid level %d", static_cast<int>(level));
        return nullptr;
    }
}

BOOL WINAPI EnumPorts(HANDLE, LPWSTR name, DWORD level, LPBYTE ports, DWORD size, LPDWORD needed,
                      LPDWORD returned)
{
    DWORD error = 0;
    ExceptionGuard("EnumPorts", [&] {
        TRACE(TRC_FLOW, "lanportm: Entry EnumPorts(%ls, %d, %08x, %d, %08x, %08x)\n", name,
              static_cast<int>(level), TraceAddr(ports), static_cast<int>(size), TraceAddr(needed),
              TraceAddr(returned));
        if (!needed || !returned) {
            TRACE(TRC_ERROR, "lanportm: EnumPorts: Invalid parameter\n");
            error = ERROR_INVALID_PARAMETER;
            return;
        }
        if (!StartProtectedRead(&portListLock)) {
            error = GetLastError();
            TRACE(TRC_ERROR, "lanportm: EnumPorts: StartProtectedRead failed. GetLastError()=%d\n",
                  static_cast<int>(error));
            return;
        }
        DWORD total = 0;
        for (QelPort* port = portList; port; port = port->next) total += neededFor(port, level);
        *needed = total;
        if (total > size) {
            TRACE(TRC_FLOW, "lanportm: EnumPorts: Buffer size = %d; needed = %d\n",
                  static_cast<int>(size), static_cast<int>(total));
            error = ERROR_INSUFFICIENT_BUFFER;
        } else if (!ports && size > 0) {
            TRACE(TRC_ERROR, "lanportm: EnumPorts: Invalid parameter: Null buffer, buffer size > 0\n");
            error = ERROR_INVALID_PARAMETER;
        } else {
            *returned = 0;
            auto* end = reinterpret_cast<LPWSTR>(ports + size);
            LPBYTE entry = ports;
            for (QelPort* port = portList; port; port = port->next) {
                if (entrySize(level) == 0) {
                    TRACE(TRC_ERROR, "lanportm: EnumPorts: Invalid level %d\n", static_cast<int>(level));
                    error = ERROR_INVALID_LEVEL;
                    break;
                }
                end = CopyQelPortToPort(port, level, entry, end);
                entry += entrySize(level);
                ++*returned;
            }
        }
        EndProtectedRead(&portListLock);
    });
    if (error) {
        SetLastError(error);
        TRACE(TRC_FLOW, "lanportm: Exit  EnumPorts failure, rc = %d\n", static_cast<int>(error));
        return FALSE;
    }
    TRACE(TRC_FLOW, "lanportm: Exit  EnumPorts success\n");
    return TRUE;
}

BOOL WINAPI OpenPort(HANDLE, LPWSTR name, PHANDLE handle)
{
    DWORD error = 0;
    ExceptionGuard("OpenPort", [&] {
        TRACE(TRC_FLOW, "lanportm: Entry OpenPort(%ls, %08x)\n", name, TraceAddr(handle));
        if (!name || !*name || !handle) {
            TRACE(TRC_ERROR, "lanportm: Open Port: Invalid NULL parameter\n");
            error = ERROR_INVALID_PARAMETER;
            return;
        }
        // The hold taken here keeps the record while the handle is open, even after the
        // port has been deleted.
        QelPort* port = HoldPortByName(name);
        if (!port) {
            TRACE(TRC_ERROR, "lanportm: Open Port: Unknown port\n");
            error = ERROR_UNKNOWN_PORT;
            return;
        }
        BOOL locked = StartProtectedWrite(&port->portLock);
        if (!locked)
            TRACE(TRC_SEVERE, "lanportm: Open Port: StartProtectedWrite failed. GetLastError()=%d\n",
                  static_cast<int>(GetLastError()));
        bool alreadyOpen = (port->flags & portOpen) != 0;
        port->flags |= portOpen;
        if (locked) EndProtectedWrite(&port->portLock);
        if (alreadyOpen) {
            ReleasePort(port);
            TRACE(TRC_ERROR, "lanportm: Open Port: Port already open\n");
            error = ERROR_BUSY;
            return;
        }
        *handle = port;
    });
    if (error) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI ClosePort(HANDLE handle)
{
    DWORD error = 0;
    ExceptionGuard("ClosePort", [&] {
        TRACE(TRC_FLOW, "lanportm: Entry ClosePort(%08x)\n", TraceAddr(handle));
        if (!handle) {
            TRACE(TRC_ERROR, "lanportm: ClosePort: Invalid parameter: NULL handle\n");
            error = ERROR_INVALID_PARAMETER;
            return;
        }
        auto* port = static_cast<QelPort*>(handle);
        BOOL locked = StartProtectedWrite(&port->portLock);
        if (!locked)
            TRACE(TRC_SEVERE, "lanportm: ClosePort: StartProtectedWrite failed. GetLastError()=%d\n",
                  static_cast<int>(GetLastError()));
        bool wasOpen = (port->flags & portOpen) != 0;
        port->flags &= ~portOpen;
        if (locked) EndProtectedWrite(&port->portLock);
        if (wasOpen) ReleasePort(port);
    });
    if (error) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

}  // namespace lanport
