// The installer's surroundings in the test prefix.
#include "staging.h"

#include <gtest/gtest.h>

#include <winspool.h>

#include "names.h"
#include "setuppaths.h"

namespace setup_tests {

const std::vector<std::string> kPackageFiles = {"lanport.dll", "lanportui.dll", "lanportres.dll", "lanportctl.exe"};

namespace {

using lanport::kMonitorName;
const char kNetRecorderDir[] = "c:\\temp\\netlog";
const char kWitnessName[] = "_uninsep.seen";

std::string TempPath(const std::string& name)
{
    char dir[MAX_PATH] = "";
    GetTempPathA(MAX_PATH, dir);
    return dir + name;
}

}  // namespace

std::string StagingPath(const std::string& name)
{
    return name.empty() ? "c:\\temp\\pmon" : "c:\\temp\\pmon\\" + name;
}

std::string SystemPath(const std::string& name)
{
    char dir[MAX_PATH] = "";
    GetSystemDirectoryA(dir, MAX_PATH);
    return std::string(dir) + "\\" + name;
}

std::string PackagePath(const std::string& name)
{
    return std::string(SETUP_PACKAGE_DIR) + "\\" + name;
}

void StagePackage(const std::string& installerName)
{
    RemoveTree(StagingPath(""));
    CreateDirectoryA("c:\\temp", nullptr);
    ASSERT_TRUE(CreateDirectoryA(StagingPath("").c_str(), nullptr)) << GetLastError();
    ASSERT_TRUE(CopyFileA(PackagePath("Setup.exe").c_str(), StagingPath(installerName).c_str(), FALSE))
        << GetLastError();
    for (const std::string& name : kPackageFiles)
        ASSERT_TRUE(CopyFileA(PackagePath(name).c_str(), StagingPath(name).c_str(), FALSE)) << name;
    WriteWholeFile(StagingPath("shfolder.dll"), std::string(3000, 'S'));
}

std::string InstallerOutsideStaging()
{
    std::string path = "c:\\temp\\elsewhere\\Setup.exe";
    CreateDirectoryA("c:\\temp", nullptr);
    CreateDirectoryA("c:\\temp\\elsewhere", nullptr);
    EXPECT_TRUE(CopyFileA(PackagePath("Setup.exe").c_str(), path.c_str(), FALSE)) << GetLastError();
    return path;
}

bool FileExists(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string ReadWholeFile(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string content(GetFileSize(file, nullptr), '\0');
    DWORD read = 0;
    ReadFile(file, content.data(), static_cast<DWORD>(content.size()), &read, nullptr);
    CloseHandle(file);
    content.resize(read);
    return content;
}

void WriteWholeFile(const std::string& path, const std::string& content)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path << ": " << GetLastError();
    DWORD written = 0;
    WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(file);
    ASSERT_EQ(written, content.size()) << path;
}

DWORD FileKilobytes(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    EXPECT_TRUE(GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) << path;
    return data.nFileSizeLow >> 10;
}

void RemoveTree(const std::string& path)
{
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((path + "\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            std::string child = path + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(child.c_str());
            }
        } while (FindNextFileA(find, &found));
        FindClose(find);
    }
    RemoveDirectoryA(path.c_str());
}

void SetInstalledVersion(const char* version)
{
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kMonitorKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                   static_cast<DWORD>(strlen(version) + 1));
    RegCloseKey(key);
}

bool ReadInstalledVersion(std::string* version, DWORD* type, DWORD* size)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kMonitorKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    char buffer[64];
    memset(buffer, 0x5a, sizeof(buffer));
    *size = sizeof(buffer) - 1;
    LONG rc = RegQueryValueExA(key, "Version", nullptr, type, reinterpret_cast<BYTE*>(buffer), size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) return false;
    version->assign(buffer, *size);
    return true;
}

void RegisterMonitorBeforehand()
{
    for (const std::string& name : kPackageFiles)
        ASSERT_TRUE(CopyFileA(PackagePath(name).c_str(), SystemPath(name).c_str(), FALSE)) << name;
    // In a process of its own, so that this one does not hold the libraries the
    // installer is about to overwrite.
    std::string commandLine = "\"" + std::string(SETUP_ADDMONITOR_EXE) + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               &process))
        << GetLastError();
    WaitForSingleObject(process.hProcess, 30000);
    DWORD exitCode = STILL_ACTIVE;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    ASSERT_EQ(exitCode, 0u) << "registering the monitor";
}

std::wstring RegisteredMonitorDll()
{
    DWORD needed = 0, count = 0;
    EnumMonitorsW(nullptr, 2, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed);
    if (needed == 0 || !EnumMonitorsW(nullptr, 2, buffer.data(), needed, &needed, &count)) return {};
    auto* monitors = reinterpret_cast<MONITOR_INFO_2W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i)
        if (wcscmp(monitors[i].pName, kMonitorName) == 0) return monitors[i].pDLLName;
    return {};
}

std::vector<std::wstring> EnumeratedPortNames(bool* succeeded)
{
    DWORD needed = 0, count = 0;
    EnumPortsW(nullptr, 1, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed);
    *succeeded = needed != 0 && EnumPortsW(nullptr, 1, buffer.data(), needed, &needed, &count);
    std::vector<std::wstring> names;
    if (!*succeeded) return names;
    auto* ports = reinterpret_cast<PORT_INFO_1W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) names.push_back(ports[i].pName);
    return names;
}

void StartSpoolerService()
{
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    ASSERT_NE(manager, nullptr) << GetLastError();
    SC_HANDLE service = OpenServiceA(manager, "Spooler", SERVICE_START | SERVICE_QUERY_STATUS);
    ASSERT_NE(service, nullptr) << GetLastError();
    StartServiceA(service, 0, nullptr);
    SERVICE_STATUS status{};
    for (int i = 0; i < 100 && QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_RUNNING; ++i)
        Sleep(50);
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
}

DWORD SpoolerServiceProcessId()
{
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = manager ? OpenServiceA(manager, "Spooler", SERVICE_QUERY_STATUS) : nullptr;
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    bool queried = service && QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                                                   sizeof(status), &needed);
    if (service) CloseServiceHandle(service);
    if (manager) CloseServiceHandle(manager);
    return queried && status.dwCurrentState == SERVICE_RUNNING ? status.dwProcessId : 0;
}

std::string InstallNetRecorder()
{
    CreateDirectoryA("c:\\temp", nullptr);
    CreateDirectoryA(kNetRecorderDir, nullptr);
    std::string dir = kNetRecorderDir;
    DeleteFileA((dir + "\\commands.txt").c_str());
    WriteWholeFile(dir + "\\net.bat",
                   "@echo %*>>" + dir + "\\commands.txt\r\n"
                   "@" + SystemPath("net.exe") + " %*\r\n");
    return dir;
}

std::vector<std::string> RecordedNetCommands()
{
    std::string log = ReadWholeFile(std::string(kNetRecorderDir) + "\\commands.txt");
    std::vector<std::string> commands;
    size_t start = 0;
    while (start < log.size()) {
        size_t end = log.find("\r\n", start);
        if (end == std::string::npos) end = log.size();
        std::string line = log.substr(start, end - start);
        while (!line.empty() && line.back() == ' ') line.pop_back();
        if (!line.empty()) commands.push_back(line);
        start = end + 2;
    }
    return commands;
}

std::string CleanupScriptPath()
{
    return TempPath("_uninsep.bat");
}

void WitnessCleanupScript()
{
    DeleteFileA(TempPath(kWitnessName).c_str());
    WriteWholeFile(CleanupScriptPath(), "");
    ASSERT_TRUE(CreateHardLinkA(TempPath(kWitnessName).c_str(), CleanupScriptPath().c_str(), nullptr))
        << GetLastError();
}

std::string WitnessedCleanupScript()
{
    return ReadWholeFile(TempPath(kWitnessName));
}

bool WaitForCleanupScript(DWORD ms)
{
    DWORD start = GetTickCount();
    while (FileExists(CleanupScriptPath())) {
        if (GetTickCount() - start >= ms) return false;
        Sleep(20);
    }
    return true;
}

}  // namespace setup_tests
