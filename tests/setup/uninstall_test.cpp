// "Setup.exe /uninstall": the monitor's registration, its key (the ports and the recorded
// version) and the package's files go; a monitor whose ports printers still use stays,
// as the spooler of Windows would have it.
#include "printersim.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <winspool.h>

#include <algorithm>

#include "childprocess.h"
#include "installerfixture.h"
#include "names.h"
#include "setuppaths.h"
#include "spoolerprinter.h"

using namespace setup_tests;
using testing_support::ChildResult;
using testing_support::RunChild;
using testing_support::SpoolerPrinter;

namespace {

constexpr char kPort[] = "Zephrin:10.0.0.5";
constexpr wchar_t kPrinter[] = L"lanport test printer";
constexpr wchar_t kDemoTool[] = L"" SETUP_DEMOTOOL_EXE;

Answer ConfirmRemoval(int button)
{
    return {kQuestionCaption, kConfirmRemoveText, button, nullptr};
}

Answer Removed()
{
    return {kQuestionCaption, kRemovedText, IDOK, nullptr};
}

struct UninstallCase {
    const char* arguments;
    std::vector<Answer> answers;
    DWORD exitCode;
};

class UninstallTest : public InstallerTest {
protected:
    void SetUp() override
    {
        InstallerTest::SetUp();
        RegisterMonitorBeforehand();
        WritePort(kPort, PortConfig(5));
        SetInstalledVersion("1.02");
        StartSpoolerService();
    }

    void ExpectRemoved()
    {
        EXPECT_EQ(RegisteredMonitorDll(), L"");
        for (const std::string& name : kPackageFiles) EXPECT_FALSE(FileExists(SystemPath(name))) << name;
        EXPECT_FALSE(KeyExists(kMonitorKey)) << "the version and the ports are gone with the monitor's key";
        EXPECT_EQ(RecordedNetCommands(), (std::vector<std::string>{"stop spooler", "start spooler"}));
        EXPECT_NE(SpoolerServiceProcessId(), 0u) << "the spooler runs again";
    }

    void ExpectUntouched()
    {
        EXPECT_EQ(RegisteredMonitorDll(), L"lanport.dll");
        for (const std::string& name : kPackageFiles) EXPECT_TRUE(FileExists(SystemPath(name))) << name;
        EXPECT_EQ(RecordedVersion(), "1.02");
        EXPECT_EQ(ReadPortConfig(kPort).size(), sizeof(ConfigInfo));
        EXPECT_TRUE(RecordedNetCommands().empty()) << "the spooler was left alone";
    }

    void Check(const UninstallCase& test)
    {
        InstallerResult result = Run(test.answers, test.arguments, test.exitCode);
        EXPECT_FALSE(result.progressWindowSeen);
        EXPECT_EQ(result.boxes.size(), test.answers.size());
        if (test.exitCode == kExitSuccess)
            ExpectRemoved();
        else
            ExpectUntouched();
    }

    void AddPrinterOnThePort()
    {
        ASSERT_EQ(printer_.add(kPrinter, L"Zephrin:10.0.0.5"), static_cast<DWORD>(ERROR_SUCCESS));
    }

    SpoolerPrinter printer_;
};

const UninstallCase kAnsweredYes{"/uninstall", {ConfirmRemoval(IDYES), Removed()}, kExitSuccess};
const UninstallCase kAnsweredNo{"/uninstall", {ConfirmRemoval(IDNO)}, kExitDeclined};
const UninstallCase kQuiet{"/uninstall /quiet", {}, kExitSuccess};
const UninstallCase kQuietDashesAnyCase{"-Quiet -UNINSTALL", {}, kExitSuccess};
const UninstallCase kPrinterOnPort{
    "/uninstall",
    {ConfirmRemoval(IDYES), {kErrorCaption, PortsInUseText("  lanport test printer"), IDOK, nullptr}},
    kExitFailed};
const UninstallCase kPrinterOnPortQuiet{"/uninstall /quiet", {}, kExitFailed};

}  // namespace

TEST_F(UninstallTest, AnsweredYesRemovesMonitorPortsVersionAndFiles) { Check(kAnsweredYes); }
TEST_F(UninstallTest, AnsweredNoChangesNothing) { Check(kAnsweredNo); }
TEST_F(UninstallTest, QuietRemovesWithoutAnyBox) { Check(kQuiet); }
TEST_F(UninstallTest, SwitchesWithDashesInAnyCase) { Check(kQuietDashesAnyCase); }

TEST_F(UninstallTest, PrinterOnAPortIsReportedAndNothingRemoved)
{
    AddPrinterOnThePort();
    Check(kPrinterOnPort);
}

TEST_F(UninstallTest, PrinterOnAPortFailsQuietly)
{
    AddPrinterOnThePort();
    Check(kPrinterOnPortQuiet);
}

// The monitor is gone by then; what stays is reported and the exit code says so.
TEST_F(UninstallTest, FileInUseIsReportedAndTheRestRemoved)
{
    std::string ui = SystemPath("lanportui.dll");
    HANDLE held = CreateFileA(ui.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE) << GetLastError();

    Run({ConfirmRemoval(IDYES), {kErrorCaption, RemoveErrorText(ui, ERROR_SHARING_VIOLATION), IDOK, nullptr}},
        "/uninstall", kExitFailed);
    CloseHandle(held);

    EXPECT_EQ(RegisteredMonitorDll(), L"");
    EXPECT_FALSE(KeyExists(kMonitorKey));
    EXPECT_TRUE(FileExists(ui));
    EXPECT_FALSE(FileExists(SystemPath("lanport.dll")));
    EXPECT_EQ(RecordedNetCommands(), (std::vector<std::string>{"stop spooler", "start spooler"}));
    EXPECT_NE(SpoolerServiceProcessId(), 0u);
}

TEST_F(UninstallTest, InstallAfterUninstallRegistersAgainWithoutTheOldPorts)
{
    Run({}, "/uninstall /quiet");

    Run({Success()});

    ExpectPackageInstalled();
    EXPECT_EQ(RegisteredMonitorDll(), L"lanport.dll");
    EXPECT_EQ(ReadPortConfig(kPort), "");
}

// Install, add a port with the installed lanportctl, print through the spooler to a
// simulated printer, uninstall, install again. Wine's spooler runs in its caller's
// process and keeps a monitor it has printed through loaded: the job is printed from a
// process of its own, as the spooler's own process would, which the spooler's restart
// ends.
TEST_F(InstallerTest, WholeCycleInstallPrintUninstallInstall)
{
    printersim::Printer sim({});
    ASSERT_TRUE(sim.Start());
    std::string dotted = sim.address();
    std::wstring address(dotted.begin(), dotted.end());
    std::wstring port = L"Zephrin:" + address;
    std::string data = "\x1b%-12345X@PJL ENTER LANGUAGE=PCL\r\nthe whole cycle's job\r\n";
    WriteWholeFile("c:\\temp\\job.prn", data);
    // The staging directory goes with the installation.
    std::string installer = InstallerOutsideStaging();

    Run({}, "/quiet");
    std::string ctl = SystemPath("lanportctl.exe");
    ChildResult added = RunChild(std::wstring(ctl.begin(), ctl.end()), {L"add", address});
    ASSERT_EQ(added.exitCode, 0u) << added.out << added.err;
    ChildResult printed = RunChild(kDemoTool, {L"print", kPrinter, port, L"c:\\temp\\job.prn"});
    ASSERT_EQ(printed.exitCode, 0u) << printed.out << printed.err;
    auto connections = sim.Connections();
    ASSERT_EQ(connections.size(), 1u);
    EXPECT_EQ(connections[0].received,
              std::string(printersim::kEchoProbe) + std::string(printersim::kJobHeader) + data);

    Run({}, "/uninstall /quiet", kExitFailed, installer);  // the printer still uses the port
    ChildResult removed = RunChild(kDemoTool, {L"remove-printer", kPrinter});
    ASSERT_EQ(removed.exitCode, 0u) << removed.err;
    Run({}, "/uninstall /quiet", kExitSuccess, installer);
    EXPECT_EQ(RegisteredMonitorDll(), L"");
    for (const std::string& name : kPackageFiles) EXPECT_FALSE(FileExists(SystemPath(name))) << name;

    StagePackage();
    Run({}, "/quiet");
    ExpectPackageInstalled();
    EXPECT_EQ(RegisteredMonitorDll(), L"lanport.dll");
    bool enumerated = false;
    std::vector<std::wstring> ports = EnumeratedPortNames(&enumerated);
    EXPECT_TRUE(enumerated);
    EXPECT_EQ(std::find(ports.begin(), ports.end(), port), ports.end()) << "the port went with the uninstall";
}

// Why the installer looks for printers itself: Wine's spooler removes a monitor whose
// port a printer uses.
TEST(WineSpoolerTest, DeleteMonitorIgnoresPrintersOnItsPorts)
{
    RegisterMonitorBeforehand();
    WritePort(kPort, PortConfig(5));
    SpoolerPrinter printer;
    ASSERT_EQ(printer.add(kPrinter, L"Zephrin:10.0.0.5"), static_cast<DWORD>(ERROR_SUCCESS));

    EXPECT_TRUE(DeleteMonitorW(nullptr, nullptr, const_cast<LPWSTR>(lanport::kMonitorName))) << GetLastError();

    EXPECT_FALSE(KeyExists(kPortsKey));
}
