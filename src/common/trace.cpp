// Trace log: configuration file, log rotation and the line writer.
#include "trace.h"

#include <sys/timeb.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string_view>
#include <unordered_map>

std::atomic<DWORD> traceOn{0};
DWORD traceLevel = 0x0000FFFF;
std::atomic<DWORD> traceWrap{1};
std::atomic<LONG> traceSize{1400000};

namespace {

constexpr char kTraceName[] = TRACE_NAME;
constexpr char kConfigName[] = TRACE_NAME ".cfg";
constexpr size_t kPrefixLength = sizeof(TRACE_PREFIX) - 1;

// One lock serialises the rotation check, the rotation and the write of a line, so no
// thread ever writes through a stream another thread has just closed. It is recursive:
// an exception report raised while a line is being written must not deadlock.
struct TraceLock {
    CRITICAL_SECTION cs;
    TraceLock() { InitializeCriticalSection(&cs); }
    ~TraceLock() { DeleteCriticalSection(&cs); }
};

TraceLock& lock()
{
    static TraceLock instance;
    return instance;
}

class Locked {
public:
    Locked() { EnterCriticalSection(&lock().cs); }
    ~Locked() { LeaveCriticalSection(&lock().cs); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;
};

char traceDir[kTraceFileNameSize] = ".\\";
FILE* logFile = nullptr;

// Depth of each thread's Entry/Exit nesting. Threads at depth 0 have no entry, so the
// map holds only threads that are inside a traced operation.
std::unordered_map<DWORD, unsigned char>& depths()
{
    static std::unordered_map<DWORD, unsigned char> table;
    return table;
}

void copyText(char* dest, size_t destSize, const char* src)
{
    snprintf(dest, destSize, "%s", src);
}

void traceFileName(char* dest, const char* extension)
{
    snprintf(dest, kTraceFileNameSize, "%s%s%s", traceDir, kTraceName, extension);
}

// The value's leading decimal digits as a number (0 if none); large values saturate.
LONG leadingNumber(std::string_view text)
{
    LONGLONG value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') break;
        value = value * 10 + (c - '0');
        if (value > MAXLONG) return MAXLONG;
    }
    return static_cast<LONG>(value);
}

// Reads the configuration into the live trace state.
void applyConfig()
{
    DWORD on = traceOn, wrap = traceWrap;
    LONG size = traceSize;
    ReadTraceConfig(kConfigName, &on, &wrap, &size, traceDir);
    traceWrap = wrap;
    traceSize = size;
    traceOn = on;
}

// Moves the current log aside under `extension` and opens a new one.
bool startLog(const char* extension)
{
    char older[kTraceFileNameSize];
    char current[kTraceFileNameSize];
    traceFileName(older, extension);
    traceFileName(current, ".log");
    remove(older);
    rename(current, older);
    logFile = fopen(current, "w");
    return logFile != nullptr;
}

bool startsWith(std::string_view text, std::string_view head)
{
    return text.size() >= head.size() && _strnicmp(text.data(), head.data(), head.size()) == 0;
}

}  // namespace

void ReadTraceConfig(const char* fileName, DWORD* on, DWORD* wrap, LONG* size, char* dir)
{
    FILE* file = fopen(fileName, "rb");
    if (!file) return;
    char text[kTraceConfigBytes + 1];
    size_t length = fread(text, 1, kTraceConfigBytes, file);
    fclose(file);
    text[length] = '\0';

    // Tokens are runs of anything but the separators; a value token is consumed with its key.
    constexpr std::string_view kSeparators = " =\n\r";
    std::string_view rest(text, strlen(text));
    auto nextToken = [&]() -> std::string_view {
        size_t start = rest.find_first_not_of(kSeparators);
        if (start == std::string_view::npos) return {};
        rest.remove_prefix(start);
        size_t end = std::min(rest.find_first_of(kSeparators), rest.size());
        std::string_view token = rest.substr(0, end);
        rest.remove_prefix(end);
        return token;
    };
    for (std::string_view key = nextToken(); !key.empty(); key = nextToken()) {
        if (key.front() == '*') continue;
        if (key != "traceon" && key != "path" && key != "size" && key != "wrap") continue;
        std::string_view value = nextToken();
        if (value.empty()) break;
        if (key == "traceon") *on = value.front() == '1';
        else if (key == "wrap") *wrap = value.front() == '1';
        else if (key == "size") *size = leadingNumber(value);
        else snprintf(dir, kTraceFileNameSize, "%.*s", static_cast<int>(value.size()), value.data());
    }
}

BOOL TraceStart()
{
    Locked guard;
#ifdef TRACE_DEFAULT_SYSTEM_DIR
    // The UI library traces into the system directory and works from there.
    WCHAR systemDir[MAX_PATH + 1] = L"";
    GetSystemDirectoryW(systemDir, MAX_PATH);
    SetCurrentDirectoryW(systemDir);
    char narrow[kTraceFileNameSize] = "";
    WideCharToMultiByte(CP_ACP, 0, systemDir, -1, narrow, sizeof(narrow) - 2, nullptr, nullptr);
    snprintf(traceDir, sizeof(traceDir), "%s\\", narrow);
#else
    copyText(traceDir, sizeof(traceDir), ".\\");
#endif
    applyConfig();
    if (!traceOn) return TRUE;
    if (startLog(".bak")) return TRUE;
    traceOn = 0;
    return FALSE;
}

void TraceStop()
{
    Locked guard;
    traceOn = 0;
    if (logFile) {
        fflush(logFile);
        fclose(logFile);
        logFile = nullptr;
    }
}

void TraceHook() {}

const char* TraceDirectory()
{
    return traceDir;
}

const char* TraceConfigName()
{
    return kConfigName;
}

void TraceWrite(const char* format, ...)
{
    // Callers trace between a failed call and the look at its error code.
    struct KeepLastError {
        DWORD error = GetLastError();
        ~KeepLastError() { SetLastError(error); }
    } keep;

    // Formatting happens before the lock is taken: a bad argument faults here, not
    // while the log is held.
    char message[kTraceMessageSize];
    va_list args;
    va_start(args, format);
    int length = __mingw_vsnprintf(message, sizeof(message), format + kPrefixLength, args);
    va_end(args);
    if (length < 0) {
        message[0] = '\0';
    } else if (static_cast<size_t>(length) >= sizeof(message)) {
        // Cut, but keep the line end so the next line stays a line of its own.
        message[sizeof(message) - 2] = '\n';
    }

    DWORD thread = GetCurrentThreadId();
    Locked guard;
    if (!traceOn || !logFile) return;

    if (traceWrap && ftell(logFile) > traceSize) {
        fclose(logFile);
        logFile = nullptr;
        copyText(traceDir, sizeof(traceDir), ".\\");
        applyConfig();
        if (!traceOn) return;
        if (!startLog(".lg1")) {
            traceOn = 0;
            return;
        }
    }

    struct __timeb64 now;
    _ftime64(&now);
    const char* clock = _ctime64(&now.time);
    if (!clock) clock = "                        ";

    auto& table = depths();
    unsigned char depth = 0;
    if (auto found = table.find(thread); found != table.end()) depth = found->second;
    std::string_view text = message;
    if (startsWith(text, "exit") && depth > 0) --depth;

    fprintf(logFile, "%5d %.8s.%03hu %*s%s", static_cast<int>(thread), clock + 11, now.millitm,
            static_cast<int>(depth), "", message);
    fflush(logFile);

    if (startsWith(text, "exiting thread")) depth = 0;
    else if (startsWith(text, "entry") || startsWith(text, "enter")) ++depth;
    if (depth) table[thread] = depth;
    else table.erase(thread);
}
