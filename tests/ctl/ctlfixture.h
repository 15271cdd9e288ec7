// Common ground of the lanportctl tests: the program run as a child process, the ports a
// new process sees, and lanport.dll registered with Wine's spooler.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "session.h"
#include "uifixture.h"

namespace ctl_testing {

struct CtlRun {
    DWORD exitCode = STILL_ACTIVE;
    std::vector<std::string> out;
    std::vector<std::string> err;
};

// Text as lanportctl writes it to a pipe.
std::string Utf8(const std::wstring& text);

// Runs lanportctl.exe with `arguments`.
CtlRun Ctl(const std::vector<std::wstring>& arguments);

// The ports EnumPortsW lists in a new process, each with its monitor.
std::map<std::string, std::string> FreshPorts();

// lanport.dll registered afresh, with no ports.
class CtlTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // `lanportctl add` that must succeed; the name it printed.
    std::string add(const std::wstring& address, const std::wstring& name = L"");
    static bool stored(const std::wstring& port, ConfigInfo* config);
    static std::vector<std::wstring> storedPorts();
};

// A port whose every field differs from the defaults, so that a field lost or reset shows.
ConfigInfo UnusualConfig(DWORD ipAddress);

// A command's lines, kept for the in-process tests.
class RecordedOutput : public lanportctl::Output {
public:
    void out(const std::wstring& line) override { outLines.push_back(ui_testing::narrow(line)); }
    void err(const std::wstring& line) override { errLines.push_back(ui_testing::narrow(line)); }
    std::vector<std::string> outLines;
    std::vector<std::string> errLines;
};

}  // namespace ctl_testing
