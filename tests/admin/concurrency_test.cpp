// Port administration through XCV on eight threads while four ports print.
#include <winsock2.h>

#include "jobfixture.h"

#include <algorithm>
#include <atomic>
#include <cwchar>
#include <thread>

#include "records.h"
#include "waituntil.h"

using namespace testing_support;

namespace {

class AdminWhilePrintingTest : public PrintPathTest {
protected:
    DWORD xcv(LPCWSTR command, const void* in, DWORD cbIn, void* out, DWORD cbOut)
    {
        DWORD needed = 0;
        return monitor->pfnXcvDataPort(reinterpret_cast<HANDLE>(1), command,
                                       static_cast<PBYTE>(const_cast<void*>(in)), cbIn,
                                       static_cast<PBYTE>(out), cbOut, &needed);
    }
    // One administrator's round: verify, add, read, reconfigure and delete a port.
    bool adminRound(int worker, int round)
    {
        std::wstring name = L"Admin" + std::to_wstring(worker) + L"_" + std::to_wstring(round);
        std::wstring dotted = L"10." + std::to_wstring(20 + worker) + L"." + std::to_wstring(round / 250) + L"." +
                              std::to_wstring(round % 250 + 1);
        VerPortAddrRequest verify{};
        wcscpy(verify.addressText, dotted.c_str());
        verify.addrFormat = 2;
        VerPortAddrReply verified{};
        if (xcv(L"VerPortAddr", &verify, sizeof verify, &verified, sizeof verified) != 0) return false;
        DWORD errRc = 0;
        DWORD nameBytes = static_cast<DWORD>((name.size() + 1) * sizeof(WCHAR));
        if (xcv(L"VerPortName", name.c_str(), nameBytes, &errRc, 4) != 0) return false;
        AddPortRequest add{};
        wcscpy(add.portName, name.c_str());
        add.configInfo = DefaultConfig("10.0.0.0");
        add.configInfo.ipAddress = verified.ipAddress;
        AddPortReply added{};
        if (xcv(L"AddPort", &add, sizeof add, &added, sizeof added) != 0) return false;
        GetPortConfigReply config{};
        if (xcv(L"GetPortConfig", name.c_str(), nameBytes, &config, sizeof config) != 0) return false;
        CfgPortRequest change{};
        wcscpy(change.portName, name.c_str());
        change.configInfo = config.configInfo;
        change.configInfo.timeout = 400;
        if (xcv(L"CfgPort", &change, sizeof change, &errRc, 4) != 0) return false;
        // Every other port stays, so that the end compares a table with entries.
        if (round % 2 == 0) return true;
        return xcv(L"DeletePort", name.c_str(), nameBytes, nullptr, 0) == 0;
    }
    std::vector<std::wstring> tableNames()
    {
        DWORD needed = 0, returned = 0;
        monitor->pfnEnumPorts(nullptr, nullptr, 1, nullptr, 0, &needed, &returned);
        std::vector<BYTE> buffer(needed + 1);
        EXPECT_TRUE(monitor->pfnEnumPorts(nullptr, nullptr, 1, buffer.data(), needed, &needed, &returned));
        std::vector<std::wstring> names;
        for (DWORD i = 0; i < returned; ++i) names.push_back(reinterpret_cast<PORT_INFO_1W*>(buffer.data())[i].pName);
        std::sort(names.begin(), names.end());
        return names;
    }
};

}  // namespace

TEST_F(AdminWhilePrintingTest, TableAndRegistryAgreeAfterConcurrentAdministration)
{
    std::vector<Station> stations;
    for (int i = 0; i < 4; ++i)
        stations.push_back(addStation(L"Print" + std::to_wstring(i), {.pages = 2}));
    // The printing ports have their keys too, as ports added by an administrator have.
    for (const auto& station : stations) {
        ConfigInfo config = DefaultConfig("127.0.0.1");
        config.ipAddress = station.printer->ipAddress();
        WritePortKey(root.key(), station.name, config);
    }

    std::atomic<bool> stop{false};
    std::atomic<int> printed{0}, printFailures{0}, rounds{0}, adminFailures{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([&, i] {
            for (DWORD job = 1; !stop; ++job) {
                DWORD id = static_cast<DWORD>(i) * 1000 + job;
                standin::DefineJob(id, L"RAW", 0);
                if (startDoc(stations[i].handle, L"Printer", id) && write(stations[i].handle, "page data\f") &&
                    endDoc(stations[i].handle))
                    ++printed;
                else
                    ++printFailures;
            }
        });
    for (int worker = 0; worker < 8; ++worker)
        threads.emplace_back([&, worker] {
            for (int round = 0; !stop; ++round) {
                if (adminRound(worker, round)) ++rounds;
                else ++adminFailures;
            }
        });
    // Long enough for several jobs and administrative rounds to overlap, however fast.
    EXPECT_TRUE(WaitUntil([&] { return printed > 4 && rounds > 16; }, 90000))
        << printed << " jobs and " << rounds << " rounds";
    stop = true;
    for (auto& thread : threads) thread.join();

    EXPECT_EQ(printFailures, 0);
    EXPECT_EQ(adminFailures, 0);
    std::vector<std::wstring> keys = PortKeys(root.key());
    std::sort(keys.begin(), keys.end());
    EXPECT_EQ(tableNames(), keys);
}
