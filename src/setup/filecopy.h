// The walk over the staging tree that counts and copies its files.
#pragma once

#include <windows.h>

#include <string>

enum class CopyPass { Counting, Copying };

// Walks the staging directory joined with `subPath` ("" for the staging directory
// itself): counts or copies its files, then, with `recurse`, its subdirectories.
// Non-zero when a file of the tree could not be copied or a directory not be read.
int CopyTree(const std::string& subPath, bool recurse, CopyPass copyPass);

// Copies one staged file into the destination directory, overwriting a read-only file
// there, and deletes the staged file once it is copied. Non-zero when the copy failed
// (the thread's last error then tells why).
int CopyOneFile(const WIN32_FIND_DATAA& findData, const std::string& sourcePath);

// Whether the staging directory holds the monitor's library: without it there is no
// package to install.
bool StagingHoldsMonitor();

// The two-step progress display and the copy of the staging tree: true when every file
// was copied.
bool UpdateFiles();
