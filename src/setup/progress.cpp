// The progress window. It is a dialog without a dialog procedure: it only shows the
// state, and is repainted where the installer pumps its messages.
#include "progress.h"

#include <commctrl.h>

#include "setup.h"
#include "setupres.h"

namespace {

struct ProgressWindow {
    HWND window;
    HWND checkStep;
    HWND updateStep;
    HWND marker;
    HWND bar;
    HFONT normalFont;
    HFONT boldFont;
};

ProgressWindow progress;

// The rectangle of a control in the progress window's client coordinates.
RECT ControlRect(HWND control)
{
    RECT rect{};
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, progress.window, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

}  // namespace

void PumpMessages()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
        if (GetMessageA(&msg, nullptr, 0, 0) <= 0) break;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

void CreateProgressWindow(HINSTANCE instance)
{
    progress.window = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_PROGRESS), nullptr, nullptr, 0);
    if (!progress.window) return;
    // Closing the window half-way would leave the spooler stopped and the monitor
    // unregistered; the window has no procedure that could act on it, so the close box
    // is shown disabled rather than left to do nothing.
    EnableMenuItem(GetSystemMenu(progress.window, FALSE), SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
    HICON icon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_SETUP));
    SendMessageA(progress.window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    SendMessageA(progress.window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    SetWindowPos(progress.window, nullptr, 100, 100, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_SHOWWINDOW);

    progress.checkStep = GetDlgItem(progress.window, IDC_STEP_CHECK);
    progress.updateStep = GetDlgItem(progress.window, IDC_STEP_UPDATE);
    progress.marker = GetDlgItem(progress.window, IDC_STEP_MARKER);
    progress.bar = GetDlgItem(progress.window, IDC_PROGRESS);

    progress.normalFont = reinterpret_cast<HFONT>(SendMessageA(progress.checkStep, WM_GETFONT, 0, 0));
    LOGFONTA bold{};
    GetObjectA(progress.normalFont, sizeof(bold), &bold);
    bold.lfWeight = FW_BOLD;
    progress.boldFont = CreateFontIndirectA(&bold);
}

void ShowStep(InstallStep step)
{
    if (!progress.window) return;
    bool checking = step == InstallStep::CheckVersion;
    SendMessageA(progress.checkStep, WM_SETFONT,
                 reinterpret_cast<WPARAM>(checking ? progress.boldFont : progress.normalFont), TRUE);
    SendMessageA(progress.updateStep, WM_SETFONT,
                 reinterpret_cast<WPARAM>(checking ? progress.normalFont : progress.boldFont), TRUE);

    RECT row = ControlRect(checking ? progress.checkStep : progress.updateStep);
    RECT marker = ControlRect(progress.marker);
    int top = (row.top + row.bottom) / 2 - (marker.bottom - marker.top) / 2;
    SetWindowPos(progress.marker, nullptr, marker.left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    PumpMessages();
}

void SetProgressRange(DWORD totalKilobytes)
{
    SendMessageA(progress.bar, PBM_SETRANGE32, 0, static_cast<LPARAM>(totalKilobytes));
    SendMessageA(progress.bar, PBM_SETPOS, 0, 0);
    PumpMessages();
}

void SetProgressPosition(DWORD kilobytes)
{
    SendMessageA(progress.bar, PBM_SETPOS, kilobytes, 0);
    UpdateWindow(progress.bar);
}
