// Drives the UI library's dialogs from a second thread (see dialogdriver.h).
#include "dialogdriver.h"

#include "uifixture.h"

#include <gtest/gtest.h>

#include <vector>

namespace ui_testing {

namespace {

BOOL CALLBACK collectWindow(HWND window, LPARAM context)
{
    reinterpret_cast<std::vector<HWND>*>(context)->push_back(window);
    return TRUE;
}

std::vector<HWND> threadWindows(DWORD thread)
{
    std::vector<HWND> windows;
    EnumThreadWindows(thread, collectWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

std::wstring windowText(HWND window)
{
    wchar_t text[1024] = L"";
    // Sent to the UI thread, which answers from its modal loop.
    SendMessageW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
    return text;
}

}  // namespace

DialogDriver::DialogDriver(std::function<void(DialogDriver&)> script)
    : uiThread_(GetCurrentThreadId())
{
    thread_ = std::thread([this, script] {
        script(*this);
        // A script that gave up leaves windows open: cancel them until the UI returns.
        while (failed_ && !uiDone_) {
            for (HWND window : threadWindows(uiThread_))
                PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            Sleep(50);
        }
    });
}

DialogDriver::~DialogDriver()
{
    finish();
}

void DialogDriver::finish()
{
    uiDone_ = true;
    if (thread_.joinable()) thread_.join();
}

HWND DialogDriver::waitFor(const std::wstring& caption, DWORD timeoutMs)
{
    if (failed_) return nullptr;
    for (DWORD waited = 0; waited < timeoutMs; waited += 20) {
        for (HWND window : threadWindows(uiThread_))
            if (IsWindowVisible(window) && IsWindowEnabled(window) && windowText(window) == caption) return window;
        Sleep(20);
    }
    ADD_FAILURE() << "no window \"" << narrow(caption.c_str()) << "\"";
    failed_ = true;
    return nullptr;
}

bool DialogDriver::waitGone(HWND window, DWORD timeoutMs)
{
    for (DWORD waited = 0; waited < timeoutMs; waited += 20) {
        if (!IsWindow(window)) return true;
        Sleep(20);
    }
    ADD_FAILURE() << "a window stayed open";
    failed_ = true;
    return false;
}

void DialogDriver::type(HWND dialog, int controlId, const std::wstring& text)
{
    if (failed_) return;
    SendMessageW(GetDlgItem(dialog, controlId), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

std::wstring DialogDriver::text(HWND window, int controlId) const
{
    if (failed_) return L"";
    return windowText(GetDlgItem(window, controlId));
}

std::wstring DialogDriver::caption(HWND window) const
{
    if (failed_) return L"";
    return windowText(window);
}

void DialogDriver::press(HWND dialog, int controlId)
{
    if (failed_) return;
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(controlId, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, controlId)));
}

std::wstring DialogDriver::messageText(HWND box) const
{
    if (failed_) return L"";
    // The text is the box's one static control with a text (the icon has none).
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t className[32] = L"";
        GetClassNameW(child, className, 32);
        if (_wcsicmp(className, L"Static") != 0) continue;
        std::wstring text = windowText(child);
        if (!text.empty()) return text;
    }
    return L"";
}

void DialogDriver::answer(HWND box, int button)
{
    if (failed_) return;
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
    waitGone(box);
}

}  // namespace ui_testing
