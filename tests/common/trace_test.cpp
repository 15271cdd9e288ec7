// Trace log of the monitor's build ("lanportm"): configuration, start, line format,
// indentation and rotation.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "trace.h"
#include "tracefiles.h"

using namespace testing_support;

namespace {

struct Config {
    DWORD on = 0;
    DWORD wrap = 1;
    LONG size = 1400000;
    char dir[kTraceFileNameSize] = ".\\";
};

Config readConfig(const std::string& text)
{
    WriteFile("lanportm.cfg", text);
    Config config;
    ReadTraceConfig("lanportm.cfg", &config.on, &config.wrap, &config.size, config.dir);
    return config;
}

class TraceConfigTest : public ::testing::Test {
protected:
    ScratchDirectory scratch;
};

class TraceLogTest : public ::testing::Test {
protected:
    void start(const std::string& config)
    {
        WriteFile("lanportm.cfg", config);
        ASSERT_TRUE(TraceStart());
    }
    std::vector<std::string> logLines() { return ReadLines("lanportm.log"); }

    ScratchDirectory scratch;
};

int evaluations = 0;
int counted()
{
    return ++evaluations;
}

}  // namespace

TEST_F(TraceConfigTest, OnlyTheFirstCharacterOfTraceonCounts)
{
    EXPECT_EQ(readConfig("traceon 10").on, 1u);
    EXPECT_EQ(readConfig("traceon=1").on, 1u);
    EXPECT_EQ(readConfig("traceon 01").on, 0u);
    EXPECT_EQ(readConfig("traceon yes").on, 0u);
}

TEST_F(TraceConfigTest, KeysAreCaseSensitiveAndTabIsNoSeparator)
{
    EXPECT_EQ(readConfig("TraceOn 1").on, 0u);
    EXPECT_EQ(readConfig("TRACEON 1").on, 0u);
    EXPECT_EQ(readConfig("traceon\t1").on, 0u);
    EXPECT_EQ(readConfig("\r\n\r\n  traceon \r\n= = 1\r\n").on, 1u);
}

TEST_F(TraceConfigTest, StarInFrontOfAKeyTurnsItOff)
{
    EXPECT_EQ(readConfig("*traceon 1").on, 0u);
    // The token after a skipped one is read as a possible key in its own right.
    EXPECT_EQ(readConfig("*traceon traceon 1").on, 1u);
    EXPECT_EQ(readConfig("*size 5 wrap 0").wrap, 0u);
}

TEST_F(TraceConfigTest, AValueIsConsumedWithItsKey)
{
    Config config = readConfig("path traceon traceon 1");
    EXPECT_STREQ(config.dir, "traceon");
    EXPECT_EQ(config.on, 1u);
    EXPECT_EQ(readConfig("wrap size size 7").size, 7);
}

TEST_F(TraceConfigTest, SizeTakesTheLeadingDigits)
{
    EXPECT_EQ(readConfig("size 123abc").size, 123);
    EXPECT_EQ(readConfig("size abc").size, 0);
    EXPECT_EQ(readConfig("size -5").size, 0);
    EXPECT_EQ(readConfig("size 0").size, 0);
    EXPECT_EQ(readConfig("size 99999999999999").size, MAXLONG);
}

TEST_F(TraceConfigTest, AbsentKeysAndMissingFileChangeNothing)
{
    Config config;
    config.on = 1;
    config.wrap = 0;
    config.size = 42;
    ReadTraceConfig("no-such.cfg", &config.on, &config.wrap, &config.size, config.dir);
    EXPECT_EQ(config.on, 1u);
    EXPECT_EQ(config.size, 42);
    WriteFile("lanportm.cfg", "other words only traceon");  // key at the end without a value
    ReadTraceConfig("lanportm.cfg", &config.on, &config.wrap, &config.size, config.dir);
    EXPECT_EQ(config.on, 1u);
    EXPECT_EQ(config.wrap, 0u);
    EXPECT_EQ(config.size, 42);
    EXPECT_STREQ(config.dir, ".\\");
}

TEST_F(TraceConfigTest, OnlyTheFirst2000BytesAreRead)
{
    EXPECT_EQ(readConfig(std::string(1990, ' ') + "traceon 1").on, 1u);
    EXPECT_EQ(readConfig(std::string(1992, ' ') + "traceon 1").on, 0u);  // "1" is byte 2001
    EXPECT_EQ(readConfig(std::string(1991, ' ') + "traceon 1").on, 1u);  // "1" is byte 2000
}

TEST_F(TraceConfigTest, OverlongPathIsCut)
{
    Config config = readConfig("path " + std::string(600, 'd') + "\\");
    EXPECT_EQ(strlen(config.dir), kTraceFileNameSize - 1);
}

TEST_F(TraceLogTest, NoConfigurationMeansNoFilesAndNoEvaluation)
{
    ASSERT_TRUE(TraceStart());
    EXPECT_EQ(traceOn, 0u);
    evaluations = 0;
    TRACE(TRC_FLOW, "lanportm: Entry %d\n", counted());
    EXPECT_EQ(evaluations, 0);
    EXPECT_FALSE(FileExists("lanportm.log"));
    EXPECT_FALSE(FileExists("lanportm.bak"));
}

TEST_F(TraceLogTest, StartKeepsThePreviousLogAsBak)
{
    WriteFile("lanportm.log", "earlier run\r\n");
    WriteFile("lanportm.bak", "two runs ago\r\n");
    start("traceon 1");
    EXPECT_EQ(ReadFile("lanportm.bak"), "earlier run\r\n");
    EXPECT_EQ(ReadFile("lanportm.log"), "");
}

TEST_F(TraceLogTest, LogInTheConfiguredDirectory)
{
    CreateDirectoryA("logs", nullptr);
    start("traceon 1 path .\\logs\\");
    TRACE(TRC_ERROR, "lanportm: hello\n");
    TraceStop();
    EXPECT_FALSE(FileExists("lanportm.log"));
    ASSERT_EQ(ReadLines("logs\\lanportm.log").size(), 1u);
    DeleteFileA("logs\\lanportm.log");
    RemoveDirectoryA("logs");
}

TEST_F(TraceLogTest, UncreatableLogFailsTheStart)
{
    WriteFile("lanportm.cfg", "traceon 1 path .\\missing\\dir\\");
    EXPECT_FALSE(TraceStart());
    EXPECT_EQ(traceOn, 0u);
}

TEST_F(TraceLogTest, LineFormat)
{
    start("traceon 1");
    TRACE(TRC_FLOW, "lanportm: Entry netClose(%d)\n", 5);
    TRACE(TRC_DETAIL, "lanportm: wide %ls and %hu\n", L"text", static_cast<unsigned short>(7));
    TraceStop();
    std::string bytes = ReadFile("lanportm.log");
    EXPECT_TRUE(bytes.ends_with("\r\n")) << bytes;
    std::vector<std::string> lines = ReadLines("lanportm.log");
    ASSERT_EQ(lines.size(), 2u) << bytes;
    TraceLine first, second;
    ASSERT_TRUE(ParseTraceLine(lines[0], &first)) << bytes;
    ASSERT_TRUE(ParseTraceLine(lines[1], &second)) << bytes;
    EXPECT_EQ(first.indent, 0);
    EXPECT_EQ(first.message, "Entry netClose(5)");
    EXPECT_EQ(second.indent, 1);
    EXPECT_EQ(second.message, "wide text and 7");
    EXPECT_GE(first.thread.size(), 5u);
    EXPECT_EQ(std::stoul(first.thread), GetCurrentThreadId());
}

TEST_F(TraceLogTest, PrefixIsDroppedByLengthNotCompared)
{
    start("traceon 1");
    // The trace statement refuses such a format when it is compiled; the writer itself
    // is called directly.
    TraceWrite("0123456789kept\n");
    TraceStop();
    ASSERT_EQ(logLines().size(), 1u);
    EXPECT_EQ(MessageOf(logLines()[0]), "kept");
}

TEST_F(TraceLogTest, LongMessageIsCutToTheBuffer)
{
    start("traceon 1");
    std::string big(2000, 'x');
    TRACE(TRC_ERROR, "lanportm: %s\n", big.c_str());
    TRACE(TRC_ERROR, "lanportm: next\n");
    TraceStop();
    std::string bytes = ReadFile("lanportm.log");
    // Cut to the buffer, keeping the line end so the next line stays a line of its own.
    EXPECT_NE(bytes.find(std::string(kTraceMessageSize - 2, 'x') + "\r\n"), std::string::npos);
    EXPECT_EQ(bytes.find(std::string(kTraceMessageSize - 1, 'x')), std::string::npos);
    EXPECT_EQ(MessageOf(logLines().back()), "next");
}

TEST_F(TraceLogTest, EntryAndExitIndentation)
{
    start("traceon 1");
    TRACE(TRC_FLOW, "lanportm: Entry outer\n");
    TRACE(TRC_FLOW, "lanportm: Enter inner\n");
    TRACE(TRC_DETAIL, "lanportm: detail\n");
    TRACE(TRC_FLOW, "lanportm: EXIT inner\n");
    TRACE(TRC_FLOW, "lanportm: exit outer\n");
    TRACE(TRC_FLOW, "lanportm: Exit at depth zero\n");
    TRACE(TRC_FLOW, "lanportm: after\n");
    TraceStop();
    std::vector<int> indents;
    for (const auto& line : logLines()) indents.push_back(IndentOf(line));
    EXPECT_EQ(indents, (std::vector<int>{0, 1, 2, 1, 0, 0, 0}));
}

TEST_F(TraceLogTest, DepthWrapsAt256AndExitingThreadResets)
{
    start("traceon 1");
    for (int i = 0; i < 255; ++i) TRACE(TRC_FLOW, "lanportm: Entry %d\n", i);
    TRACE(TRC_FLOW, "lanportm: at 255\n");
    TRACE(TRC_FLOW, "lanportm: Entry 256th\n");
    TRACE(TRC_FLOW, "lanportm: at 0\n");
    TRACE(TRC_FLOW, "lanportm: Entry a\n");
    TRACE(TRC_FLOW, "lanportm: Entry b\n");
    TRACE(TRC_FLOW, "lanportm: Exiting thread\n");
    TRACE(TRC_FLOW, "lanportm: reset\n");
    TraceStop();
    auto lines = logLines();
    ASSERT_EQ(lines.size(), 262u);
    EXPECT_EQ(IndentOf(lines[255]), 255);
    EXPECT_EQ(IndentOf(lines[256]), 255);
    EXPECT_EQ(IndentOf(lines[257]), 0);
    EXPECT_EQ(IndentOf(lines[260]), 1);  // "Exiting thread" is an Exit line first
    EXPECT_EQ(IndentOf(lines[261]), 0);
}

TEST_F(TraceLogTest, DepthIsKeptPerThread)
{
    start("traceon 1");
    TRACE(TRC_FLOW, "lanportm: Entry main\n");
    std::thread([] { TRACE(TRC_FLOW, "lanportm: other thread\n"); }).join();
    TRACE(TRC_FLOW, "lanportm: main again\n");
    TraceStop();
    auto lines = logLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(IndentOf(lines[1]), 0);
    EXPECT_EQ(IndentOf(lines[2]), 1);
}

TEST_F(TraceLogTest, SizeZeroRotatesBeforeEveryLineAfterTheFirst)
{
    start("traceon 1 size 0");
    TRACE(TRC_ERROR, "lanportm: one\n");
    TRACE(TRC_ERROR, "lanportm: two\n");
    TRACE(TRC_ERROR, "lanportm: three\n");
    TraceStop();
    auto current = logLines();
    auto previous = ReadLines("lanportm.lg1");
    ASSERT_EQ(current.size(), 1u);
    ASSERT_EQ(previous.size(), 1u);
    EXPECT_EQ(MessageOf(current[0]), "three");
    EXPECT_EQ(MessageOf(previous[0]), "two");
}

TEST_F(TraceLogTest, LogMayExceedTheLimitByOneLine)
{
    start("traceon 1 size 10");
    TRACE(TRC_ERROR, "lanportm: %s\n", std::string(100, 'a').c_str());
    TRACE(TRC_ERROR, "lanportm: second\n");
    TraceStop();
    EXPECT_EQ(logLines().size(), 1u);
    EXPECT_GT(ReadFile("lanportm.lg1").size(), 100u);
}

TEST_F(TraceLogTest, WrapOffGrowsWithoutLimit)
{
    start("traceon 1 size 0 wrap 0");
    for (int i = 0; i < 10; ++i) TRACE(TRC_ERROR, "lanportm: line %d\n", i);
    TraceStop();
    EXPECT_EQ(logLines().size(), 10u);
    EXPECT_FALSE(FileExists("lanportm.lg1"));
}

TEST_F(TraceLogTest, RotationRereadsTheConfiguration)
{
    start("traceon 1 size 0");
    TRACE(TRC_ERROR, "lanportm: before\n");
    WriteFile("lanportm.cfg", "traceon 0");
    TRACE(TRC_ERROR, "lanportm: dropped\n");
    TRACE(TRC_ERROR, "lanportm: dropped too\n");
    EXPECT_EQ(traceOn, 0u);
    auto lines = logLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(MessageOf(lines[0]), "before");
    EXPECT_FALSE(FileExists("lanportm.lg1"));
}

TEST_F(TraceLogTest, RotationIntoAnUncreatableLogSwitchesTracingOff)
{
    start("traceon 1 size 0");
    TRACE(TRC_ERROR, "lanportm: first\n");
    WriteFile("lanportm.cfg", "traceon 1 size 0 path .\\missing\\");
    TRACE(TRC_ERROR, "lanportm: lost\n");
    EXPECT_EQ(traceOn, 0u);
    TRACE(TRC_ERROR, "lanportm: also lost\n");
    EXPECT_EQ(logLines().size(), 1u);
}

TEST_F(TraceLogTest, ConcurrentWritersAcrossRotations)
{
    start("traceon 1 size 3000");
    constexpr int kThreads = 6;
    constexpr int kLines = 300;
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t)
        writers.emplace_back([t] {
            for (int i = 0; i < kLines; ++i) {
                TRACE(TRC_FLOW, "lanportm: Entry writer %d line %d\n", t, i);
                TRACE(TRC_FLOW, "lanportm: Exit writer %d line %d\n", t, i);
            }
        });
    for (auto& writer : writers) writer.join();
    TraceStop();
    // Every line whole: "Entry writer T line N" or "Exit writer T line N", indented by
    // at most one blank.
    auto wellFormed = [](const std::string& line) {
        auto digit = [](char c) { return c >= '0' && c <= '9'; };
        TraceLine parsed;
        if (!ParseTraceLine(line, &parsed) || parsed.indent > 1) return false;
        const std::string& m = parsed.message;
        size_t at = m.starts_with("Entry writer ") ? 13 : m.starts_with("Exit writer ") ? 12 : 0;
        if (at == 0 || m.size() < at + 8 || !digit(m[at]) || m.compare(at + 1, 6, " line ") != 0) return false;
        return std::all_of(m.begin() + at + 7, m.end(), digit);
    };
    for (const char* file : {"lanportm.log", "lanportm.lg1"}) {
        auto lines = ReadLines(file);
        EXPECT_FALSE(lines.empty()) << file;
        for (const auto& line : lines) ASSERT_TRUE(wellFormed(line)) << line;
    }
}

TEST_F(TraceLogTest, StopClosesTheLog)
{
    start("traceon 1");
    TRACE(TRC_ERROR, "lanportm: kept\n");
    TraceStop();
    TRACE(TRC_ERROR, "lanportm: after stop\n");
    EXPECT_EQ(logLines().size(), 1u);
}

TEST_F(TraceLogTest, DbgAssertWritesTheFailedExpression)
{
    start("traceon 1");
    int value = 3;
    DbgAssert(value == 3);
    DbgAssert(value == 4);
    TraceStop();
    std::string bytes = ReadFile("lanportm.log");
    EXPECT_NE(bytes.find("DbgAssert Failed: value == 4\r\nLine "), std::string::npos) << bytes;
    EXPECT_NE(bytes.find("trace_test.cpp"), std::string::npos);
    EXPECT_EQ(bytes.find("value == 3"), std::string::npos);
}
