// Trace log of the UI library's build ("lanportu"). One test only: it works in the
// prefix's system directory, which every test program shares.
#include <gtest/gtest.h>

#include <string>

#include "trace.h"
#include "tracefiles.h"

using namespace testing_support;

TEST(UiTraceTest, StartMakesTheSystemDirectoryCurrentAndTracesThere)
{
    char system[MAX_PATH];
    GetSystemDirectoryA(system, sizeof(system));
    const std::string base = std::string(system) + "\\lanportu";
    ScratchDirectory scratch;

    // Without a configuration file no trace file is touched.
    ASSERT_TRUE(TraceStart());
    EXPECT_EQ(traceOn, 0u);
    EXPECT_FALSE(FileExists(base + ".log"));

    WriteFile(base + ".cfg", "traceon 1\r\n");
    SetCurrentDirectoryA(scratch.path().c_str());
    ASSERT_TRUE(TraceStart());
    char current[MAX_PATH];
    GetCurrentDirectoryA(sizeof(current), current);
    EXPECT_STREQ(current, system);
    EXPECT_EQ(std::string(TraceDirectory()), std::string(system) + "\\");
    TRACE(TRC_FLOW, "lanportu: Entry AddPortUI\n");
    TraceStop();
    auto lines = ReadLines(base + ".log");
    for (const char* extension : {".cfg", ".log", ".bak"}) DeleteFileA((base + extension).c_str());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(MessageOf(lines[0]), "Entry AddPortUI");
}
