// The garbage collector with passes every 120 ms and a clock the tests move forward.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "garbage.h"
#include "monitorfixture.h"
#include "pmuports.h"
#include "test_seams.h"
#include "trace.h"

using namespace testing_support;

namespace {

class CollectorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WriteFile("lanportm.cfg", "traceon 1");
        ASSERT_TRUE(TraceStart());
        // Before the monitor starts: the collector's first sleep is shortened too.
        testseams::SetWaitDivisor(1000);
        ASSERT_NE(StartMonitor(root.key()), nullptr);
    }
    void TearDown() override
    {
        TraceStop();
        testseams::Reset();
    }

    QelPort* add(const wchar_t* name, LONG timeout = 300, LONG retryCount = 2)
    {
        ConfigInfo config = DefaultConfig("10.0.0.1");
        config.ipAddress += static_cast<DWORD>(++ports) << 24;
        config.timeout = timeout;
        config.retryCount = retryCount;
        return CreatePortEntry(name, &config);
    }
    QelJob* addJob(QelPort* port, DWORD jobId)
    {
        QelJob job{};
        job.port = port;
        job.jobId = jobId;
        job.socket = -1;
        job.JobIdOnPrintDevice = -1;
        return CreateJobEntry(&job);
    }
    std::vector<std::string> messages()
    {
        std::vector<std::string> result;
        for (const auto& line : ReadLines("lanportm.log")) result.push_back(MessageOf(line));
        return result;
    }
    int count(const std::string& message)
    {
        auto all = messages();
        return static_cast<int>(std::count(all.begin(), all.end(), message));
    }
    // Waits until `passes` more collection passes have ended.
    void waitForPasses(int passes)
    {
        int target = count("GarbageCollection: Done") + passes;
        for (int i = 0; i < 500 && count("GarbageCollection: Done") < target; ++i) Sleep(20);
        auto all = messages();
        ASSERT_GE(count("GarbageCollection: Done"), target)
            << all.size() << " lines, last: " << (all.empty() ? "" : all.back());
    }
    int collected(const std::string& port) { return count("GarbageCollection: Collecting port " + port); }

    ScratchDirectory scratch;
    RegistryRoot root;
    int ports = 0;
};

}  // namespace

TEST_F(CollectorTest, DefaultPortFreedInTheFirstPassAfterThirtySeconds)
{
    add(L"p");
    ASSERT_TRUE(DeletePortEntry(L"p"));
    waitForPasses(2);
    // A second short of the delay, allowing for the real second that may pass meanwhile.
    testseams::AdvanceClock(28);
    waitForPasses(2);
    EXPECT_EQ(collected("p"), 0);
    EXPECT_GE(count("GarbageCollection: Some garbage not collected--putting back in list"), 1);
    testseams::AdvanceClock(2);
    waitForPasses(2);
    EXPECT_EQ(collected("p"), 1);
    EXPECT_EQ(garbageList, nullptr);
}

TEST_F(CollectorTest, LongDelayPortWaitsItsWholeDelay)
{
    QelPort* port = add(L"slow", 3000, 4);
    ASSERT_EQ(port->collectDelay, 300u);
    ASSERT_TRUE(DeletePortEntry(L"slow"));
    testseams::AdvanceClock(298);
    waitForPasses(2);
    EXPECT_EQ(collected("slow"), 0);
    testseams::AdvanceClock(2);
    waitForPasses(2);
    EXPECT_EQ(collected("slow"), 1);
}

TEST_F(CollectorTest, RecordQueuedTwiceCountsFromItsLaterQueuing)
{
    QelPort* port = add(L"p");
    ASSERT_TRUE(DeletePortEntry(L"p"));
    waitForPasses(1);
    testseams::AdvanceClock(20);
    ASSERT_TRUE(AddToGarbage(kGarbagePort, port));
    testseams::AdvanceClock(15);
    waitForPasses(2);
    EXPECT_EQ(collected("p"), 0);
    EXPECT_GE(count("EliminateDuplicates: Duplicate entry found: port p"), 1);
    testseams::AdvanceClock(15);
    waitForPasses(2);
    EXPECT_EQ(collected("p"), 1);
}

TEST_F(CollectorTest, JobQueuedBeforeItsPortGoesFirst)
{
    QelPort* port = add(L"p");
    QelJob* job = addJob(port, 7);
    ASSERT_TRUE(DeleteJobEntry(job));
    testseams::AdvanceClock(10);
    ASSERT_TRUE(DeletePortEntry(L"p"));
    testseams::AdvanceClock(25);
    waitForPasses(2);
    EXPECT_EQ(count("GarbageCollection: Collecting job 7 on port p"), 1);
    EXPECT_EQ(collected("p"), 0);
    testseams::AdvanceClock(10);
    waitForPasses(2);
    EXPECT_EQ(collected("p"), 1);
}

TEST_F(CollectorTest, PortWaitsForAJobQueuedAfterIt)
{
    QelPort* port = add(L"p");
    QelJob* job = addJob(port, 8);
    ASSERT_TRUE(DeletePortEntry(L"p"));
    testseams::AdvanceClock(10);
    ASSERT_TRUE(DeleteJobEntry(job));
    testseams::AdvanceClock(25);
    waitForPasses(2);
    // The port is due but its job is not; the job reads its port, so the port stays.
    EXPECT_EQ(collected("p"), 0);
    testseams::AdvanceClock(10);
    waitForPasses(2);
    auto all = messages();
    auto jobLine = std::find(all.begin(), all.end(), "GarbageCollection: Collecting job 8 on port p");
    auto portLine = std::find(all.begin(), all.end(), "GarbageCollection: Collecting port p");
    ASSERT_NE(jobLine, all.end());
    ASSERT_NE(portLine, all.end());
    EXPECT_LT(jobLine - all.begin(), portLine - all.begin());
}

TEST_F(CollectorTest, RecordsQueuedDuringPassesAreAllCollectedOnce)
{
    constexpr int kPorts = 150;
    for (int i = 0; i < kPorts; ++i) {
        std::wstring name = L"p" + std::to_wstring(i);
        add(name.c_str());
        ASSERT_TRUE(DeletePortEntry(name.c_str()));
        if (i % 10 == 0) Sleep(15);
    }
    testseams::AdvanceClock(31);
    waitForPasses(2);
    for (int i = 0; i < kPorts; ++i) EXPECT_EQ(collected("p" + std::to_string(i)), 1) << i;
    EXPECT_EQ(garbageList, nullptr);
}
