// The print path under test: the monitor started on a private registry root, ports
// pointed at simulated printers, and the spooler stand-in for the spooler's side.
#pragma once

#include <winsock2.h>

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "monitorfixture.h"
#include "pmuports.h"
#include "printersim.h"
#include "standin_client.h"
#include "test_seams.h"

namespace testing_support {

// What a job sends before its own bytes: the ECHO probe and the PJL job header.
constexpr size_t kProbeAndHeader = 28 + 79;

class PrintPathTest : public ::testing::Test {
protected:
    // Specified waits run 50 times faster (the hostile printers' tests count on it), but a
    // printer gets at least the floor to answer: 500 ms writes pause 10 ms, the 10 s probe
    // window and its 30 s limit last 1 s, the 120 s printer silence 2.4 s.
    static constexpr testseams::Shortening kShortening{50, testseams::kShortestWaitMs};

    void SetUp() override;
    void TearDown() override;

    // A port with a simulated printer behind it.
    struct Station {
        std::unique_ptr<printersim::Printer> printer;
        QelPort* port = nullptr;
        HANDLE handle = nullptr;
        std::wstring name;
    };
    Station addStation(const std::wstring& name, printersim::Options options, DWORD monitorLevel = 1);
    QelPort* addPort(const std::wstring& name, DWORD ipAddress, DWORD monitorLevel = 1);

    BOOL startDoc(HANDLE port, LPCWSTR printer, DWORD jobId, LPCWSTR document = L"Report");
    BOOL write(HANDLE port, const std::string& data, DWORD* written = nullptr);
    BOOL endDoc(HANDLE port);
    // One whole job: StartDocPort, one WritePort, EndDocPort; all must succeed.
    void printJob(const Station& station, LPCWSTR printer, DWORD jobId, const std::string& data);

    // A job against a printer that may misbehave: StartDocPort must succeed; the data goes
    // out in `pieces` WritePort calls, which may fail; how EndDocPort went.
    struct Outcome {
        bool writeFailed = false;
        BOOL ended = FALSE;  // EndDocPort's result
        DWORD endMs = 0;     // how long EndDocPort took
    };
    Outcome runJob(const Station& station, LPCWSTR printer, DWORD jobId, const std::string& data, int pieces = 1);
    // The endings the job got: every job control command but 0, each once.
    std::set<DWORD> endings(DWORD jobId);

    std::vector<standin::SetJobCall> statusUpdates(DWORD jobId);  // level-2 SetJobW calls
    std::vector<DWORD> commands(DWORD jobId);                     // every SetJobW command
    // The port's "GetPortStatus" reply; any status but success fails the test.
    GetPortStatusReply portStatus(const std::wstring& name);

    RegistryRoot root;
    LPMONITOR2 monitor = nullptr;
};

std::wstring ResourceText(UINT id, int page = -1);

}  // namespace testing_support
