// Common ground of the lanportctl tests (see ctlfixture.h).
#include "ctlfixture.h"

#include "childprocess.h"
#include "ctlpaths.h"
#include "installedmonitor.h"
#include "portkeys.h"
#include "registrytree.h"

namespace ctl_testing {

using namespace testing_support;
using namespace ui_testing;

std::string Utf8(const std::wstring& text)
{
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                    nullptr);
    std::string result(bytes, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), bytes, nullptr,
                        nullptr);
    return result;
}

CtlRun Ctl(const std::vector<std::wstring>& arguments)
{
    ChildResult child = RunChild(LANPORTCTL_EXE_PATH, arguments);
    EXPECT_TRUE(child.started) << "lanportctl.exe did not start: " << GetLastError();
    EXPECT_TRUE(child.finished) << "lanportctl.exe did not end in time";
    return CtlRun{child.exitCode, testing_support::Lines(child.out), testing_support::Lines(child.err)};
}

std::map<std::string, std::string> FreshPorts()
{
    ChildResult child = RunChild(PORTLISTER_EXE_PATH, {});
    EXPECT_EQ(child.exitCode, 0u) << child.err;
    std::map<std::string, std::string> ports;
    for (const std::string& line : testing_support::Lines(child.out)) {
        size_t tab = line.find('\t');
        ports[line.substr(0, tab)] = tab == std::string::npos ? "" : line.substr(tab + 1);
    }
    return ports;
}

void CtlTest::SetUp()
{
    unregisterMonitor(kLanportMonitor);
    ASSERT_TRUE(registerMonitor(kLanportMonitor, lanport::kMonitorDll));
    ASSERT_TRUE(storedPorts().empty());
}

void CtlTest::TearDown()
{
    unregisterMonitor(kLanportMonitor);
}

std::string CtlTest::add(const std::wstring& address, const std::wstring& name)
{
    std::vector<std::wstring> arguments{L"add", address};
    if (!name.empty()) arguments.push_back(name);
    CtlRun run = Ctl(arguments);
    EXPECT_EQ(run.exitCode, 0u) << (run.err.empty() ? "" : run.err[0]);
    EXPECT_EQ(run.out.size(), 1u);
    return run.out.empty() ? "" : run.out[0];
}

ConfigInfo UnusualConfig(DWORD ipAddress)
{
    ConfigInfo config = testing_support::DefaultConfig(ipAddress);
    config.timeout = 77;
    config.retryCount = 5;
    wcscpy(config.community, L"old community");
    config.monitorFrequency = 9;
    config.trapPort = 162;
    config.monitorLevel = 7;
    return config;
}

bool CtlTest::stored(const std::wstring& port, ConfigInfo* config)
{
    return readPort(kLanportMonitor, port, config);
}

std::vector<std::wstring> CtlTest::storedPorts()
{
    return PortKeys(InstalledMonitorKey().key());
}

}  // namespace ctl_testing
