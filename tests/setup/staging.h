// The installer's surroundings in the test prefix: the staging directory, the system
// directory, the monitor's registry key, the spooler and its service, and the
// command interpreter's "net".
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace setup_tests {

// The monitor's key under HKEY_LOCAL_MACHINE.
extern const char kMonitorKey[];
// The package's files other than the installer, as the build lays them out.
extern const std::vector<std::string> kPackageFiles;

std::string StagingPath(const std::string& name);  // "" for the staging directory
std::string SystemPath(const std::string& name);
std::string PackagePath(const std::string& name);

// Fills c:\temp\pmon afresh: the installer under `installerName`, the package's
// libraries, and a stand-in "shfolder.dll" of 3000 bytes.
void StagePackage(const std::string& installerName = "Setup.exe");

// A copy of the installer in c:\temp\elsewhere, as an administrator keeps one to remove
// the monitor later; its path.
std::string InstallerOutsideStaging();

bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& content);
DWORD FileKilobytes(const std::string& path);  // low 32 bits of the size, shifted right by 10
void RemoveTree(const std::string& path);

// The monitor's "Version" value; `type` and `size` as the registry reports them.
void SetInstalledVersion(const char* version);
bool ReadInstalledVersion(std::string* version, DWORD* type, DWORD* size);

// The monitor as an earlier installation left it: its libraries in the system directory
// and its registration with the spooler.
void RegisterMonitorBeforehand();
// The library the spooler lists for the monitor, "" when the monitor is not listed.
std::wstring RegisteredMonitorDll();
// Port names listed through EnumPortsW at level 1, or a failure of the call.
std::vector<std::wstring> EnumeratedPortNames(bool* succeeded);

// The print spooler service: started if it is not running; its process id (0 when it
// is not running).
void StartSpoolerService();
DWORD SpoolerServiceProcessId();

// A "net" that records its arguments and then runs Wine's net.exe; put its directory in
// front of the installer's PATH.
std::string InstallNetRecorder();
std::vector<std::string> RecordedNetCommands();

// The clean-up script, and a second name for the same file: the installer rewrites the
// file in place (CREATE_ALWAYS keeps a file's identity), so its text stays readable
// under the second name after the script has deleted itself.
std::string CleanupScriptPath();
void WitnessCleanupScript();
std::string WitnessedCleanupScript();
// Waits until the clean-up script has deleted itself; false after `ms`.
bool WaitForCleanupScript(DWORD ms);

}  // namespace setup_tests
