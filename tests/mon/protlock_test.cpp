// The protected lock: readers together, writers alone and preferred, the bounded wait.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "protlock.h"
#include "test_seams.h"
#include "trace.h"
#include "tracefiles.h"
#include "waituntil.h"

using namespace std::chrono_literals;
using namespace testing_support;

namespace {

class ProtectedLockTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(InitLockStruct(&lock)); }
    void TearDown() override
    {
        EXPECT_TRUE(CloseLockStruct(&lock));
        testseams::Reset();
    }
    ProtectedLock lock{};
};

// A writer has entered StartProtectedWrite and waits for the readers: it asked for the
// bounded wait, holding the writers' critical section.
bool writerWaits()
{
    return WaitUntil([] { return testseams::RequestedWaits().size() == 1; });
}

// Another thread waits to enter `section`, held once by its owner. Wine counts a
// critical section's entries in LockCount: -1 free, 0 held once, above 0 also waited for.
bool someoneQueuesOn(const CRITICAL_SECTION& section)
{
    return WaitUntil([&] { return section.LockCount > 0; });
}

}  // namespace

TEST_F(ProtectedLockTest, FreshLockTakesAWriterAtOnce)
{
    auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(StartProtectedWrite(&lock));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_TRUE(EndProtectedWrite(&lock));
}

TEST_F(ProtectedLockTest, ReadersHoldTogetherAndTheCountReturnsToZero)
{
    std::atomic<int> inside{0};
    std::vector<std::thread> readers;
    for (int i = 0; i < 4; ++i)
        readers.emplace_back([&] {
            ASSERT_TRUE(StartProtectedRead(&lock));
            ++inside;
            EXPECT_TRUE(WaitUntil([&] { return inside == 4; })) << "the readers did not hold together";
            EXPECT_TRUE(EndProtectedRead(&lock));
        });
    for (auto& reader : readers) reader.join();
    EXPECT_EQ(lock.readerCount, 0u);
    EXPECT_EQ(WaitForSingleObject(lock.noReadersEvent, 0), WAIT_OBJECT_0);
}

TEST_F(ProtectedLockTest, WriterWaitsForBothReaders)
{
    ASSERT_TRUE(StartProtectedRead(&lock));
    ASSERT_TRUE(StartProtectedRead(&lock));
    EXPECT_EQ(WaitForSingleObject(lock.noReadersEvent, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    std::atomic<bool> written{false};
    std::thread writer([&] {
        EXPECT_TRUE(StartProtectedWrite(&lock));
        written = true;
        EndProtectedWrite(&lock);
    });
    ASSERT_TRUE(writerWaits());
    EXPECT_FALSE(written);
    EndProtectedRead(&lock);
    // One reader is left: its count keeps the event the writer waits for unset.
    EXPECT_EQ(lock.readerCount, 1u);
    EXPECT_EQ(WaitForSingleObject(lock.noReadersEvent, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_FALSE(written);
    EndProtectedRead(&lock);
    writer.join();
    EXPECT_TRUE(written);
}

TEST_F(ProtectedLockTest, WaitingWriterKeepsNewReadersOut)
{
    ASSERT_TRUE(StartProtectedRead(&lock));
    std::atomic<bool> writerIn{false}, writerOut{false}, readerIn{false};
    std::thread writer([&] {
        ASSERT_TRUE(StartProtectedWrite(&lock));
        writerIn = true;
        writerOut = true;
        EndProtectedWrite(&lock);
    });
    ASSERT_TRUE(writerWaits());  // for the first reader
    std::thread reader([&] {
        ASSERT_TRUE(StartProtectedRead(&lock));
        readerIn = true;
        EXPECT_TRUE(writerOut) << "a new reader overtook the waiting writer";
        EndProtectedRead(&lock);
    });
    ASSERT_TRUE(someoneQueuesOn(lock.writerCritSec)) << "the new reader did not queue behind the writer";
    EXPECT_FALSE(readerIn);
    EXPECT_FALSE(writerIn);
    EndProtectedRead(&lock);
    writer.join();
    reader.join();
    EXPECT_TRUE(readerIn);
}

TEST_F(ProtectedLockTest, WriteIsReentrantOnOneThread)
{
    ASSERT_TRUE(StartProtectedWrite(&lock));
    ASSERT_TRUE(StartProtectedWrite(&lock));
    ASSERT_TRUE(StartProtectedRead(&lock));  // a writer may read too
    EndProtectedRead(&lock);
    EndProtectedWrite(&lock);
    EXPECT_EQ(lock.writerCritSec.RecursionCount, 1) << "one end released both holds";
    std::atomic<bool> other{false};
    std::thread writer([&] {
        EXPECT_TRUE(StartProtectedWrite(&lock));
        other = true;
        EndProtectedWrite(&lock);
    });
    ASSERT_TRUE(someoneQueuesOn(lock.writerCritSec));
    EXPECT_FALSE(other) << "one end released both holds";
    EndProtectedWrite(&lock);
    writer.join();
    EXPECT_TRUE(other);
}

TEST_F(ProtectedLockTest, UnreleasedReaderTimesTheWriterOut)
{
    testseams::SetWaitDivisor(1000);  // 60 s become 60 ms
    ScratchDirectory scratch;
    WriteFile("lanportm.cfg", "traceon 1");
    ASSERT_TRUE(TraceStart());
    ASSERT_TRUE(StartProtectedRead(&lock));
    std::atomic<bool> result{true};
    std::thread writer([&] { result = StartProtectedWrite(&lock); });
    writer.join();
    EXPECT_FALSE(result);
    // The failed writer left writerCritSec: other threads can still read.
    std::thread reader([&] {
        EXPECT_TRUE(StartProtectedRead(&lock));
        EndProtectedRead(&lock);
    });
    reader.join();
    EndProtectedRead(&lock);
    TraceStop();
    std::string log = ReadFile("lanportm.log");
    EXPECT_NE(log.find("StartProtectedWrite: wait timed out!"), std::string::npos) << log;
}

TEST_F(ProtectedLockTest, ReaderAskingForTheWriteSideWaitsForItself)
{
    testseams::SetWaitDivisor(1000);
    ASSERT_TRUE(StartProtectedRead(&lock));
    EXPECT_FALSE(StartProtectedWrite(&lock));
    EndProtectedRead(&lock);
    EXPECT_TRUE(StartProtectedWrite(&lock));
    EndProtectedWrite(&lock);
}

TEST(ProtectedLockInit, EventFailureFailsInit)
{
    testseams::InjectFault(FaultPoint::CreateLockEvent, ERROR_NO_SYSTEM_RESOURCES);
    ProtectedLock lock{};
    EXPECT_FALSE(InitLockStruct(&lock));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_SYSTEM_RESOURCES));
    testseams::Reset();
}

TEST_F(ProtectedLockTest, SlowRealWriterTimeoutIsSixtySeconds)
{
    ASSERT_TRUE(StartProtectedRead(&lock));
    auto start = std::chrono::steady_clock::now();
    std::atomic<bool> result{true};
    std::thread writer([&] { result = StartProtectedWrite(&lock); });
    writer.join();
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_FALSE(result);
    EXPECT_GE(waited, 59s);
    EXPECT_LT(waited, 70s);
    EndProtectedRead(&lock);
}
