// The structured exception guards: reports reach the trace and exceptions travel on.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "sehguard.h"
#include "trace.h"
#include "tracefiles.h"

using namespace testing_support;

namespace {

class SehGuardTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WriteFile("lanportm.cfg", "traceon 1");
        ASSERT_TRUE(TraceStart());
    }
    std::string log()
    {
        TraceStop();
        return ReadFile("lanportm.log");
    }

    ScratchDirectory scratch;
};

int* volatile nowhere = nullptr;

void touchNowhere()
{
    *nowhere = 1;
}

}  // namespace

TEST_F(SehGuardTest, AccessViolationIsReportedAndReachesTheOuterHandler)
{
    bool after = false;
    DWORD code = 0;
    bool raised = SehTry([&] {
        ExceptionGuard("EnumPorts", [&] {
            touchNowhere();
            after = true;
        });
        after = true;
    }, &code);
    EXPECT_TRUE(raised);
    EXPECT_EQ(code, static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
    EXPECT_FALSE(after);
    std::string text = log();
    EXPECT_NE(text.find("EnumPorts: ERROR: Exception occurred, information follows:"),
              std::string::npos) << text;
    EXPECT_NE(text.find("EnumPorts:          Exception code = c0000005"), std::string::npos);
    // An access violation's parameters: 1 for a write, then the address (0).
    EXPECT_NE(text.find("EnumPorts:          Exception parameter #0 = 1"), std::string::npos);
    EXPECT_NE(text.find("EnumPorts:          Exception parameter #1 = 0"), std::string::npos);
}

TEST_F(SehGuardTest, NestedGuardsReportInnermostFirst)
{
    SehTry([] {
        ExceptionGuard("Outer", [] { ExceptionGuard("Inner", [] { RaiseException(0xE0001234, 0, 0, nullptr); }); });
    }, nullptr);
    std::string text = log();
    size_t inner = text.find("Inner: ERROR: Exception occurred");
    size_t outer = text.find("Outer: ERROR: Exception occurred");
    ASSERT_NE(inner, std::string::npos) << text;
    ASSERT_NE(outer, std::string::npos) << text;
    EXPECT_LT(inner, outer);
    EXPECT_NE(text.find("Inner:          Exception code = e0001234"), std::string::npos);
}

TEST_F(SehGuardTest, RaisedParametersAppearInTheReport)
{
    ULONG_PTR arguments[] = {11, 22, 33};
    DWORD code = 0;
    EXPECT_TRUE(SehTry([&] { ExceptionGuard("WritePort", [&] { RaiseException(0xE0000042, 0, 3, arguments); }); }, &code));
    EXPECT_EQ(code, 0xE0000042u);
    std::string text = log();
    EXPECT_NE(text.find("WritePort:          Exception parameter #2 = 33"), std::string::npos) << text;
}

TEST_F(SehGuardTest, BodiesThatReturnNormallyAreUntouched)
{
    int value = 0;
    ExceptionGuard("ClosePort", [&] { value = 5; });
    DWORD code = 123;
    EXPECT_FALSE(SehTry([&] { value += 1; }, &code));
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(value, 6);
    EXPECT_EQ(log(), "");
}

TEST_F(SehGuardTest, GuardsWorkAgainAfterAnException)
{
    // The handler chain must be intact after each unwind.
    for (int i = 0; i < 50; ++i) {
        DWORD code = 0;
        ASSERT_TRUE(SehTry([] { ExceptionGuard("Loop", [] { touchNowhere(); }); }, &code));
        ASSERT_EQ(code, static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
    }
    int depth = 0;
    EXPECT_FALSE(SehTry([&] { ExceptionGuard("After", [&] { depth = 1; }); }, nullptr));
    EXPECT_EQ(depth, 1);
}

TEST_F(SehGuardTest, GuardsAreIndependentPerThread)
{
    std::vector<std::thread> threads;
    std::atomic<int> caught{0};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 20; ++i)
                if (SehTry([] { ExceptionGuard("Thread", [] { touchNowhere(); }); }, nullptr)) ++caught;
        });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(caught, 80);
}
