// The client side of the monitor's XCV commands: the XCV handle, one call per command,
// and the wait cursor shown while a command runs.
#include "xcvclient.h"

#include <winspool.h>

#include <cwchar>
#include <iterator>

#include "support.h"
#include "trace.h"
#include "uires.h"

namespace lanportui {

namespace {

// Longest address text the "VerPortAddr" request carries.
constexpr size_t kMaxAddressChars = 128;

// Shows the wait cursor for the lifetime of an Issue call, on every return path.
class WaitCursor {
public:
    WaitCursor() { BeginWaitCursor(); }
    ~WaitCursor() { EndWaitCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

DWORD textBytes(LPCWSTR text)
{
    return static_cast<DWORD>((wcslen(text) + 1) * sizeof(WCHAR));
}

PBYTE inputOf(LPCWSTR text)
{
    return reinterpret_cast<PBYTE>(const_cast<LPWSTR>(text));
}

template <size_t N>
void copyText(WCHAR (&field)[N], LPCWSTR text)
{
    wcsncpy(field, text, N - 1);
    field[N - 1] = L'\0';
}

}  // namespace

void BeginWaitCursor()
{
    SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_WAIT)));
    ShowCursor(TRUE);
}

void EndWaitCursor()
{
    ShowCursor(FALSE);
    SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW)));
}

DWORD XcvObjectName(LPCWSTR server, LPCWSTR monOrPortName, BOOL isMonitor, LPWSTR name, DWORD chars)
{
    LPCWSTR keyword = isMonitor ? L"XcvMonitor" : L"XcvPort";
    size_t needed = (server ? wcslen(server) + 1 : 0) + 1 + wcslen(keyword) + 1 +
                    (monOrPortName ? wcslen(monOrPortName) : 0) + 1;
    if (!name || chars < needed) return static_cast<DWORD>(needed);
    name[0] = L'\0';
    if (server) {
        wcscat(name, server);
        wcscat(name, L"\\");
    }
    wcscat(name, L",");
    wcscat(name, keyword);
    wcscat(name, L" ");
    if (monOrPortName) wcscat(name, monOrPortName);
    return static_cast<DWORD>(needed);
}

HANDLE getXcvHandle(LPCWSTR server, LPCWSTR monOrPortName, BOOL isMonitor)
{
    TRACE(TRC_FLOW, "lanportu: Entry getXcvHandle(server=%ls, name=%ls, isMonitor=%s)\n",
          server ? server : L"(null)", monOrPortName ? monOrPortName : L"(null)", isMonitor ? "TRUE" : "FALSE");
    DWORD chars = XcvObjectName(server, monOrPortName, isMonitor, nullptr, 0);
    HANDLE handle = nullptr;
    auto* name = static_cast<LPWSTR>(AllocSplMem(chars * static_cast<DWORD>(sizeof(WCHAR))));
    if (!name) {
        TRACE(TRC_ERROR, "lanportu: Error getting hXcv at OpenPrinter(). GetLastError=%d\n",
              static_cast<int>(GetLastError()));
        return nullptr;
    }
    XcvObjectName(server, monOrPortName, isMonitor, name, chars);
    TRACE(TRC_FLOW, "lanportu: XcvName to do openPrinter: %ls\n", name);
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, SERVER_ACCESS_ADMINISTER};
    if (!OpenPrinterW(name, &handle, &defaults)) {
        TRACE(TRC_ERROR, "lanportu: Error getting hXcv at OpenPrinter(). GetLastError=%d\n",
              static_cast<int>(GetLastError()));
        handle = nullptr;
    }
    FreeSplMem(name);
    TRACE(TRC_FLOW, "lanportu: Exit getXcvHandle(). hXcv=%08x\n", TraceAddr(handle));
    return handle;
}

void closeXcvHandle(HANDLE hXcv)
{
    if (hXcv) ClosePrinter(hXcv);
}

BOOL IssueVerPortAddr(HANDLE hXcv, LPCWSTR addressText, DWORD* ipAddress, LPWSTR dottedText,
                      DWORD* addrFormat, UINT* messageId)
{
    TRACE(TRC_FLOW, "lanportu: Entry IssueVerPortAddr\n");
    WaitCursor cursor;
    BOOL result = FALSE;
    VerPortAddrRequest request{};
    VerPortAddrReply reply{};
    DWORD needed = 0, status = 0;
    if (!addressText || !*addressText) {
        *messageId = IDS_ADDRESS_REQUIRED;
        goto done;
    }
    *addrFormat = IPAddrFormat(addressText);
    if ((*addrFormat & kAddrInvalid) || wcslen(addressText) > kMaxAddressChars) {
        *messageId = IDS_ADDRESS_INVALID;
        goto done;
    }
    copyText(request.addressText, addressText);
    request.addrFormat = *addrFormat;
    if (!XcvDataW(hXcv, L"VerPortAddr", reinterpret_cast<PBYTE>(&request), sizeof request,
                  reinterpret_cast<PBYTE>(&reply), sizeof reply, &needed, &status)) {
        TRACE(TRC_ERROR, "lanportu: XcvData('VerifyPortAddrServer') call failed. LastError=%d\n",
              static_cast<int>(GetLastError()));
        *messageId = IDS_ADDRESS_CHECK_FAILED;
        goto done;
    }
    reply.dottedAddress[std::size(reply.dottedAddress) - 1] = L'\0';
    if (status != ERROR_SUCCESS) {
        TRACE(TRC_ERROR, "lanportu: VerifyPortAddrServer failed. dwStatus=%d, ErrRc=%d\n", static_cast<int>(status),
              static_cast<int>(reply.errRc));
        switch (reply.errRc) {
        case kErrRcBadAddress: *messageId = IDS_ADDRESS_INVALID; break;
        case kErrRcAddressUsed:
            *messageId = IDS_ADDRESS_USED;
            *ipAddress = reply.ipAddress;
            wcscpy(dottedText, reply.dottedAddress);
            break;
        case kErrRcHostNotFound: *messageId = IDS_ADDRESS_NOT_FOUND; break;
        default: *messageId = IDS_ADDRESS_CHECK_FAILED; break;
        }
        goto done;
    }
    *ipAddress = reply.ipAddress;
    wcscpy(dottedText, reply.dottedAddress);
    result = TRUE;
done:
    TRACE(TRC_FLOW, "lanportu: Exit IssueVerPortAddr\n");
    return result;
}

BOOL IssueVerPortName(HANDLE hXcv, LPCWSTR portName, UINT* messageId)
{
    TRACE(TRC_FLOW, "lanportu: Entry IssueVerPortName(hXcv=%08x,portName=%ls)\n", TraceAddr(hXcv), portName);
    WaitCursor cursor;
    BOOL result = FALSE;
    DWORD errRc = kErrRcSuccess, needed = 0, status = 0;
    if (!XcvDataW(hXcv, L"VerPortName", inputOf(portName), textBytes(portName), reinterpret_cast<PBYTE>(&errRc),
                  sizeof errRc, &needed, &status)) {
        TRACE(TRC_ERROR, "lanportu: XcvData('VerifyPortNameServer') call failed. LastError=%d\n",
              static_cast<int>(GetLastError()));
        *messageId = IDS_NAME_CHECK_FAILED;
    } else if (status != ERROR_SUCCESS) {
        TRACE(TRC_ERROR, "lanportu: VerifyPortNameServer failed. dwStatus=%d, ErrRc=%d\n", static_cast<int>(status),
              static_cast<int>(errRc));
        switch (errRc) {
        case L'<': *messageId = IDS_NAME_INVALID; break;
        case L'=': *messageId = IDS_NAME_USED; break;
        default: *messageId = IDS_NAME_CHECK_FAILED; break;
        }
    } else {
        result = TRUE;
    }
    TRACE(TRC_FLOW, "lanportu: Exit IssueVerPortName(). retCode=%d\n", result);
    return result;
}

BOOL IssueAddPort(HANDLE hXcv, const AddPortRequest* request, AddPortReply* reply)
{
    TRACE(TRC_FLOW, "lanportu: Enter IssueAddPort(%08x,%08x)\n", TraceAddr(hXcv), TraceAddr(request));
    WaitCursor cursor;
    BOOL result = FALSE;
    DWORD needed = 0, status = 0;
    reply->errRc = kErrRcSuccess;
    if (!XcvDataW(hXcv, L"AddPort", reinterpret_cast<PBYTE>(const_cast<AddPortRequest*>(request)),
                  sizeof *request, reinterpret_cast<PBYTE>(reply), sizeof *reply, &needed, &status)) {
        TRACE(TRC_ERROR, "lanportu: XcvData('AddPortServer') call failed. dwStatus=%d, LastError=%d\n",
              static_cast<int>(status), static_cast<int>(GetLastError()));
    } else if (status != ERROR_SUCCESS) {
        TRACE(TRC_ERROR, "lanportu: AddPortServer failed. dwStatus=%d, ErrRc=%d\n", static_cast<int>(status),
              static_cast<int>(reply->errRc));
    } else {
        result = TRUE;
    }
    TRACE(TRC_FLOW, "lanportu: Exit IssueAddPort(). retCode=%d\n", result);
    return result;
}

BOOL IssueGetPortConfig(HANDLE hXcv, LPCWSTR portName, LPWSTR dottedText, ConfigInfo* configInfo,
                        DWORD* portFlags, DWORD* errRc)
{
    TRACE(TRC_FLOW, "lanportu: Entry IssueGetPortConfig(hXcv=%08x,portName=%ls)\n", TraceAddr(hXcv), portName);
    WaitCursor cursor;
    BOOL result = FALSE;
    GetPortConfigReply reply{};
    DWORD needed = 0, status = 0;
    if (!XcvDataW(hXcv, L"GetPortConfig", inputOf(portName), textBytes(portName), reinterpret_cast<PBYTE>(&reply),
                  sizeof reply, &needed, &status)) {
        TRACE(TRC_ERROR, "lanportu: XcvData('GetPortConfig') call failed. LastError=%d\n",
              static_cast<int>(GetLastError()));
    } else if (status != ERROR_SUCCESS) {
        *errRc = reply.errRc;
        TRACE(TRC_ERROR, "lanportu: GetPortConfig failed. dwStatus=%d, ErrRc=%d\n", static_cast<int>(status),
              static_cast<int>(reply.errRc));
    } else {
        reply.dottedAddress[std::size(reply.dottedAddress) - 1] = L'\0';
        wcscpy(dottedText, reply.dottedAddress);
        *portFlags = reply.portFlags;
        *configInfo = reply.configInfo;
        result = TRUE;
    }
    TRACE(TRC_FLOW, "lanportu: Exit IssueGetPortConfig(). retCode=%d\n", result);
    return result;
}

BOOL IssueConfigurePort(HANDLE hXcv, LPCWSTR portName, const ConfigInfo* configInfo, DWORD* errRc)
{
    TRACE(TRC_FLOW, "lanportu: Entry IssueConfigurePort(hXcv=%08x,portName=%ls,pConfigInfo=%08x,pErrRc=%08x)\n",
          TraceAddr(hXcv), portName, TraceAddr(configInfo), TraceAddr(errRc));
    WaitCursor cursor;
    BOOL result = FALSE;
    CfgPortRequest request{};
    DWORD needed = 0, status = 0;
    // A name the record cannot hold whole would configure another port.
    if (wcslen(portName) >= std::size(request.portName)) {
        TRACE(TRC_ERROR, "lanportu: CfgPort: port name too long for the request: %ls\n", portName);
        goto done;
    }
    wcscpy(request.portName, portName);
    request.configInfo = *configInfo;
    if (!XcvDataW(hXcv, L"CfgPort", reinterpret_cast<PBYTE>(&request), sizeof request,
                  reinterpret_cast<PBYTE>(errRc), sizeof *errRc, &needed, &status)) {
        TRACE(TRC_ERROR, "lanportu: XcvData('CfgPort') call failed. LastError=%d\n", static_cast<int>(GetLastError()));
    } else if (status != ERROR_SUCCESS) {
        TRACE(TRC_ERROR, "lanportu: CfgPort failed. dwStatus=%d, ErrRc=%d\n", static_cast<int>(status),
              static_cast<int>(*errRc));
    } else {
        result = TRUE;
    }
done:
    TRACE(TRC_FLOW, "lanportu: Exit IssueConfigurePort(). retCode=%d\n", result);
    return result;
}

BOOL IssueDeletePort(HANDLE hXcv, LPCWSTR portName, DWORD* error)
{
    TRACE(TRC_FLOW, "lanportu: Entry IssueDeletePort(hXcv=%08x,portName=%ls,pErrRc=%08x)\n", TraceAddr(hXcv),
          portName, TraceAddr(error));
    WaitCursor cursor;
    DWORD needed = 0, status = 0;
    *error = ERROR_SUCCESS;
    if (!XcvDataW(hXcv, L"DeletePort", inputOf(portName), textBytes(portName), nullptr, 0, &needed, &status)) {
        // A failure without a code must not read as success.
        *error = GetLastError() ? GetLastError() : ERROR_GEN_FAILURE;
        TRACE(TRC_ERROR, "lanportu: XcvData('%ls') call failed. dwStatus=%d, LastError=%d\n", L"DeletePort",
              static_cast<int>(status), static_cast<int>(*error));
    } else if (status != ERROR_SUCCESS) {
        *error = status;
        TRACE(TRC_ERROR, "lanportu: %ls failed. dwStatus=%d\n", L"DeletePort", static_cast<int>(status));
    }
    TRACE(TRC_FLOW, "lanportu: Exit  IssueDeletePort() %s\n", *error == ERROR_SUCCESS ? "success" : "failure");
    return *error == ERROR_SUCCESS;
}

}  // namespace lanportui
