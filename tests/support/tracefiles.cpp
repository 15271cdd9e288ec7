#include "tracefiles.h"

#include <cstdio>
#include <regex>

#include "trace.h"

namespace testing_support {

namespace {

// " 1234 14:03:07.045 " then the indentation blanks and the message.
const std::regex& lineShape()
{
    static const std::regex shape(R"(^( *[0-9]+) (\d\d:\d\d:\d\d)\.(\d{3}) ( *)(.*)$)");
    return shape;
}

}  // namespace

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

std::string MessageOf(const std::string& line)
{
    std::smatch match;
    if (!std::regex_match(line, match, lineShape())) return "<malformed: " + line + ">";
    return match[5];
}

int IndentOf(const std::string& line)
{
    std::smatch match;
    if (!std::regex_match(line, match, lineShape())) return -1;
    return static_cast<int>(match[4].length());
}

}  // namespace testing_support
