// The installer, run from its staging directory in a Wine prefix of its own (each test
// gets a fresh one), with its message boxes answered as a user would.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <winspool.h>

#include <algorithm>
#include <cstdlib>

#include "installerfixture.h"
#include "names.h"
#include "records.h"
#include "staging.h"

using namespace setup_tests;

namespace {

using lanport::kMonitorName;

constexpr int kCheckStep = 1000, kUpdateStep = 1001, kMarker = 1005, kProgressBar = 1007;

std::string ExpectedCleanupScript()
{
    return ":Repeat\r\n"
           "del /Q /F \"c:\\temp\\pmon\\*.*\"\r\n"
           "if exist \"c:\\temp\\pmon\\setup.exe\" goto Repeat\r\n"
           "rmdir \"c:\\temp\\pmon\"\r\n"
           "del \"" + CleanupScriptPath() + "\"";
}

RECT ScreenRect(HWND window)
{
    RECT rect{};
    GetWindowRect(window, &rect);
    return rect;
}

int CentreY(const RECT& rect)
{
    return (rect.top + rect.bottom) / 2;
}

DWORD_PTR Query(HWND window, UINT message, WPARAM wParam)
{
    DWORD_PTR result = 0;
    SendMessageTimeoutA(window, message, wParam, 0, SMTO_ABORTIFHUNG, 5000, &result);
    return result;
}

}  // namespace

TEST_F(InstallerTest, CopiesEveryOtherStagedFileIntoTheSystemDirectory)
{
    WriteWholeFile(SystemPath("lanportui.dll"), "an older copy");
    ASSERT_TRUE(SetFileAttributesA(SystemPath("lanportui.dll").c_str(), FILE_ATTRIBUTE_READONLY));
    std::string wineShfolder = ReadWholeFile(SystemPath("shfolder.dll"));

    InstallerResult result = Run({Success([&](HWND) {
        // The installer is waiting in its success message: the copy is over and the
        // clean-up script not yet written.
        for (const std::string& name : kPackageFiles) {
            EXPECT_EQ(ReadWholeFile(SystemPath(name)), ReadWholeFile(PackagePath(name))) << name;
            EXPECT_FALSE(FileExists(StagingPath(name))) << name << " copied, so deleted from the staging directory";
        }
        EXPECT_FALSE(GetFileAttributesA(SystemPath("lanportui.dll").c_str()) & FILE_ATTRIBUTE_READONLY);
        EXPECT_EQ(ReadWholeFile(StagingPath("Setup.exe")), ReadWholeFile(PackagePath("Setup.exe")));
        EXPECT_EQ(ReadWholeFile(StagingPath("shfolder.dll")), std::string(3000, 'S'));
        EXPECT_FALSE(FileExists(SystemPath("Setup.exe")));
        EXPECT_EQ(ReadWholeFile(SystemPath("shfolder.dll")), wineShfolder);
    })});

    ASSERT_EQ(result.boxes.size(), 1u) << "no version installed: no question";
    EXPECT_TRUE(result.boxes[0].ok);
    EXPECT_FALSE(result.boxes[0].yes || result.boxes[0].no);
}

TEST_F(InstallerTest, RegistersTheMonitorWithTheSpooler)
{
    Run({Success()});

    EXPECT_EQ(RegisteredMonitorDll(), L"lanport.dll");
    // The monitor reads its ports when the spooler loads it for this call.
    WritePort("Zephrin:10.0.0.7", PortConfig(7));
    bool enumerated = false;
    std::vector<std::wstring> ports = EnumeratedPortNames(&enumerated);
    EXPECT_TRUE(enumerated) << GetLastError();
    EXPECT_NE(std::find(ports.begin(), ports.end(), L"Zephrin:10.0.0.7"), ports.end());
}

TEST_F(InstallerTest, RecordsVersion102AsAFiveByteString)
{
    Run({Success()});

    // Read before anything loads the monitor again: the monitor writes "1.00" there
    // whenever it starts.
    std::string version;
    DWORD type = 0, size = 0;
    ASSERT_TRUE(ReadInstalledVersion(&version, &type, &size));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(version, std::string("1.02", 5));
}

TEST_F(InstallerTest, CleanupScriptHasItsExactTextRanAndRemovedTheStagingDirectory)
{
    WitnessCleanupScript();

    Run({Success()});

    ExpectStagingDirectoryRemoved();
    EXPECT_EQ(WitnessedCleanupScript(), ExpectedCleanupScript());
}

TEST_F(InstallerTest, StopsAndRestartsTheSpooler)
{
    StartSpoolerService();
    DWORD spoolerBefore = SpoolerServiceProcessId();
    ASSERT_NE(spoolerBefore, 0u);

    Run({Success([](HWND) { EXPECT_EQ(RecordedNetCommands().size(), 2u) << "both ran before the success message"; })});

    EXPECT_EQ(RecordedNetCommands(), (std::vector<std::string>{"stop spooler", "start spooler"}));
    DWORD spoolerAfter = SpoolerServiceProcessId();
    EXPECT_NE(spoolerAfter, 0u) << "running again";
    EXPECT_NE(spoolerAfter, spoolerBefore) << "a new spooler process";
}

TEST_F(InstallerTest, ProgressBarCountsTheWholeStagingTreeAndEndsAtTheCopiedKilobytes)
{
    ASSERT_TRUE(CreateDirectoryA(StagingPath("extras").c_str(), nullptr));
    WriteWholeFile(StagingPath("extras\\notes.txt"), std::string(5000, 'n'));
    WriteWholeFile(StagingPath("small.txt"), std::string(1023, 's'));  // no whole kilobyte
    DWORD total = 0;
    for (const std::string& name : kPackageFiles) total += FileKilobytes(StagingPath(name));
    DWORD copied = total + 4;  // notes.txt
    total = copied + FileKilobytes(StagingPath("Setup.exe")) + FileKilobytes(StagingPath("shfolder.dll"));
    ASSERT_GT(FileKilobytes(StagingPath("Setup.exe")), 0u);

    Run({Success([&](HWND) {
        HWND window = FindProgressWindow(InstallerProcessId());
        ASSERT_NE(window, nullptr);
        HWND bar = GetDlgItem(window, kProgressBar);
        EXPECT_TRUE(GetWindowLongA(bar, GWL_STYLE) & PBS_SMOOTH);
        EXPECT_EQ(Query(bar, PBM_GETRANGE, TRUE), 0u);
        EXPECT_EQ(Query(bar, PBM_GETRANGE, FALSE), total);
        EXPECT_EQ(Query(bar, PBM_GETPOS, 0), copied);
    })});
}

TEST_F(InstallerTest, ProgressWindowEndsOnTheUpdateStepWithTheMarkerBesideIt)
{
    Run({Success([](HWND) {
        HWND window = FindProgressWindow(InstallerProcessId());
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(WindowText(window), "Zephrin TCP/IP Port Monitor");
        RECT frame = ScreenRect(window);
        EXPECT_EQ(frame.left, 100);
        EXPECT_EQ(frame.top, 100);

        HWND check = GetDlgItem(window, kCheckStep), update = GetDlgItem(window, kUpdateStep);
        EXPECT_EQ(WindowText(check), "Checking installed version");
        EXPECT_EQ(WindowText(update), "Updating files");
        RECT marker = ScreenRect(GetDlgItem(window, kMarker));
        EXPECT_NEAR(CentreY(marker), CentreY(ScreenRect(update)), 1);
    })});
}

TEST_F(InstallerTest, FileInASubdirectoryIsCopiedFlatAndTheStagingDirectoryStays)
{
    ASSERT_TRUE(CreateDirectoryA(StagingPath("extras").c_str(), nullptr));
    WriteWholeFile(StagingPath("extras\\notes.txt"), "notes of the package");

    Run({Success([](HWND) {
        EXPECT_EQ(ReadWholeFile(SystemPath("notes.txt")), "notes of the package");
        EXPECT_FALSE(DirectoryExists(SystemPath("extras")));
        EXPECT_FALSE(FileExists(StagingPath("extras\\notes.txt")));
    })});

    // The script deletes the staging directory's files, but "rmdir" without /S keeps a
    // directory that still holds one.
    EXPECT_TRUE(WaitForCleanupScript(kCleanupWaitMs));
    EXPECT_TRUE(DirectoryExists(StagingPath("extras")));
    EXPECT_FALSE(FileExists(StagingPath("Setup.exe")));
    EXPECT_FALSE(FileExists(StagingPath("shfolder.dll")));
}

// Windows file names ignore case, so the two names never share one staging directory.
TEST_F(InstallerTest, LowerCaseSetupExeIsCopiedLikeAnyOtherFile)
{
    DeleteFileA(StagingPath("Setup.exe").c_str());
    ASSERT_TRUE(CopyFileA(PackagePath("Setup.exe").c_str(), StagingPath("setup.exe").c_str(), FALSE));

    Run({Success([](HWND) {
            EXPECT_EQ(ReadWholeFile(SystemPath("setup.exe")), ReadWholeFile(PackagePath("Setup.exe")));
            EXPECT_EQ(ReadWholeFile(StagingPath("shfolder.dll")), std::string(3000, 'S'));
        })},
        "", kExitSuccess, StagingPath("setup.exe"));

    ExpectStagingDirectoryRemoved();
}

TEST_F(InstallerTest, ReinstallKeepsThreePortsDefinedBeforehand)
{
    RegisterMonitorBeforehand();
    const char* names[] = {"Zephrin:10.0.0.2", "Zephrin:10.0.0.3", "Zephrin:10.0.0.4"};
    std::string before[3];
    for (BYTE i = 0; i < 3; ++i) {
        WritePort(names[i], PortConfig(static_cast<BYTE>(i + 2)));
        before[i] = ReadPortConfig(names[i]);
        ASSERT_EQ(before[i].size(), sizeof(ConfigInfo));
    }
    SetInstalledVersion("1.02");

    Run({Reinstall(IDYES), Success()});

    for (int i = 0; i < 3; ++i) EXPECT_EQ(ReadPortConfig(names[i]), before[i]) << names[i];
    EXPECT_EQ(RegisteredMonitorDll(), L"lanport.dll");
    bool enumerated = false;
    std::vector<std::wstring> ports = EnumeratedPortNames(&enumerated);
    EXPECT_TRUE(enumerated);
    for (const char* name : names) {
        std::wstring wide(name, name + strlen(name));
        EXPECT_NE(std::find(ports.begin(), ports.end(), wide), ports.end()) << name;
    }
}

TEST_F(InstallerTest, SameVersionAnsweredNoOnlyStartsTheSpooler)
{
    SetInstalledVersion("1.02");
    StartSpoolerService();
    DWORD spooler = SpoolerServiceProcessId();

    InstallerResult result = Run({Reinstall(IDNO)}, "", kExitDeclined);

    ASSERT_EQ(result.boxes.size(), 1u);
    EXPECT_TRUE(result.boxes[0].yes && result.boxes[0].no);
    EXPECT_FALSE(result.boxes[0].ok);
    EXPECT_EQ(RecordedNetCommands(), std::vector<std::string>{"start spooler"});
    EXPECT_EQ(SpoolerServiceProcessId(), spooler) << "the spooler was never stopped";
    ExpectNothingCopied();
    ExpectStagingDirectoryRemoved();
}

TEST_F(InstallerTest, NewerVersionAnsweredNoOnlyStartsTheSpooler)
{
    SetInstalledVersion("1.10");
    StartSpoolerService();
    DWORD spooler = SpoolerServiceProcessId();

    InstallerResult result = Run({Downgrade(IDNO)}, "", kExitDeclined);

    ASSERT_EQ(result.boxes.size(), 1u);
    EXPECT_TRUE(result.boxes[0].yes && result.boxes[0].no);
    EXPECT_EQ(RecordedNetCommands(), std::vector<std::string>{"start spooler"});
    EXPECT_EQ(SpoolerServiceProcessId(), spooler) << "the spooler was never stopped";
    ExpectNothingCopied();
    ExpectStagingDirectoryRemoved();
    std::string version;
    DWORD type = 0, size = 0;
    ASSERT_TRUE(ReadInstalledVersion(&version, &type, &size));
    EXPECT_EQ(version, std::string("1.10", 5));
}

TEST_F(InstallerTest, NewerVersionAnsweredYesInstalls)
{
    SetInstalledVersion("1.10");

    Run({Downgrade(IDYES), Success()});

    ExpectPackageInstalled();
    EXPECT_EQ(RecordedNetCommands(), (std::vector<std::string>{"stop spooler", "start spooler"}));
}

TEST_F(InstallerTest, OlderVersionAsksNothing)
{
    SetInstalledVersion("1.01");

    InstallerResult result = Run({Success()});

    EXPECT_EQ(result.boxes.size(), 1u);
    ExpectPackageInstalled();
}

TEST_F(InstallerTest, ProgressWindowStaysOpenWhenAskedToClose)
{
    SetInstalledVersion("1.02");
    HWND progress = nullptr;
    RECT markerBefore{};

    Run({Reinstall(IDYES,
                   [&](HWND) {
                       progress = FindProgressWindow(InstallerProcessId());
                       ASSERT_NE(progress, nullptr);
                       markerBefore = ScreenRect(GetDlgItem(progress, kMarker));
                       // The question's modal loop dispatches the window's messages.
                       PostMessageA(progress, WM_SYSCOMMAND, SC_CLOSE, 0);
                       PostMessageA(progress, WM_CLOSE, 0, 0);
                       Sleep(300);
                       EXPECT_TRUE(IsWindow(progress) && IsWindowVisible(progress));
                   }),
         Success([&](HWND) {
             EXPECT_EQ(FindProgressWindow(InstallerProcessId()), progress);
             RECT marker = ScreenRect(GetDlgItem(progress, kMarker));
             EXPECT_EQ(marker.left, markerBefore.left) << "the marker moves only up and down";
             EXPECT_GT(marker.top, markerBefore.top);
         })});

    ExpectPackageInstalled();
}

// Why the installer keeps the ports itself: Wine's spooler, running in the caller's
// process, deletes the monitor's whole key when the registration goes.
TEST(WineSpoolerTest, DeleteMonitorTakesThePortsKeyWithIt)
{
    RegisterMonitorBeforehand();
    WritePort("Zephrin:10.0.0.9", PortConfig(9));
    ASSERT_TRUE(KeyExists(kPortsKey));

    ASSERT_TRUE(DeleteMonitorW(nullptr, nullptr, const_cast<LPWSTR>(kMonitorName))) << GetLastError();

    EXPECT_FALSE(KeyExists(kPortsKey));
    EXPECT_FALSE(KeyExists(kMonitorKey));
}
