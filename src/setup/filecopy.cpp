// Copies the staging tree into the system directory, flattened, and shows the progress
// in kilobytes.
#include "filecopy.h"

#include <cstdlib>
#include <cstring>

#include "messages.h"
#include "progress.h"
#include "setup.h"
#include "setupres.h"

namespace {

// Staged files that stay where they are: the running installer, and a shell library
// the package carries for older systems. The names match exactly, case included.
constexpr const char* kNeverCopied[] = {
    "Setup.exe",
    "shfolder.dll",
};

std::string destinationDir;
DWORD totalKilobytes;

DWORD Kilobytes(const WIN32_FIND_DATAA& findData)
{
    return findData.nFileSizeLow >> 10;
}

bool NeverCopied(const char* name)
{
    for (const char* skipped : kNeverCopied)
        if (strcmp(name, skipped) == 0) return true;
    return false;
}

std::string JoinPath(const std::string& directory, const std::string& name)
{
    if (name.empty()) return directory;
    if (!directory.empty() && directory.back() == '\\') return directory + name;
    return directory + "\\" + name;
}

bool IsDirectory(const WIN32_FIND_DATAA& findData)
{
    return (findData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void ReportCopyError(const std::string& destination, DWORD error)
{
    Tell(Text(IDS_COPY_ERROR, {destination, std::to_string(error)}), kErrorCaption, MB_ICONERROR);
}

}  // namespace

int CopyOneFile(const WIN32_FIND_DATAA& findData, const std::string& sourcePath)
{
    std::string destination = destinationDir + "\\" + sourcePath.substr(sourcePath.find_last_of('\\') + 1);

    totalKilobytes += Kilobytes(findData);
    SetProgressPosition(totalKilobytes);

    if (GetFileAttributesA(destination.c_str()) != INVALID_FILE_ATTRIBUTES)
        SetFileAttributesA(destination.c_str(), FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_ARCHIVE);
    // A file that did not arrive stays staged for the next attempt.
    if (!CopyFileA(sourcePath.c_str(), destination.c_str(), FALSE)) return 1;
    DeleteFileA(sourcePath.c_str());
    return 0;
}

int CopyTree(const std::string& subPath, bool recurse, CopyPass copyPass)
{
    std::string current = JoinPath(kStagingDir, subPath);
    std::string pattern = JoinPath(current, "*.*");
    int failed = 0;

    WIN32_FIND_DATAA findData;
    HANDLE find = FindFirstFileA(pattern.c_str(), &findData);
    if (find == INVALID_HANDLE_VALUE) return 1;
    do {
        if (IsDirectory(findData)) continue;
        if (copyPass == CopyPass::Counting) {
            totalKilobytes += Kilobytes(findData);
            continue;
        }
        if (NeverCopied(findData.cFileName)) continue;
        if (CopyOneFile(findData, JoinPath(current, findData.cFileName))) {
            ReportCopyError(destinationDir + "\\" + findData.cFileName, GetLastError());
            failed = 1;
        }
    } while (FindNextFileA(find, &findData));
    FindClose(find);

    if (!recurse) return failed;
    find = FindFirstFileA(pattern.c_str(), &findData);
    if (find == INVALID_HANDLE_VALUE) return 1;
    do {
        if (!IsDirectory(findData) || findData.cFileName[0] == '.') continue;
        if (CopyTree(JoinPath(subPath, findData.cFileName), recurse, copyPass)) failed = 1;
    } while (FindNextFileA(find, &findData));
    FindClose(find);
    return failed;
}

bool StagingHoldsMonitor()
{
    DWORD attributes = GetFileAttributesA(JoinPath(kStagingDir, kMonitorDll).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool UpdateFiles()
{
    ShowStep(InstallStep::CheckVersion);
    const char* windir = getenv("WINDIR");
    char windowsDir[MAX_PATH] = "";
    // Without the variable, the system's own Windows directory rather than a drive root.
    if (!windir) {
        GetWindowsDirectoryA(windowsDir, MAX_PATH);
        windir = windowsDir;
    }
    destinationDir = std::string(windir) + "\\system32";

    ShowStep(InstallStep::UpdateFiles);
    totalKilobytes = 0;
    CopyTree("", true, CopyPass::Counting);
    SetProgressRange(totalKilobytes);

    totalKilobytes = 0;
    return CopyTree("", true, CopyPass::Copying) == 0;
}
