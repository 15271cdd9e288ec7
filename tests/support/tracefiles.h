// Test helpers for the trace log: a private working directory per test, the
// configuration file, and the log files' lines.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testing_support {

// Creates a new empty directory under the temporary directory and makes it current;
// the previous current directory is restored on destruction.
class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;
    const std::string& path() const { return path_; }  // ends with a backslash

private:
    std::string path_;
    std::string previous_;
};

void WriteFile(const std::string& name, const std::string& bytes);
bool FileExists(const std::string& name);
std::string ReadFile(const std::string& name);  // the raw bytes, empty when absent
std::vector<std::string> ReadLines(const std::string& name);  // split at CR LF

// Closes the log and puts the trace state back to its initial values.
void ResetTrace();

// A log line taken apart: " 1234 14:03:07.045 ", the indentation blanks, the message.
struct TraceLine {
    std::string thread;  // the thread's number with its padding blanks
    int indent = 0;
    std::string message;
};
// False when the line has another shape.
bool ParseTraceLine(const std::string& line, TraceLine* parsed);

// The message part of a log line (after the time stamp and the indentation blanks),
// and the number of indentation blanks.
std::string MessageOf(const std::string& line);
int IndentOf(const std::string& line);

}  // namespace testing_support
