// The add-port dialog: asks for the printer's address and an optional port name, checks
// both with the monitor and asks it to create the port.
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

// The dialog's state: the request sent whole as "AddPort", the handle it goes through
// (the record's own handle word is 32 bits wide) and the edit control last used.
struct AddPortDialog {
    AddPortRequest request;
    HANDLE hXcv;
    HWND lastEdit;
};

// One add-port dialog runs at a time in a process.
AddPortDialog addPortDialog;

void setDefaults(AddPortDialog* dialog, HANDLE hXcv)
{
    memset(dialog, 0, sizeof *dialog);
    dialog->hXcv = hXcv;
    dialog->request.reserved = static_cast<DWORD>(reinterpret_cast<UINT_PTR>(hXcv));
    dialog->request.configInfo = NewPortDefaults();
}

AddPortDialog* dialogOf(HWND hwnd)
{
    return reinterpret_cast<AddPortDialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
}

BOOL onInitDialog(HWND hwnd, HANDLE hXcv)
{
    setDefaults(&addPortDialog, hXcv);
    SetWindowLongPtrW(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(&addPortDialog));
    SetWindowTextW(hwnd, LoadText(IDS_ADD_TITLE, 1));
    SetDlgItemTextW(hwnd, IDC_INTRO, LoadText(IDS_ADD_INTRO, 1));
    SetDlgItemTextW(hwnd, -1, LoadText(IDS_ADD_ADDRESSLABEL, 1));
    SetDlgItemTextW(hwnd, IDC_NAMELABEL, LoadText(IDS_ADD_NAMELABEL, 1));
    SendDlgItemMessageW(hwnd, IDC_ADDRESS, EM_LIMITTEXT, kMaxFieldChars, 0);
    SendDlgItemMessageW(hwnd, IDC_NAME, EM_LIMITTEXT, kMaxFieldChars, 0);
    addPortDialog.lastEdit = GetDlgItem(hwnd, IDC_ADDRESS);
    return TRUE;
}

}  // namespace

BOOL ValidateNewPort(HWND hwnd, AddPortDialog* dialog)
{
    WCHAR address[kMaxFieldChars + 1] = L"";
    WCHAR name[256] = L"";
    GetDlgItemTextW(hwnd, IDC_ADDRESS, address, kMaxFieldChars + 1);
    GetDlgItemTextW(hwnd, IDC_NAME, name, kMaxFieldChars + 1);
    AddPortRequest& request = dialog->request;
    UINT messageId = 0;
    if (!IssueVerPortAddr(dialog->hXcv, address, &request.configInfo.ipAddress, request.addressText,
                          &request.configInfo.addrFormat, &messageId)) {
        ErrorBox(hwnd, messageId);
        SetFocus(hwnd);
        return FALSE;
    }
    MakePortName(address, name, name);
    if (HasForbiddenNameChar(name)) {
        FormattedMessageBox(hwnd, LoadText(IDS_NAME_INVALID, 1), LoadText(IDS_ERROR_CAPTION, 2), MB_ICONERROR,
                            kForbiddenNameChars);
        return FALSE;
    }
    if (!IssueVerPortName(dialog->hXcv, name, &messageId)) {
        if (messageId == IDS_NAME_INVALID)
            FormattedMessageBox(hwnd, LoadText(IDS_NAME_INVALID, 1), LoadText(IDS_ERROR_CAPTION, 2), MB_ICONERROR,
                                kForbiddenNameChars);
        else
            ErrorBox(hwnd, messageId);
        SetFocus(GetDlgItem(hwnd, IDC_NAME));
        return FALSE;
    }
    SetDlgItemTextW(hwnd, IDC_NAME, name);
    wcscpy(request.portName, name);
    return TRUE;
}

void SubmitNewPort(HWND hwnd, AddPortDialog* dialog)
{
    for (;;) {
        AddPortReply reply{};
        BOOL sent = IssueAddPort(dialog->hXcv, &dialog->request, &reply);
        if (sent && reply.errRc == kErrRcSuccess) {
            EndDialog(hwnd, 1);
            return;
        }
        switch (reply.errRc) {
        case kErrRcRestricted:
            if (MessageBoxW(hwnd, LoadText(IDS_RESTRICTED_QUESTION, 1), LoadText(IDS_RESTRICTED_CAPTION, 2),
                            MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
                return;
            dialog->request.requestFlags |= createIfRestricted;
            break;
        case kErrRcPort2501Disabled:
            if (MessageBoxW(hwnd, LoadText(IDS_PORT2501_QUESTION, 1), LoadText(IDS_PORT2501_CAPTION, 2),
                            MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
                return;
            dialog->request.requestFlags |= createIfPort2501Disabled;
            break;
        case kErrRcNoResponse:
            ErrorBox(hwnd, IDS_NO_RESPONSE);
            SetFocus(hwnd);
            return;
        case kErrRcUnsupportedPrinter:
            ErrorBox(hwnd, IDS_UNSUPPORTED_PRINTER);
            SetFocus(hwnd);
            return;
        default:
            ErrorBox(hwnd, IDS_ADD_FAILED);
            return;
        }
    }
}

INT_PTR CALLBACK AddPortDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return onInitDialog(hwnd, reinterpret_cast<HANDLE>(lParam));
    case WM_COMMAND: {
        AddPortDialog* dialog = dialogOf(hwnd);
        if (!dialog) return FALSE;
        switch (LOWORD(wParam)) {
        case IDOK: {
            WCHAR address[kMaxFieldChars + 1] = L"", name[kMaxFieldChars + 1] = L"";
            GetDlgItemTextW(hwnd, IDC_ADDRESS, address, kMaxFieldChars + 1);
            GetDlgItemTextW(hwnd, IDC_NAME, name, kMaxFieldChars + 1);
            TRACE(TRC_FLOW, "lanportu: New port parameters: IP: %ls, Name: %ls\n", address, name);
            if (ValidateNewPort(hwnd, dialog)) SubmitNewPort(hwnd, dialog);
            return TRUE;
        }
        case IDCANCEL:
            EndDialog(hwnd, 0);
            return TRUE;
        case IDC_HELPBUTTON:
            TRACE(TRC_FLOW, "lanportu: Help was requested...\n");
            HtmlHelpW(hwnd, L".\\lanportui.chm::/html/qeln0001.htm", HH_DISPLAY_TOPIC, 0);
            SetFocus(dialog->lastEdit);
            return TRUE;
        case IDC_ADDRESS:
        case IDC_NAME:
            dialog->lastEdit = reinterpret_cast<HWND>(lParam);
            return TRUE;
        }
        return FALSE;
    }
    case WM_HELP:
        WinHelpW(hwnd, L"LANPORTUI.HLP", HELP_CONTEXT, 10000);
        return TRUE;
    case WM_DESTROY:
        WinHelpW(hwnd, L"LANPORTUI.HLP", HELP_QUIT, 0);
        return TRUE;
    }
    return FALSE;
}

BOOL WINAPI AddPortUI(PCWSTR pszServer, HWND hWnd, PCWSTR pszMonitorNameIn, PWSTR* ppszPortNameOut)
{
    TRACE(TRC_ERROR, "lanportu: Entry AddPortUI(Server=%ls hwnd=%08x Monitor=%ls pPortNameOut=%08x.\n",
          pszServer ? pszServer : L"(null)", TraceAddr(hWnd), pszMonitorNameIn ? pszMonitorNameIn : L"(null)",
          TraceAddr(ppszPortNameOut));
    if (!hWnd || !pszMonitorNameIn) {
        TRACE(TRC_ERROR, "lanportu: Invalid parameter. Parent hwnd & pszMonitor must not be NULL).\n");
        return FALSE;
    }
    if (!IsWindow(hWnd)) {
        // DialogBoxParamW answers 0 for an unusable owner, which looks like a dialog that ended.
        TRACE(TRC_ERROR, "lanportu: AddPortUI: the parent window %08x does not exist.\n", TraceAddr(hWnd));
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    HANDLE hXcv = getXcvHandle(pszServer, pszMonitorNameIn, TRUE);
    if (!hXcv) {
        TRACE(TRC_ERROR, "lanportu: Error getting XCV Handle to communicate with server=%ls,monitor=%ls.\n",
              pszServer ? pszServer : L"(null)", pszMonitorNameIn);
        return FALSE;
    }
    INT_PTR rc = DialogBoxParamW(hInstLang, MAKEINTRESOURCEW(IDD_PORT), hWnd, AddPortDlgProc,
                                 reinterpret_cast<LPARAM>(hXcv));
    DWORD error = rc == -1 ? DialogCreationError() : ERROR_SUCCESS;
    closeXcvHandle(hXcv);
    if (error != ERROR_SUCCESS) {
        // No port was added and the user saw nothing: the spooler must not report success.
        TRACE(TRC_ERROR, "lanportu: AddPortUI: the dialog could not be created, error %d.\n", static_cast<int>(error));
        SetLastError(error);
        return FALSE;
    }
    SetLastError(ERROR_SUCCESS);
    TRACE(TRC_ERROR, "lanportu: Exit AddPortUI()\n");
    return TRUE;
}

}  // namespace lanportui
