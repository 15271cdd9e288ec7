// The clean-up script: removes the staging directory once the installer has ended. The
// running program's own file cannot go while it runs, so the script keeps deleting until
// it has gone, then removes the directory and itself. A directory that is some process's
// current directory cannot be removed, and the installer was started in the staging
// directory: the installer leaves it, and the script runs in the temporary directory.
#include "setup.h"

#include <shellapi.h>

namespace {

bool stagingKept;

}  // namespace

void KeepStagingDirectory()
{
    stagingKept = true;
}

void WriteCleanupScript()
{
    if (stagingKept) return;
    char tempDir[MAX_PATH];
    DWORD length = GetTempPathA(MAX_PATH, tempDir);
    if (length == 0 || length >= MAX_PATH) return;
    char script[MAX_PATH + sizeof(kCleanupScriptName)];
    lstrcpyA(script, tempDir);
    lstrcatA(script, kCleanupScriptName);

    HANDLE file = CreateFileA(script, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    // wsprintfA writes at most 1024 characters; the paths here are all short of MAX_PATH.
    char text[1025];
    int size = wsprintfA(text,
                         ":Repeat\r\n"
                         "del /Q /F \"%s\"\r\n"
                         "if exist \"%s\" goto Repeat\r\n"
                         "rmdir \"%s\"\r\n"
                         "del \"%s\"",
                         "c:\\temp\\pmon\\*.*", "c:\\temp\\pmon\\setup.exe", kStagingDir, script);
    DWORD written = 0;
    WriteFile(file, text, static_cast<DWORD>(size), &written, nullptr);
    CloseHandle(file);
    SetCurrentDirectoryA(tempDir);
    ShellExecuteA(nullptr, "open", script, nullptr, tempDir, SW_HIDE);
}
