// demotool: the demo's Windows-side steps (see demotool.h).
#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "demotool.h"

namespace {

void usage(FILE* to)
{
    fputs("usage: demotool install\n"
          "       demotool print <printer> <port> <file>\n"
          "       demotool remove-printer <printer>\n"
          "install        runs c:\\temp\\pmon\\Setup.exe and answers its message boxes\n"
          "print          puts the printer on the port and prints the file as one RAW job\n"
          "remove-printer deletes the printer\n",
          to);
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc == 2 && wcscmp(argv[1], L"install") == 0) return RunSetupUnattended();
    if (argc == 5 && wcscmp(argv[1], L"print") == 0) return PrintFile(argv[2], argv[3], argv[4]);
    if (argc == 3 && wcscmp(argv[1], L"remove-printer") == 0) return RemovePrinter(argv[2]);
    usage(stderr);
    return 2;
}
