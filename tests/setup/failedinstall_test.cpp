// Installations that cannot happen: no package where the installer looks for it, a
// package file that cannot be copied, a switch the installer does not know. Each ends
// with a non-zero exit code and leaves the recorded version as it was; each case runs
// once with its boxes answered and once quietly, without any box.
#include <gtest/gtest.h>

#include <windows.h>

#include "installerfixture.h"

using namespace setup_tests;

namespace {

enum class Fault {
    NoStagingDirectory,   // started from another folder, c:\temp\pmon absent
    NoMonitorInStaging,   // c:\temp\pmon without lanport.dll
    MonitorInUse,         // the installed lanport.dll held open without write sharing
    DirectoryInTheWay,    // a directory named lanportui.dll in the system directory
};

struct FaultCase {
    Fault fault;
    bool quiet;
};

class FailedInstallTest : public InstallerTest {
protected:
    void TearDown() override
    {
        if (held_ != INVALID_HANDLE_VALUE) CloseHandle(held_);
        RemoveDirectoryA(SystemPath("lanportui.dll").c_str());
    }

    // Brings the fault about; the installer to start.
    std::string Arrange(Fault fault)
    {
        switch (fault) {
        case Fault::NoStagingDirectory:
            RemoveTree(StagingPath(""));
            return InstallerOutsideStaging();
        case Fault::NoMonitorInStaging:
            EXPECT_TRUE(DeleteFileA(StagingPath("lanport.dll").c_str()));
            break;
        case Fault::MonitorInUse:
            // An earlier installation with a port; the version last, since the monitor
            // records its own when it loads.
            RegisterMonitorBeforehand();
            WritePort("Zephrin:10.0.0.5", PortConfig(5));
            SetInstalledVersion("1.01");
            held_ = CreateFileA(SystemPath("lanport.dll").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
            EXPECT_NE(held_, INVALID_HANDLE_VALUE) << GetLastError();
            break;
        case Fault::DirectoryInTheWay:
            EXPECT_TRUE(CreateDirectoryA(SystemPath("lanportui.dll").c_str(), nullptr));
            break;
        }
        return StagingPath("Setup.exe");
    }

    // The boxes the installer shows, answered with OK.
    static std::vector<Answer> Boxes(Fault fault)
    {
        switch (fault) {
        case Fault::NoStagingDirectory:
        case Fault::NoMonitorInStaging:
            return {{kErrorCaption, kNoStagingText, IDOK, nullptr}};
        case Fault::MonitorInUse:
            return {{kErrorCaption, CopyErrorText(Destination("lanport.dll"), ERROR_SHARING_VIOLATION), IDOK, nullptr},
                    {kErrorCaption, kNotInstalledText, IDOK, nullptr}};
        case Fault::DirectoryInTheWay:
            // Wine reports access denied for a directory in the way of a file.
            return {{kErrorCaption, CopyErrorText(Destination("lanportui.dll"), ERROR_ACCESS_DENIED), IDOK, nullptr},
                    {kErrorCaption, kNotInstalledText, IDOK, nullptr}};
        }
        return {};
    }

    void Check(const FaultCase& test)
    {
        std::string installer = Arrange(test.fault);
        StartSpoolerService();
        WitnessCleanupScript();
        std::string versionBefore = RecordedVersion();
        bool stagedBefore = DirectoryExists(StagingPath(""));

        InstallerResult result =
            Run(test.quiet ? std::vector<Answer>{} : Boxes(test.fault), test.quiet ? "/quiet" : "", kExitFailed,
                installer);

        EXPECT_EQ(result.progressWindowSeen, !test.quiet && !Stops(test.fault));
        if (test.quiet) {
            EXPECT_TRUE(result.boxes.empty());
        }
        EXPECT_EQ(RecordedVersion(), versionBefore) << "the recorded version stays";
        EXPECT_EQ(WitnessedCleanupScript(), "") << "no clean-up script: the staging directory stays";
        EXPECT_EQ(DirectoryExists(StagingPath("")), stagedBefore);
        EXPECT_NE(SpoolerServiceProcessId(), 0u) << "the spooler runs when the installer has ended";
        if (Stops(test.fault)) {
            EXPECT_TRUE(RecordedNetCommands().empty()) << "the spooler was left alone";
            EXPECT_EQ(RegisteredMonitorDll(), L"") << "no registration without the monitor's library";
            ExpectNothingCopied();
            if (stagedBefore) {
                EXPECT_TRUE(FileExists(StagingPath("lanportui.dll"))) << "staged files stay";
            }
            return;
        }
        EXPECT_EQ(RecordedNetCommands(), (std::vector<std::string>{"stop spooler", "start spooler"}));
        if (test.fault == Fault::MonitorInUse) {
            EXPECT_TRUE(FileExists(StagingPath("lanport.dll"))) << "not copied, so still staged";
            EXPECT_FALSE(FileExists(StagingPath("lanportui.dll"))) << "copied, so no longer staged";
            EXPECT_EQ(RegisteredMonitorDll(), L"lanport.dll") << "the earlier installation stays registered";
            EXPECT_EQ(ReadPortConfig("Zephrin:10.0.0.5").size(), sizeof(ConfigInfo)) << "with its port";
        } else {
            EXPECT_TRUE(FileExists(StagingPath("lanportui.dll"))) << "not copied, so still staged";
            EXPECT_TRUE(FileExists(SystemPath("lanport.dll")));
            EXPECT_EQ(RegisteredMonitorDll(), L"") << "not registered before, not registered now";
        }
    }

    // Faults the installer finds before it changes anything.
    static bool Stops(Fault fault) { return fault == Fault::NoStagingDirectory || fault == Fault::NoMonitorInStaging; }

    HANDLE held_ = INVALID_HANDLE_VALUE;
};

}  // namespace

TEST_F(FailedInstallTest, NoStagingDirectoryChangesNothing) { Check({Fault::NoStagingDirectory, false}); }
TEST_F(FailedInstallTest, NoStagingDirectoryChangesNothingQuietly) { Check({Fault::NoStagingDirectory, true}); }
TEST_F(FailedInstallTest, StagingWithoutMonitorChangesNothing) { Check({Fault::NoMonitorInStaging, false}); }
TEST_F(FailedInstallTest, StagingWithoutMonitorChangesNothingQuietly) { Check({Fault::NoMonitorInStaging, true}); }
TEST_F(FailedInstallTest, MonitorInUseKeepsTheEarlierInstallation) { Check({Fault::MonitorInUse, false}); }
TEST_F(FailedInstallTest, MonitorInUseKeepsTheEarlierInstallationQuietly) { Check({Fault::MonitorInUse, true}); }
TEST_F(FailedInstallTest, DirectoryInTheWayIsReportedAndNothingRegistered) { Check({Fault::DirectoryInTheWay, false}); }
TEST_F(FailedInstallTest, DirectoryInTheWayFailsQuietly) { Check({Fault::DirectoryInTheWay, true}); }

// Unknown switches: the usage in a box, unless quiet, and nothing else.
TEST_F(InstallerTest, UnknownSwitchIsAUsageError)
{
    InstallerResult result = Run({{kErrorCaption, UsageText("/repair"), IDOK, nullptr}}, "/repair", kExitUsage);
    EXPECT_FALSE(result.progressWindowSeen);
    EXPECT_TRUE(RecordedNetCommands().empty());
    ExpectNothingCopied();
    EXPECT_TRUE(FileExists(StagingPath("lanport.dll")));
}

TEST_F(InstallerTest, UnknownSwitchBesideQuietIsAUsageErrorWithoutABox)
{
    InstallerResult result = Run({}, "-Quiet /uninstall extra", kExitUsage);
    EXPECT_TRUE(result.boxes.empty());
    EXPECT_TRUE(RecordedNetCommands().empty());
    ExpectNothingCopied();
}
