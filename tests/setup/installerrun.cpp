// Runs the installer and answers its message boxes: the boxes are found among the
// installer's top-level windows by their dialog class, caption and text, and answered
// with a posted button click, as a user's click would arrive.
#include "installerrun.h"

#include <gtest/gtest.h>

#include <iterator>
#include <set>


namespace setup_tests {

using testwin::BoxText;
using testwin::Dialogs;
using testwin::HasButton;
using testwin::Press;

const char kQuestionCaption[] = "Zephrin TCPIP Port Monitor";
const char kErrorCaption[] = "Zephrin TCP/IP Port Monitor";
const char kSuccessText[] = "Zephrin TCPIP Port Monitor was installed successfully !";
const char kReinstallText[] =
    "Zephrin TCPIP Port Monitor was already installed !\n      Do you want to reinstall it?";
const char kDowngradeText[] =
    "A newer Zephrin TCPIP PortMonitor is already installed on your system !\n\r"
    "  Do you really want to downgrade your existent version ?";

const char kNoStagingText[] =
    "The package was not found: the folder c:\\temp\\pmon is missing or does not hold lanport.dll.\n"
    "Unpack the package into c:\\temp\\pmon and start Setup.exe again. Nothing was changed.";
const char kNotInstalledText[] =
    "Zephrin TCPIP Port Monitor was not installed: not every file of the package could be copied.\n"
    "An earlier installation stays registered with its version. The package stays in c:\\temp\\pmon: close the "
    "programs that use the monitor's files and start Setup.exe again.";
const char kConfirmRemoveText[] =
    "Do you want to remove Zephrin TCPIP Port Monitor and all its ports from this computer?";
const char kRemovedText[] = "Zephrin TCPIP Port Monitor was removed successfully !";

std::string CopyErrorText(const std::string& destination, DWORD error)
{
    return "There was an error while copying: " + destination + "\n Error: " + std::to_string(error) + " !";
}

std::string RemoveErrorText(const std::string& path, DWORD error)
{
    return "There was an error while removing: " + path + "\n Error: " + std::to_string(error) + " !";
}

std::string UsageText(const std::string& option)
{
    return "Unknown option: " + option +
           "\n\nSetup.exe [/quiet] [/uninstall]\n"
           "  /quiet       no window and no questions: the same version is reinstalled, a newer one is kept\n"
           "  /uninstall   removes the port monitor with its ports and its files";
}

std::string PortsInUseText(const std::string& printers)
{
    return "Zephrin TCPIP Port Monitor cannot be removed: printers still use its ports:\n" + printers +
           "\nDelete these printers or move them to other ports first. Nothing was changed.";
}

namespace {

constexpr DWORD kTimeLimitMs = 60000;
constexpr int kProgressBarId = 1007;

DWORD runningProcess;

std::string Environment(const std::string& pathPrefix)
{
    std::string block;
    char* strings = GetEnvironmentStringsA();
    for (const char* entry = strings; *entry; entry += strlen(entry) + 1) {
        std::string variable = entry;
        if (!pathPrefix.empty() && _strnicmp(entry, "PATH=", 5) == 0)
            variable = "PATH=" + pathPrefix + ";" + variable.substr(5);
        block += variable;
        block += '\0';
    }
    FreeEnvironmentStringsA(strings);
    block += '\0';
    return block;
}

}  // namespace

HWND FindProgressWindow(DWORD processId)
{
    for (HWND dialog : Dialogs(processId))
        if (GetDlgItem(dialog, kProgressBarId)) return dialog;
    return nullptr;
}

DWORD InstallerProcessId()
{
    return runningProcess;
}

InstallerResult RunInstaller(const std::string& path, const std::string& arguments,
                             const std::vector<Answer>& answers, const std::string& pathPrefix)
{
    InstallerResult result;
    std::string commandLine = "\"" + path + "\"" + (arguments.empty() ? "" : " " + arguments);
    std::string directory = path.substr(0, path.find_last_of('\\'));
    std::string environment = Environment(pathPrefix);
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, environment.data(),
                        directory.c_str(), &startup, &process)) {
        ADD_FAILURE() << "cannot start " << path << ": " << GetLastError();
        return result;
    }
    runningProcess = process.dwProcessId;

    size_t next = 0;
    std::set<HWND> answered;
    DWORD start = GetTickCount();
    while (GetTickCount() - start < kTimeLimitMs) {
        if (WaitForSingleObject(process.hProcess, 20) == WAIT_OBJECT_0) {
            result.exited = true;
            break;
        }
        for (HWND box : Dialogs(process.dwProcessId)) {
            if (GetDlgItem(box, kProgressBarId)) result.progressWindowSeen = true;
            if (GetDlgItem(box, kProgressBarId) || answered.count(box)) continue;
            MessageBoxSeen seen;
            seen.caption = WindowText(box);
            seen.text = BoxText(box);
            seen.yes = HasButton(box, IDYES);
            seen.no = HasButton(box, IDNO);
            seen.ok = HasButton(box, IDOK);
            // A box may be seen between its creation and the setting of its texts.
            if (seen.caption.empty() || seen.text.empty()) continue;
            result.boxes.push_back(seen);
            answered.insert(box);

            if (next < answers.size() && answers[next].caption == seen.caption && answers[next].text == seen.text) {
                const Answer& answer = answers[next++];
                if (answer.inspect) answer.inspect(box);
                Press(box, answer.button);
            } else {
                ADD_FAILURE() << "unexpected message box \"" << seen.caption << "\": \"" << seen.text << "\"";
                Press(box, seen.no ? IDNO : IDOK);
            }
        }
        // A window handle may come back for the next box once the last one has gone.
        for (auto it = answered.begin(); it != answered.end();)
            it = IsWindow(*it) ? std::next(it) : answered.erase(it);
    }
    if (!result.exited) {
        ADD_FAILURE() << "the installer did not end within " << kTimeLimitMs << " ms";
        TerminateProcess(process.hProcess, 99);
        WaitForSingleObject(process.hProcess, 5000);
    }
    GetExitCodeProcess(process.hProcess, &result.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    runningProcess = 0;
    EXPECT_EQ(next, answers.size()) << "message boxes that never came";
    return result;
}

}  // namespace setup_tests
