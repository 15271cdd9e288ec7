// The installer tests' fixture: a staged package, the recording "net", runs of the
// installer with their expected exit code, and the monitor's ports in the registry.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "installerrun.h"
#include "records.h"
#include "staging.h"

namespace setup_tests {

extern const char kPortsKey[];

// Exit codes of the installer.
constexpr DWORD kExitSuccess = 0, kExitUsage = 87, kExitDeclined = 1602, kExitFailed = 1603,
                kExitNewerInstalled = 1638;

// The clean-up script ends within this once the installer has.
constexpr DWORD kCleanupWaitMs = 20000;

// The destination as the installer forms it: WINDIR and "\system32".
std::string Destination(const std::string& name);

Answer Success(std::function<void(HWND)> inspect = nullptr);
Answer Reinstall(int button, std::function<void(HWND)> inspect = nullptr);
Answer Downgrade(int button);

// A port's configuration for 10.0.0.<lastOctet>.
ConfigInfo PortConfig(BYTE lastOctet);
void WritePort(const std::string& name, const ConfigInfo& config);
// The port's "configInfo" value, empty when the port's key or value is missing.
std::string ReadPortConfig(const std::string& name);
bool KeyExists(const char* path);
// The recorded version's text, "" when none is recorded.
std::string RecordedVersion();

class InstallerTest : public ::testing::Test {
protected:
    void SetUp() override;

    // Runs the staged installer (or `path`) and checks that it ended with `exitCode`.
    InstallerResult Run(const std::vector<Answer>& answers, const std::string& arguments = "",
                        DWORD exitCode = kExitSuccess, const std::string& path = StagingPath("Setup.exe"));

    // Checks that the run ended with the clean-up script having removed the staging
    // directory.
    void ExpectStagingDirectoryRemoved();
    void ExpectNothingCopied();
    void ExpectPackageInstalled();

    std::string netRecorder_;
};

}  // namespace setup_tests
