// The port properties dialog: shows a port's address and name, lets the user change the
// address, and writes the configuration back to the monitor.
#include <windows.h>
#include <htmlhelp.h>

#include <cwchar>

#include "newport.h"
#include "records.h"
#include "support.h"
#include "trace.h"
#include "uimodule.h"
#include "uires.h"
#include "uitext.h"
#include "xcvclient.h"

namespace lanportui {

namespace {

constexpr size_t kMaxTitleChars = 256;

// The dialog's creation parameter.
struct PortPropertiesParams {
    LPCWSTR portName;
    WCHAR addressText[16];
    ConfigInfo configInfo;  // the working copy
    DWORD portFlags;        // carried, not used
    HANDLE hXcv;
};

// One properties dialog runs at a time in a process.
PortPropertiesParams* activeParams;
WCHAR oldAddress[kMaxFieldChars + 1];

BOOL onInitDialog(HWND hwnd, PortPropertiesParams* params)
{
    activeParams = params;
    wcsncpy(oldAddress, params->addressText, kMaxFieldChars);
    oldAddress[kMaxFieldChars] = L'\0';
    TRACE(TRC_FLOW, "lanportu: string: %ls\n", oldAddress);
    WCHAR title[kMaxTitleChars + 1];
    wcscpy(title, LoadText(IDS_CFG_TITLE, 1));
    if (wcslen(title) + wcslen(params->portName) + 1 <= kMaxTitleChars) {
        wcscat(title, L" ");
        wcscat(title, params->portName);
    }
    SendMessageW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(title));
    SendDlgItemMessageW(hwnd, IDC_NAME, EM_SETREADONLY, TRUE, 0);
    SetDlgItemTextW(hwnd, -1, LoadText(IDS_CFG_ADDRESSLABEL, 1));
    SetDlgItemTextW(hwnd, IDC_NAMELABEL, LoadText(IDS_CFG_NAMELABEL, 1));
    SendDlgItemMessageW(hwnd, IDC_ADDRESS, EM_LIMITTEXT, kMaxFieldChars, 0);
    SendDlgItemMessageW(hwnd, IDC_NAME, EM_LIMITTEXT, kMaxFieldChars, 0);
    SetDlgItemTextW(hwnd, IDC_ADDRESS, params->addressText);
    SetDlgItemTextW(hwnd, IDC_NAME, params->portName);
    SetFocus(hwnd);
    return TRUE;
}

void onOk(HWND hwnd)
{
    WCHAR text[259] = L"";
    GetDlgItemTextW(hwnd, IDC_ADDRESS, text, 259);
    TRACE(TRC_FLOW, "lanportu: actual string: %ls\n", text);
    TRACE(TRC_FLOW, "lanportu: old string: %ls\n", oldAddress);
    if (!text[0]) {
        ErrorBox(hwnd, IDS_ADDRESS_REQUIRED);
        SetFocus(GetDlgItem(hwnd, IDC_ADDRESS));
        return;
    }
    if (wcscmp(text, oldAddress) == 0) {
        EndDialog(hwnd, 1);
        return;
    }
    DWORD ipAddress = 0, addrFormat = 0;
    WCHAR dotted[16] = L"";
    UINT messageId = 0;
    if (!IssueVerPortAddr(activeParams->hXcv, text, &ipAddress, dotted, &addrFormat, &messageId)) {
        if (messageId == IDS_ADDRESS_USED) {
            TRACE(TRC_FLOW, "lanportu: Address not unique\n");
            ErrorBox(hwnd, IDS_ADDRESS_USED);
        } else {
            TRACE(TRC_FLOW, "lanportu: Address wrong\n");
            ErrorBox(hwnd, IDS_ADDRESS_NOT_FOUND);
        }
        return;
    }
    TRACE(TRC_FLOW, "lanportu: Address OK\n");
    activeParams->configInfo.ipAddress = ipAddress;
    activeParams->configInfo.addrFormat = addrFormat;
    EndDialog(hwnd, 1);
}

}  // namespace

INT_PTR CALLBACK PortPropertiesDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return onInitDialog(hwnd, reinterpret_cast<PortPropertiesParams*>(lParam));
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            onOk(hwnd);
            return TRUE;
        case IDCANCEL:
            TRACE(TRC_FLOW, "lanportu: Dialog box was canceled\n");
            EndDialog(hwnd, 0);
            return TRUE;
        case IDC_HELPBUTTON:
            TRACE(TRC_FLOW, "lanportu: Help was requested...\n");
            HtmlHelpW(hwnd, L".\\lanportui.chm::/html/qeln0003.htm", HH_DISPLAY_TOPIC, 0);
            return TRUE;
        }
        return FALSE;
    case WM_HELP:
        TRACE(TRC_FLOW, "lanportu: Help was requested...\n");
        HtmlHelpW(hwnd, L".\\lanportui.chm", HH_DISPLAY_TOPIC, reinterpret_cast<DWORD_PTR>(L"qeln42wg.htm"));
        return TRUE;
    }
    return FALSE;
}

BOOL DisplayPortProperties(HWND hwnd, HANDLE hXcv, LPCWSTR portName, const ConfigInfo* configInfo,
                           LPCWSTR addressText, DWORD portFlags)
{
    TRACE(TRC_FLOW, "lanportu: Entry DisplayPortProperties(hXcv=%08x, pszPortName=%ls) \n", TraceAddr(hXcv),
          portName);
    PortPropertiesParams params{};
    params.portName = portName;
    wcsncpy(params.addressText, addressText, std::size(params.addressText) - 1);
    params.configInfo = *configInfo;
    params.portFlags = portFlags;
    params.hXcv = hXcv;
    BOOL result = FALSE;
    INT_PTR rc = DialogBoxParamW(hInstLang, MAKEINTRESOURCEW(IDD_PORT), hwnd, PortPropertiesDlgProc,
                                 reinterpret_cast<LPARAM>(&params));
    DWORD error = ERROR_SUCCESS;
    if (rc == -1) {
        error = DialogCreationError();
        TRACE(TRC_ERROR, "lanportu: PropertySheet() failed rc=%d.\n", static_cast<int>(rc));
    } else {
        // OK and Cancel both send the working copy; unchanged, it is what the monitor sent.
        DWORD errRc = kErrRcSuccess;
        BOOL sent = IssueConfigurePort(hXcv, portName, &params.configInfo, &errRc);
        if (sent && errRc == kErrRcSuccess) {
            TRACE(TRC_FLOW, "lanportu: IssueConfigurePort SUCCESS.\n");
            result = TRUE;
        } else if (errRc == kErrRcReadOnlyCommunity) {
            TRACE(TRC_FLOW, "lanportu: IssueConfigurePort WARNING readonly COMM.\n");
            MessageBoxW(hwnd, LoadText(IDS_COMMUNITY_READONLY, 1), LoadText(IDS_WARNING_CAPTION, 2),
                        MB_YESNO | MB_ICONQUESTION);
        } else if (errRc == kErrRcNoResponse) {
            TRACE(TRC_FLOW, "lanportu: IssueConfigurePort FAILURE_NETWORK.\n");
            ErrorBox(hwnd, IDS_NO_RESPONSE);
        } else if (errRc == kErrRcNoSnmpResponse) {
            TRACE(TRC_FLOW, "lanportu: IssueConfigurePort FAILURE_SNMP response.\n");
            ErrorBox(hwnd, IDS_NO_SNMP_RESPONSE);
        } else {
            TRACE(TRC_ERROR, "lanportu: IssueConfigurePort FAILUER others errRc=%d.\n", static_cast<int>(errRc));
            ErrorBox(hwnd, IDS_CONFIGURE_FAILED);
        }
    }
    TRACE(TRC_FLOW, "lanportu: Exit  DisplayPortProperties() %s.\n", result ? "success" : "failure");
    if (error != ERROR_SUCCESS) SetLastError(error);
    return result;
}

BOOL WINAPI ConfigurePortUI(PCWSTR pszServer, HWND hWnd, PCWSTR pszPortName)
{
    TRACE(TRC_ERROR, "lanportu: Entry ConfigurePortUI() pszServer=%ls hwnd=%08x pszPortName=%ls.\n",
          pszServer ? pszServer : L"(null)", TraceAddr(hWnd), pszPortName ? pszPortName : L"(null)");
    if (!hWnd) {
        TRACE(TRC_ERROR, "lanportu: Invalid parameter. Parent hwnd must not be NULL).\n");
        return FALSE;
    }
    // Without a name there is no port to configure.
    if (!pszPortName || !*pszPortName) {
        TRACE(TRC_ERROR, "lanportu: Invalid parameter. Port name must not be empty.\n");
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!IsWindow(hWnd)) {
        // DialogBoxParamW answers 0 for an unusable owner, which looks like a dialog that ended.
        TRACE(TRC_ERROR, "lanportu: ConfigurePortUI: the parent window %08x does not exist.\n", TraceAddr(hWnd));
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    HANDLE hXcv = getXcvHandle(pszServer, pszPortName, FALSE);
    if (!hXcv) {
        TRACE(TRC_ERROR, "lanportu: Error getting XCV Handle to communicate with server=%ls,monitor=%ls.\n",
              pszServer ? pszServer : L"(null)", pszPortName);
        return FALSE;
    }
    ConfigInfo config{};
    WCHAR dotted[16] = L"";
    DWORD portFlags = 0, errRc = kErrRcSuccess;
    BOOL result = TRUE;
    if (!IssueGetPortConfig(hXcv, pszPortName, dotted, &config, &portFlags, &errRc))
        ErrorBox(hWnd, errRc == kErrRcConfigNoResponse ? IDS_NO_RESPONSE : IDS_CONFIGURE_FAILED);
    else
        result = DisplayPortProperties(hWnd, hXcv, pszPortName, &config, dotted, portFlags);
    DWORD error = GetLastError();
    closeXcvHandle(hXcv);
    TRACE(TRC_ERROR, "lanportu: Exit  ConfigurePortUI()%s.\n", result ? "success" : "failure");
    if (!result) SetLastError(error);
    return result;
}

}  // namespace lanportui
