// The test programs' main: runs the tests, then ends the process at once. Under Wine a
// process may hang or fault while it winds down (threads the code under test keeps,
// DLL detach), after every test has already reported; that must not stall CTest.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    int result = RUN_ALL_TESTS();
    fflush(stdout);
    fflush(stderr);
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(result));
    return result;
}
