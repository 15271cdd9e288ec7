#include "tracefiles.h"

#include <cstdio>

#include "trace.h"

namespace testing_support {

ScratchDirectory::ScratchDirectory()
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof(temp), temp);
    char current[MAX_PATH];
    GetCurrentDirectoryA(sizeof(current), current);
    previous_ = current;
    static unsigned counter = 0;
    for (;;) {
        char name[MAX_PATH];
        snprintf(name, sizeof(name), "%slanport-test-%lu-%u\\", temp, GetCurrentProcessId(),
                 ++counter);
        if (CreateDirectoryA(name, nullptr)) {
            path_ = name;
            break;
        }
    }
    SetCurrentDirectoryA(path_.c_str());
}

ScratchDirectory::~ScratchDirectory()
{
    ResetTrace();
    SetCurrentDirectoryA(previous_.c_str());
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path_ + "*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name != "." && name != "..") DeleteFileA((path_ + name).c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(path_.c_str());
}

void WriteFile(const std::string& name, const std::string& bytes)
{
    FILE* file = fopen(name.c_str(), "wb");
    if (!file) return;
    fwrite(bytes.data(), 1, bytes.size(), file);
    fclose(file);
}

bool FileExists(const std::string& name)
{
    return GetFileAttributesA(name.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ReadFile(const std::string& name)
{
    std::string bytes;
    FILE* file = fopen(name.c_str(), "rb");
    if (!file) return bytes;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof(buffer), file)) > 0) bytes.append(buffer, n);
    fclose(file);
    return bytes;
}

std::vector<std::string> ReadLines(const std::string& name)
{
    std::vector<std::string> lines;
    std::string bytes = ReadFile(name);
    size_t start = 0;
    for (size_t end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(bytes.substr(start, end - start));
    if (start < bytes.size()) lines.push_back(bytes.substr(start));
    return lines;
}

void ResetTrace()
{
    TraceStop();
    traceOn = 0;
    traceWrap = 1;
    traceSize = 1400000;
}

bool ParseTraceLine(const std::string& line, TraceLine* parsed)
{
    size_t at = line.find_first_not_of(' ');
    size_t digits = at == std::string::npos ? 0 : line.find_first_not_of("0123456789", at);
    if (at == std::string::npos || digits == std::string::npos || digits == at) return false;
    // " hh:mm:ss.mmm " after the thread's number: 9 for a digit.
    static constexpr char kTime[] = " 99:99:99.999 ";
    constexpr size_t kTimeLength = sizeof kTime - 1;
    if (line.size() < digits + kTimeLength) return false;
    for (size_t i = 0; i < kTimeLength; ++i) {
        char c = line[digits + i];
        if (kTime[i] == '9' ? (c < '0' || c > '9') : c != kTime[i]) return false;
    }
    size_t message = line.find_first_not_of(' ', digits + kTimeLength);
    if (message == std::string::npos) message = line.size();
    if (line.find_first_of("\r\n", message) != std::string::npos) return false;
    parsed->thread = line.substr(0, digits);
    parsed->indent = static_cast<int>(message - digits - kTimeLength);
    parsed->message = line.substr(message);
    return true;
}

std::string MessageOf(const std::string& line)
{
    TraceLine parsed;
    if (!ParseTraceLine(line, &parsed)) return "<malformed: " + line + ">";
    return parsed.message;
}

int IndentOf(const std::string& line)
{
    TraceLine parsed;
    return ParseTraceLine(line, &parsed) ? parsed.indent : -1;
}

}  // namespace testing_support
