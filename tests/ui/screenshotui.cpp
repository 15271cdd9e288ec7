// Holds the UI library's dialogs still for scripts/screenshot-ui: registers lanport.dll
// with the spooler, then through the spooler's own AddPortW and ConfigurePortW shows in
// turn the add-port dialog with an address typed in, the error box for an invalid
// address, and the properties dialog of the port the add-port dialog then created.
// For each picture it writes <DIR>\<shot>.ready holding the area to take (WxH+X+Y in
// desktop pixels) and goes on once <DIR>\<shot>.done exists. Not a test; the library
// files must already be in the system directory.
//   screenshotui.exe DIR
#include <windows.h>
#include <winspool.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "names.h"
#include "uires.h"

namespace {

using lanport::kMonitorName;
const wchar_t kAddress[] = L"10.1.2.3";
const wchar_t kPort[] = L"Zephrin:10.1.2.3";
const wchar_t kInvalidAddress[] = L"10.1.2";
constexpr int kMargin = 12;     // desktop pixels around the windows taken
constexpr DWORD kWaitMs = 20000;

std::wstring directory;
DWORD uiThread;

[[noreturn]] void fail(const char* what)
{
    fprintf(stderr, "screenshotui: %s (error %lu)\n", what, GetLastError());
    fflush(stderr);
    ExitProcess(1);
}

std::wstring uiText(UINT id)
{
    wchar_t dir[MAX_PATH];
    GetSystemDirectoryW(dir, MAX_PATH);
    HMODULE module = LoadLibraryExW((std::wstring(dir) + L"\\lanportui.dll").c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE);
    if (!module) fail("cannot read lanportui.dll");
    wchar_t text[600] = L"";
    LoadStringW(module, id, text, 600);
    FreeLibrary(module);
    return text;
}

BOOL CALLBACK collectWindow(HWND window, LPARAM context)
{
    reinterpret_cast<std::vector<HWND>*>(context)->push_back(window);
    return TRUE;
}

std::wstring windowText(HWND window)
{
    wchar_t text[512] = L"";
    // Sent to the UI thread, which answers from its modal loop.
    SendMessageW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text));
    return text;
}

// A visible, enabled window of the UI thread with this caption (a dialog under a
// message box is disabled).
HWND waitFor(const std::wstring& caption)
{
    for (DWORD waited = 0; waited < kWaitMs; waited += 50) {
        std::vector<HWND> windows;
        EnumThreadWindows(uiThread, collectWindow, reinterpret_cast<LPARAM>(&windows));
        for (HWND window : windows)
            if (IsWindowVisible(window) && IsWindowEnabled(window) && windowText(window) == caption) return window;
        Sleep(50);
    }
    fprintf(stderr, "screenshotui: no window \"%ls\"\n", caption.c_str());
    fail("time-out");
}

void waitGone(HWND window)
{
    for (DWORD waited = 0; waited < kWaitMs; waited += 50) {
        if (!IsWindow(window)) return;
        Sleep(50);
    }
    fail("a window stayed open");
}

void type(HWND dialog, int control, const wchar_t* text)
{
    SendMessageW(GetDlgItem(dialog, control), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

// Posted: a sent click would not return while the message box it brings is up.
void press(HWND window, int control)
{
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(control, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(window, control)));
}

// Puts the window in the middle of the desktop, where its frame is not cut off, and in
// front, as the window a user works in would be.
void present(HWND window)
{
    RECT rect, desktop;
    GetWindowRect(window, &rect);
    GetWindowRect(GetDesktopWindow(), &desktop);
    int x = (desktop.right - (rect.right - rect.left)) / 2;
    int y = (desktop.bottom - (rect.bottom - rect.top)) / 2;
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    SetForegroundWindow(window);
}

bool exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Says where the windows are, then waits until the picture has been taken.
void hold(const wchar_t* shot, std::initializer_list<HWND> windows)
{
    Sleep(700);  // time to repaint
    RECT area{LONG_MAX, LONG_MAX, LONG_MIN, LONG_MIN}, desktop;
    for (HWND window : windows) {
        RECT rect;
        GetWindowRect(window, &rect);
        area = {std::min(area.left, rect.left), std::min(area.top, rect.top), std::max(area.right, rect.right),
                std::max(area.bottom, rect.bottom)};
    }
    GetWindowRect(GetDesktopWindow(), &desktop);
    area = {std::max(area.left - kMargin, desktop.left), std::max(area.top - kMargin, desktop.top),
            std::min(area.right + kMargin, desktop.right), std::min(area.bottom + kMargin, desktop.bottom)};
    std::wstring base = directory + L"\\" + shot;
    FILE* ready = _wfopen((base + L".ready.tmp").c_str(), L"w");
    if (!ready) fail("cannot write the ready file");
    fprintf(ready, "%ldx%ld+%ld+%ld\n", area.right - area.left, area.bottom - area.top, area.left, area.top);
    fclose(ready);
    // Whole or not at all: the script reads the file as soon as it appears.
    MoveFileExW((base + L".ready.tmp").c_str(), (base + L".ready").c_str(), MOVEFILE_REPLACE_EXISTING);
    for (DWORD waited = 0; !exists(base + L".done"); waited += 100) {
        if (waited > 120000) fail("no picture was taken");
        Sleep(100);
    }
}

void drive()
{
    HWND dialog = waitFor(uiText(IDS_ADD_TITLE));
    present(dialog);
    type(dialog, IDC_ADDRESS, kAddress);
    SendMessageW(GetDlgItem(dialog, IDC_ADDRESS), EM_SETSEL, 0, -1);
    hold(L"ui-addport", {dialog});

    type(dialog, IDC_ADDRESS, kInvalidAddress);
    press(dialog, IDOK);
    HWND box = waitFor(uiText(IDS_ERROR_CAPTION));
    hold(L"ui-error", {dialog, box});
    press(box, IDOK);
    waitGone(box);

    type(dialog, IDC_ADDRESS, kAddress);
    press(dialog, IDOK);
    waitGone(dialog);

    dialog = waitFor(uiText(IDS_CFG_TITLE) + L" " + kPort);
    present(dialog);
    hold(L"ui-properties", {dialog});
    press(dialog, IDCANCEL);
    waitGone(dialog);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: screenshotui DIR\n");
        return 2;
    }
    wchar_t dir[MAX_PATH] = L"";
    MultiByteToWideChar(CP_ACP, 0, argv[1], -1, dir, MAX_PATH);
    directory = dir;
    uiThread = GetCurrentThreadId();

    MONITOR_INFO_2W info{};
    info.pName = const_cast<LPWSTR>(kMonitorName);
    info.pDLLName = const_cast<LPWSTR>(lanport::kMonitorDll);
    if (!AddMonitorW(nullptr, 2, reinterpret_cast<BYTE*>(&info))) fail("AddMonitorW failed");

    // The dialogs' owner, as a control panel's window would be; kept out of sight.
    HWND owner = CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr,
                                 nullptr, nullptr);
    if (!owner) fail("no owner window");

    std::thread driver(drive);
    if (!AddPortW(nullptr, owner, const_cast<LPWSTR>(kMonitorName))) fail("AddPortW failed");
    if (!ConfigurePortW(nullptr, owner, const_cast<LPWSTR>(kPort))) fail("ConfigurePortW failed");
    driver.join();
    DestroyWindow(owner);
    return 0;
}
