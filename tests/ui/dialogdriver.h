// Drives the UI library's modal dialogs as a user would, from a second thread: finds a
// window of the UI thread by its caption, types into edit controls, presses buttons
// with posted messages (a sent click would block while a message box is up), reads a
// message box and answers it.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace ui_testing {

class DialogDriver {
public:
    // Runs `script` on a second thread against windows of the calling thread; the
    // calling thread then runs the UI operation and calls finish().
    explicit DialogDriver(std::function<void(DialogDriver&)> script);
    ~DialogDriver();
    DialogDriver(const DialogDriver&) = delete;
    DialogDriver& operator=(const DialogDriver&) = delete;

    // Ends the script; if it gave up, it then cancels every window left until the UI
    // operation has returned. Call after the UI operation returns.
    void finish();

    // A window of the UI thread with this caption; NULL (and a test failure) on time-out.
    HWND waitFor(const std::wstring& caption, DWORD timeoutMs = 10000);
    // Waits until `window` is gone.
    bool waitGone(HWND window, DWORD timeoutMs = 10000);

    void type(HWND dialog, int controlId, const std::wstring& text);
    std::wstring text(HWND window, int controlId) const;
    std::wstring caption(HWND window) const;
    void press(HWND dialog, int controlId);

    // The message text of a message box.
    std::wstring messageText(HWND box) const;
    // Presses `button` of the box and waits until it is gone.
    void answer(HWND box, int button);

    // The script gave up: later steps do nothing.
    bool failed() const { return failed_; }

private:
    DWORD uiThread_;
    std::atomic<bool> uiDone_{false};
    std::atomic<bool> failed_{false};
    std::thread thread_;
};

}  // namespace ui_testing
