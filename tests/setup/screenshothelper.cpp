// Holds the installer at its success message for scripts/screenshot-setup: moves the
// message box clear of the progress window, says so in <ready>, and presses OK once
// <done> exists. Not a test; run beside the installer on the same desktop.
//   screenshothelper.exe READY DONE
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

HWND FindSuccessBox()
{
    HWND box = nullptr;
    while ((box = FindWindowExA(nullptr, box, "#32770", "Zephrin TCPIP Port Monitor")))
        if (IsWindowVisible(box)) return box;
    return nullptr;
}

bool Exists(const char* path)
{
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: screenshothelper READY DONE\n");
        return 2;
    }
    HWND box = nullptr;
    for (int i = 0; i < 600 && !(box = FindSuccessBox()); ++i) Sleep(100);
    if (!box) {
        fprintf(stderr, "screenshothelper: no message box from the installer\n");
        return 1;
    }
    SetWindowPos(box, nullptr, 420, 360, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    Sleep(500);  // time to repaint
    FILE* ready = fopen(argv[1], "w");
    if (ready) fclose(ready);
    for (int i = 0; i < 600 && !Exists(argv[2]); ++i) Sleep(100);
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
    return 0;
}
