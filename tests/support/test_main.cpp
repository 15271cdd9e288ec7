// The test programs' main: runs the tests, then ends the process at once. Under Wine a
// process may hang or fault while it winds down (threads the code under test keeps,
// DLL detach), after every test has already reported; that must not stall CTest.
// Its first act is the sign that its own code ran, for the launcher (wine-run).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>

int main(int argc, char** argv)
{
    char started[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("LANPORT_STARTED", started, sizeof started);
    if (length > 0 && length < sizeof started) {
        HANDLE marker = CreateFileA(started, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (marker != INVALID_HANDLE_VALUE) CloseHandle(marker);
    }
    testing::InitGoogleTest(&argc, argv);
    int result = RUN_ALL_TESTS();
    fflush(stdout);
    fflush(stderr);
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(result));
    return result;
}
