// The UI library's module state and the three operations of its MONITORUI table.
#pragma once

#include <windows.h>

// mingw's winsplp.h declares functions of these names; ours live in a namespace.
namespace lanportui {

// The library's own module: every text and the dialog template come from here.
extern HINSTANCE hInstLang;

// The error of a dialog that could not be created (DialogBoxParamW answered -1); never 0,
// so that an entry that fails for it never reports success.
inline DWORD DialogCreationError()
{
    DWORD error = GetLastError();
    return error != ERROR_SUCCESS ? error : ERROR_CAN_NOT_COMPLETE;
}

BOOL WINAPI AddPortUI(PCWSTR pszServer, HWND hWnd, PCWSTR pszMonitorNameIn, PWSTR* ppszPortNameOut);
BOOL WINAPI ConfigurePortUI(PCWSTR pszServer, HWND hWnd, PCWSTR pszPortName);
BOOL WINAPI QelIppDeletePortUI(PCWSTR pszServer, HWND hWnd, PCWSTR pszPortName);

}  // namespace lanportui
