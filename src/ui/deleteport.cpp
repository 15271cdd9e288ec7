// The MONITORUI delete function: no dialog, one "DeletePort" request.
#include "support.h"
#include "trace.h"
#include "uimodule.h"
#include "xcvclient.h"

namespace lanportui {

BOOL WINAPI QelIppDeletePortUI(PCWSTR pszServer, HWND hWnd, PCWSTR pszPortName)
{
    TRACE(TRC_FLOW, "lanportu: DeletePortUI(%ls, %08x, %ls)\n", pszServer ? pszServer : L"(null)",
          TraceAddr(hWnd), pszPortName ? pszPortName : L"(null)");
    if (!pszPortName || !*pszPortName) {
        TRACE(TRC_ERROR, "lanportu: Invalid parameter.\n");
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    HANDLE hXcv = getXcvHandle(pszServer, pszPortName, FALSE);
    if (!hXcv) {
        TRACE(TRC_ERROR, "lanportu: QelIppDeletePortUI() - error getting XCV Handle server=%ls,portname=%ls.\n",
              pszServer ? pszServer : L"(null)", pszPortName);
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD error = ERROR_SUCCESS;
    IssueDeletePort(hXcv, pszPortName, &error);
    closeXcvHandle(hXcv);
    if (error == ERROR_SUCCESS) {
        TRACE(TRC_FLOW, "lanportu: DeletePort success.\n");
        return TRUE;
    }
    SetLastError(error);
    TRACE(TRC_FLOW, "lanportu: DeletePort failure.\n");
    return FALSE;
}

}  // namespace lanportui
