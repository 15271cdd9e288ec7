// Runs the staged installer as the administrator would, and answers its message boxes.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "messageboxes.h"

namespace setup_tests {

// One message box of the installer, as it was shown.
struct MessageBoxSeen {
    std::string caption;
    std::string text;
    bool yes = false, no = false, ok = false;  // the buttons it offered
};

// What to do with the next message box: it must have this caption and text; `inspect`
// (if given) looks at the system while the box holds the installer, then `button`
// (IDYES, IDNO, IDOK) is pressed.
struct Answer {
    std::string caption;
    std::string text;
    int button;
    std::function<void(HWND box)> inspect;
};

struct InstallerResult {
    bool exited = false;  // within the time limit
    DWORD exitCode = STILL_ACTIVE;
    std::vector<MessageBoxSeen> boxes;
    bool progressWindowSeen = false;
};

// Starts the installer at `path` (a Windows path) with `arguments`, in its own
// directory, with `pathPrefix` put in front of its PATH, answers its boxes in order and
// waits for it to end. A box that no answer is left for, or that does not match the next
// one, fails the test and is closed.
InstallerResult RunInstaller(const std::string& path, const std::string& arguments,
                             const std::vector<Answer>& answers, const std::string& pathPrefix);

// The installer's progress window (the top-level dialog of `process` that holds the
// progress bar), or null.
HWND FindProgressWindow(DWORD processId);

// The process id of the installer run that is in progress, 0 between runs.
DWORD InstallerProcessId();

// The text of a window of another process.
using testwin::WindowText;

// The texts shown by the installer.
extern const char kQuestionCaption[];
extern const char kErrorCaption[];
extern const char kSuccessText[];
extern const char kReinstallText[];
extern const char kDowngradeText[];
extern const char kNoStagingText[];
extern const char kNotInstalledText[];
extern const char kConfirmRemoveText[];
extern const char kRemovedText[];
std::string CopyErrorText(const std::string& destination, DWORD error);
std::string RemoveErrorText(const std::string& path, DWORD error);
std::string UsageText(const std::string& option);
std::string PortsInUseText(const std::string& printers);

}  // namespace setup_tests
