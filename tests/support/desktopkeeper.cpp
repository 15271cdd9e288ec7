// Holds the Wine prefix's desktop open for a whole test run. Wine starts the desktop's
// process on the first call that needs the desktop, handing it that program's error
// output, and ends it a second after the desktop's last other user has gone. Without a
// user that stays, any test could start it and CTest would wait for that test's output
// pipe until the desktop ended, that is until every other test then running had ended.
// Started first, from a script whose output goes nowhere, this program keeps one desktop
// for the run; it prints "ready" once the desktop is there and is ended with the
// prefix's server.
#include <windows.h>

#include <cstdio>

int main()
{
    if (!GetDesktopWindow()) {
        fprintf(stderr, "desktopkeeper: no desktop window\n");
        return 1;
    }
    printf("ready\n");
    fflush(stdout);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    return 0;
}
