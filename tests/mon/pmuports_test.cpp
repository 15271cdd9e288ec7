// Port and job tables: order, lookups, removal, collect delays and the active-job count.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "garbage.h"
#include "monitor.h"
#include "monitorfixture.h"
#include "pmuports.h"
#include "test_seams.h"
#include "trace.h"

using namespace testing_support;

namespace {

class PortTableTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(StartMonitor(root.key()), nullptr); }

    QelPort* add(const wchar_t* name, const char* address)
    {
        ConfigInfo config = DefaultConfig(address);
        return CreatePortEntry(name, &config);
    }
    std::vector<std::wstring> names()
    {
        std::vector<std::wstring> result;
        for (QelPort* port = portList; port; port = port->next) result.push_back(port->portName);
        return result;
    }
    bool inGarbage(void* object)
    {
        for (GarbageNode* node = garbageList; node; node = node->next)
            if (node->object == object) return true;
        return false;
    }
    QelJob* addJob(QelPort* port, DWORD flags)
    {
        QelJob job{};
        job.port = port;
        job.jobFlags = flags;
        job.socket = -1;
        job.JobIdOnPrintDevice = -1;
        return CreateJobEntry(&job);
    }

    RegistryRoot root;
};

}  // namespace

TEST_F(PortTableTest, OrderIsByTheStoredValueNotTheDottedText)
{
    add(L"b", "10.0.0.2");     // 0x0200000A
    add(L"a", "10.0.1.1");     // 0x0101000A
    add(L"c", "192.168.0.1");  // 0x0100A8C0
    add(L"d", "1.2.3.4");      // 0x04030201
    EXPECT_EQ(names(), (std::vector<std::wstring>{L"c", L"a", L"b", L"d"}));
}

TEST_F(PortTableTest, EqualAddressesNewestFirst)
{
    QelPort* first = add(L"first", "10.1.2.3");
    QelPort* second = add(L"second", "10.1.2.3");
    EXPECT_EQ(names(), (std::vector<std::wstring>{L"second", L"first"}));
    EXPECT_EQ(FindPortEntryByAddress(Address("10.1.2.3")), second);
    EXPECT_NE(first, second);
    EXPECT_EQ(FindPortEntryByAddress(Address("10.1.2.4")), nullptr);
}

TEST_F(PortTableTest, NewPortRecord)
{
    ConfigInfo config = DefaultConfig("10.1.2.3");
    config.monitorLevel = 6;
    wcscpy(config.community, L"public");
    QelPort* port = CreatePortEntry(L"Zephrin:10.1.2.3", &config);
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(memcmp(&port->signature, "QelP", 4), 0);
    EXPECT_EQ(port->flags, 0u);
    EXPECT_EQ(port->firstJob, nullptr);
    EXPECT_EQ(port->printerType, 0u);
    EXPECT_EQ(port->monitorLevel, 6u);
    EXPECT_STREQ(port->community, L"public");
    EXPECT_EQ(port->ipAddress, Address("10.1.2.3"));
    EXPECT_EQ(port->collectDelay, 30u);
}

TEST_F(PortTableTest, FindIgnoresCaseButDeleteDoesNot)
{
    QelPort* port = add(L"Zephrin:10.1.2.3", "10.1.2.3");
    EXPECT_EQ(FindPortEntryByName(L"ZEPHRIN:10.1.2.3"), port);
    EXPECT_EQ(FindPortEntryByName(nullptr), nullptr);
    EXPECT_EQ(FindPortEntryByName(L"Zephrin:10.1.2"), nullptr);
    SetLastError(0);
    EXPECT_FALSE(DeletePortEntry(L"ZEPHRIN:10.1.2.3"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_UNKNOWN_PORT));
    EXPECT_EQ(names().size(), 1u);
    EXPECT_TRUE(DeletePortEntry(L"Zephrin:10.1.2.3"));
    EXPECT_TRUE(names().empty());
    EXPECT_TRUE(port->flags & portDeleted);
    EXPECT_TRUE(inGarbage(port));
}

TEST_F(PortTableTest, DeleteAllMovesEveryPortToTheGarbageList)
{
    QelPort* a = add(L"a", "10.0.0.1");
    QelPort* b = add(L"b", "10.0.0.2");
    EXPECT_TRUE(DeleteAllPortEntries());
    EXPECT_EQ(portList, nullptr);
    for (QelPort* port : {a, b}) {
        EXPECT_TRUE(port->flags & portDeleted);
        EXPECT_TRUE(inGarbage(port));
    }
}

TEST(CollectDelayTest, FromTimeoutAndRetryCount)
{
    EXPECT_EQ(CollectDelay(300, 2), 30u);
    EXPECT_EQ(CollectDelay(3000, 4), 300u);
    EXPECT_EQ(CollectDelay(0, 2), 30u);
    EXPECT_EQ(CollectDelay(-300, 2), 30u);
    EXPECT_EQ(CollectDelay(2000, 2), 120u);
    EXPECT_EQ(CollectDelay(0x7fffffff, 1), 30u);  // the signed product wraps negative
}

TEST_F(PortTableTest, ActiveJobsSignalTheEvent)
{
    QelPort* port = add(L"p", "10.0.0.1");
    QelJob* quiet = addJob(port, 0);
    EXPECT_EQ(activeJobCount, 0u);
    EXPECT_EQ(WaitForSingleObject(activeJobsEvent, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    QelJob* first = addJob(port, jobActive);
    QelJob* second = addJob(port, jobActive);
    EXPECT_EQ(activeJobCount, 2u);
    EXPECT_EQ(WaitForSingleObject(activeJobsEvent, 0), WAIT_OBJECT_0);
    EXPECT_EQ(port->firstJob, quiet);
    EXPECT_EQ(GetCurrentJob(port), second);
    EXPECT_EQ(memcmp(&first->signature, "QelJ", 4), 0);
    EXPECT_TRUE(DeleteJobEntry(first));
    EXPECT_EQ(WaitForSingleObject(activeJobsEvent, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(DeleteJobEntry(second));
    EXPECT_EQ(activeJobCount, 0u);
    EXPECT_EQ(WaitForSingleObject(activeJobsEvent, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(GetCurrentJob(port), quiet);
    EXPECT_EQ(quiet->next, nullptr);
    EXPECT_TRUE(DeleteJobEntry(quiet));
    EXPECT_EQ(port->firstJob, nullptr);
    EXPECT_EQ(port->lastJob, nullptr);
    EXPECT_TRUE(inGarbage(first) && inGarbage(second) && inGarbage(quiet));
}

TEST_F(PortTableTest, DeleteJobEntryRefusals)
{
    QelPort* port = add(L"p", "10.0.0.1");
    QelJob* older = addJob(port, 0);
    QelJob* current = addJob(port, 0);
    port->flags |= portBusy;
    SetLastError(0);
    EXPECT_FALSE(DeleteJobEntry(current));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(current->jobFlags & jobDeleted, 0u);
    EXPECT_TRUE(DeleteJobEntry(older));  // not the current job: may go while busy
    port->flags &= ~portBusy;

    QelJob stray{};
    stray.port = port;
    stray.next = current;  // not in the list
    EXPECT_FALSE(DeleteJobEntry(&stray));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(stray.jobFlags & jobDeleted);
    EXPECT_FALSE(DeleteJobEntry(nullptr));
    EXPECT_EQ(port->firstJob, current);
}

TEST_F(PortTableTest, FreeingANullJobOnlyAsserts)
{
    ScratchDirectory scratch;
    WriteFile("lanportm.cfg", "traceon 1");
    ASSERT_TRUE(TraceStart());
    FreeJobEntry(nullptr);
    TraceStop();
    std::string log = ReadFile("lanportm.log");
    EXPECT_NE(log.find("DbgAssert Failed: pQelJob\r\nLine "), std::string::npos) << log;
    EXPECT_NE(log.find("pmuports"), std::string::npos);
}

TEST_F(PortTableTest, FreePortEntryFreesItsJobs)
{
    QelPort* port = add(L"p", "10.0.0.1");
    addJob(port, 0);
    addJob(port, 0);
    ASSERT_TRUE(DeletePortEntry(L"p"));
    ScratchDirectory scratch;
    WriteFile("lanportm.cfg", "traceon 1");
    ASSERT_TRUE(TraceStart());
    EXPECT_TRUE(FreePortEntry(port));
    TraceStop();
    int frees = 0;
    for (const auto& line : ReadLines("lanportm.log"))
        if (MessageOf(line).rfind("free ", 0) == 0) ++frees;
    EXPECT_EQ(frees, 4);  // two jobs, the name, the record
}

TEST_F(PortTableTest, AllocationFailureLeavesNothingHalfBuilt)
{
    testseams::InjectFault(FaultPoint::AllocSplMem, ERROR_NOT_ENOUGH_MEMORY, 1, 1);  // the name
    SetLastError(0);
    EXPECT_EQ(add(L"p", "10.0.0.1"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(portList, nullptr);
    testseams::InjectFault(FaultPoint::CreateLockEvent, ERROR_NO_SYSTEM_RESOURCES, 1, 1);  // port lock
    EXPECT_EQ(add(L"p", "10.0.0.1"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_SYSTEM_RESOURCES));
    EXPECT_EQ(portList, nullptr);
    testseams::Reset();
}

TEST_F(PortTableTest, WriteLockTimeoutFailsCreateAndDelete)
{
    QelPort* port = add(L"p", "10.0.0.1");
    testseams::SetWaitDivisor(1000);
    std::atomic<bool> release{false}, holding{false};
    std::thread reader([&] {
        StartProtectedRead(&portListLock);
        holding = true;
        while (!release) Sleep(1);
        EndProtectedRead(&portListLock);
    });
    while (!holding) Sleep(1);
    EXPECT_EQ(add(L"q", "10.0.0.2"), nullptr);
    EXPECT_FALSE(DeletePortEntry(L"p"));
    release = true;
    reader.join();
    testseams::Reset();
    EXPECT_EQ(names(), (std::vector<std::wstring>{L"p"}));
    EXPECT_EQ(port->flags & portDeleted, 0u);
}
