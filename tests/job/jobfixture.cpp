#include "jobfixture.h"

#include <winspool.h>

#include <cstring>
#include <cwchar>
#include <iterator>

#include "monitor.h"

namespace testing_support {

void PrintPathTest::SetUp()
{
    ASSERT_TRUE(standin::Loaded()) << "run with the spooler stand-in (WINEDLLOVERRIDES)";
    standin::Reset();
    testseams::SetWaitDivisor(kShortening);
    monitor = StartMonitor(root.key());
    ASSERT_NE(monitor, nullptr);
}

void PrintPathTest::TearDown()
{
    testseams::Reset();
    trxInstalled = FALSE;
}

QelPort* PrintPathTest::addPort(const std::wstring& name, DWORD ipAddress, DWORD monitorLevel)
{
    ConfigInfo config = DefaultConfig("127.0.0.1");
    config.ipAddress = ipAddress;
    config.monitorLevel = monitorLevel;
    return CreatePortEntry(name.c_str(), &config);
}

PrintPathTest::Station PrintPathTest::addStation(const std::wstring& name, printersim::Options options,
                                                 DWORD monitorLevel)
{
    Station station;
    station.name = name;
    station.printer = std::make_unique<printersim::Printer>(options);
    EXPECT_TRUE(station.printer->Start());
    station.port = addPort(name, station.printer->ipAddress(), monitorLevel);
    EXPECT_NE(station.port, nullptr);
    EXPECT_TRUE(monitor->pfnOpenPort(nullptr, const_cast<LPWSTR>(name.c_str()), &station.handle));
    return station;
}

BOOL PrintPathTest::startDoc(HANDLE port, LPCWSTR printer, DWORD jobId, LPCWSTR document)
{
    DOC_INFO_1W doc{const_cast<LPWSTR>(document), nullptr, const_cast<LPWSTR>(L"RAW")};
    return monitor->pfnStartDocPort(port, const_cast<LPWSTR>(printer), jobId, 1, reinterpret_cast<BYTE*>(&doc));
}

BOOL PrintPathTest::write(HANDLE port, const std::string& data, DWORD* written)
{
    DWORD count = 0;
    BOOL ok = monitor->pfnWritePort(port, reinterpret_cast<BYTE*>(const_cast<char*>(data.data())),
                                    static_cast<DWORD>(data.size()), &count);
    if (written) *written = count;
    return ok;
}

BOOL PrintPathTest::endDoc(HANDLE port)
{
    return monitor->pfnEndDocPort(port);
}

void PrintPathTest::printJob(const Station& station, LPCWSTR printer, DWORD jobId, const std::string& data)
{
    standin::DefineJob(jobId, L"RAW", 0);
    ASSERT_TRUE(startDoc(station.handle, printer, jobId));
    DWORD written = 0;
    ASSERT_TRUE(write(station.handle, data, &written));
    EXPECT_EQ(written, data.size());
    ASSERT_TRUE(endDoc(station.handle));
}

PrintPathTest::Outcome PrintPathTest::runJob(const Station& station, LPCWSTR printer, DWORD jobId,
                                             const std::string& data, int pieces)
{
    Outcome outcome;
    standin::DefineJob(jobId, L"RAW", 0);
    EXPECT_TRUE(startDoc(station.handle, printer, jobId));
    size_t step = data.size() / static_cast<size_t>(pieces) + 1;
    for (size_t at = 0; at < data.size(); at += step)
        if (!write(station.handle, data.substr(at, step))) outcome.writeFailed = true;
    DWORD start = GetTickCount();
    outcome.ended = endDoc(station.handle);
    outcome.endMs = GetTickCount() - start;
    return outcome;
}

std::set<DWORD> PrintPathTest::endings(DWORD jobId)
{
    std::set<DWORD> result;
    for (DWORD command : commands(jobId))
        if (command) result.insert(command);
    return result;
}

std::vector<standin::SetJobCall> PrintPathTest::statusUpdates(DWORD jobId)
{
    std::vector<standin::SetJobCall> updates;
    for (const auto& call : standin::SetJobCalls())
        if (call.jobId == jobId && call.level == 2) updates.push_back(call);
    return updates;
}

std::vector<DWORD> PrintPathTest::commands(DWORD jobId)
{
    std::vector<DWORD> result;
    for (const auto& call : standin::SetJobCalls())
        if (call.jobId == jobId) result.push_back(call.command);
    return result;
}

GetPortStatusReply PrintPathTest::portStatus(const std::wstring& name)
{
    GetPortStatusRequest request{};
    wcsncpy(request.portName, name.c_str(), std::size(request.portName) - 1);
    GetPortStatusReply reply;
    memset(&reply, 0xEE, sizeof reply);
    DWORD needed = 0;
    EXPECT_EQ(monitor->pfnXcvDataPort(reinterpret_cast<HANDLE>(1), L"GetPortStatus", reinterpret_cast<BYTE*>(&request),
                                      sizeof request, reinterpret_cast<BYTE*>(&reply), sizeof reply, &needed),
              static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(reply.errRc, kErrRcSuccess);
    return reply;
}

std::wstring ResourceText(UINT id, int page)
{
    WCHAR text[600] = L"";
    LoadStringW(languageModule, id, text, 600);
    std::wstring result = text;
    if (size_t at = result.find(L"%1"); at != std::wstring::npos) result.replace(at, 2, std::to_wstring(page));
    return result;
}

}  // namespace testing_support
