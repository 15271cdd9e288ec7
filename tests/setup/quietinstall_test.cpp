// The installer run quietly, as deployment tools run it: no window, no message box, the
// same version reinstalled and a newer one kept, the outcome in the exit code alone.
#include <gtest/gtest.h>

#include <windows.h>

#include "installerfixture.h"

using namespace setup_tests;

TEST_F(InstallerTest, QuietInstallShowsNoWindowAndSucceeds)
{
    InstallerResult result = Run({}, "/quiet");

    EXPECT_TRUE(result.boxes.empty());
    EXPECT_FALSE(result.progressWindowSeen);
    ExpectPackageInstalled();
    EXPECT_EQ(RegisteredMonitorDll(), L"lanport.dll");
    EXPECT_EQ(RecordedNetCommands(), (std::vector<std::string>{"stop spooler", "start spooler"}));
    ExpectStagingDirectoryRemoved();
}

// The switch is read in any case and with a dash as well.
TEST_F(InstallerTest, QuietReinstallOfTheSameVersionKeepsThePorts)
{
    RegisterMonitorBeforehand();
    WritePort("Zephrin:10.0.0.6", PortConfig(6));
    std::string port = ReadPortConfig("Zephrin:10.0.0.6");
    SetInstalledVersion("1.02");

    InstallerResult result = Run({}, "-QUIET");

    EXPECT_TRUE(result.boxes.empty());
    EXPECT_FALSE(result.progressWindowSeen);
    ExpectPackageInstalled();
    EXPECT_EQ(RegisteredMonitorDll(), L"lanport.dll");
    EXPECT_EQ(ReadPortConfig("Zephrin:10.0.0.6"), port);
}

TEST_F(InstallerTest, QuietInstallKeepsANewerVersion)
{
    SetInstalledVersion("1.10");
    StartSpoolerService();

    InstallerResult result = Run({}, "/Quiet", kExitNewerInstalled);

    EXPECT_TRUE(result.boxes.empty());
    EXPECT_EQ(RecordedVersion(), "1.10");
    ExpectNothingCopied();
    EXPECT_EQ(RecordedNetCommands(), std::vector<std::string>{"start spooler"}) << "the spooler is never stopped";
}
