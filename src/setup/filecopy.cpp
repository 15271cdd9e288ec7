// Copies the staging tree into the system directory, flattened, and shows the progress
// in kilobytes.
#include "filecopy.h"

#include <cstdlib>
#include <cstring>

#include "progress.h"
#include "setup.h"

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
    std::string text = "There was an error while copying: " + destination + "\n Error: " +
                       std::to_string(error) + " !";
    MessageBoxA(nullptr, text.c_str(), kErrorCaption, MB_ICONERROR);
}

}  // namespace

int CopyOneFile(const WIN32_FIND_DATAA& findData, const std::string& sourcePath)
{
    std::string destination = destinationDir + "\\" + sourcePath.substr(sourcePath.find_last_of('\\') + 1);

    totalKilobytes += Kilobytes(findData);
    SetProgressPosition(totalKilobytes);

    if (GetFileAttributesA(destination.c_str()) != INVALID_FILE_ATTRIBUTES)
        SetFileAttributesA(destination.c_str(), FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_ARCHIVE);
    BOOL copied = CopyFileA(sourcePath.c_str(), destination.c_str(), FALSE);
    DWORD error = GetLastError();
    DeleteFileA(sourcePath.c_str());
    SetLastError(error);
    return copied ? 0 : 1;
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

void UpdateFiles()
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
    CopyTree("", true, CopyPass::Copying);
}
