// Diagnostic trace log shared by the monitor and the UI library.
//
// The same source is compiled once per library with TRACE_NAME set to that library's
// trace name ("lanportm", "lanportu"); every trace format begins with TRACE_PREFIX.
#pragma once

#include <windows.h>

#include <atomic>

#ifndef TRACE_NAME
#error "TRACE_NAME must name the library's trace (lanportm or lanportu)"
#endif
#define TRACE_PREFIX TRACE_NAME ": "

constexpr DWORD TRC_DETAIL = 0x0001;
constexpr DWORD TRC_SEVERE = 0x0002;
constexpr DWORD TRC_ERROR = 0x0004;
constexpr DWORD TRC_FLOW = 0x0008;
constexpr DWORD TRC_ASSERT = 0x0200;

constexpr size_t kTraceMessageSize = 512;   // formatted message buffer
constexpr size_t kTraceFileNameSize = 256;  // directory plus file name
constexpr size_t kTraceConfigBytes = 2000;  // bytes of the configuration file read

// Trace state; one set per library.
extern std::atomic<DWORD> traceOn;
extern DWORD traceLevel;
extern std::atomic<DWORD> traceWrap;
extern std::atomic<LONG> traceSize;

// A trace format, checked when it is compiled: the writer skips as many characters as
// the prefix has without looking at them, so a format without the prefix would make it
// read past the end of a short format.
class TraceFormat {
public:
    consteval TraceFormat(const char* format) : text_(format)
    {
        for (const char* expected = TRACE_PREFIX; *expected; ++expected, ++format)
            if (*format != *expected) throw "a trace format must begin with the library's trace prefix";
    }
    constexpr operator const char*() const { return text_; }

private:
    const char* text_;
};

// The trace statement: with tracing off it costs one flag test and evaluates nothing else.
#define TRACE(level, format, ...)                                               \
    do {                                                                        \
        static_cast<void>(TraceFormat{format});                                 \
        if (traceOn.load(std::memory_order_relaxed)) {                          \
            if (traceLevel & (level)) TraceWrite(format __VA_OPT__(, ) __VA_ARGS__); \
            if (traceLevel & ((level) * 0x10000)) TraceHook();                  \
        }                                                                       \
    } while (0)

#define DbgAssert(expr)                                                         \
    do {                                                                        \
        if (!(expr))                                                            \
            TRACE(TRC_ASSERT, TRACE_PREFIX "DbgAssert Failed: %s\nLine %d, %s\n", \
                  #expr, __LINE__, __FILE__);                                   \
    } while (0)

// Applies the configuration file to the items given; absent keys leave items unchanged.
// `dir` holds kTraceFileNameSize bytes.
void ReadTraceConfig(const char* fileName, DWORD* on, DWORD* wrap, LONG* size, char* dir);

// Reads the configuration and, with tracing on, rotates the previous log to ".bak" and
// creates a new log. FALSE when the log cannot be created (the library must not load).
BOOL TraceStart();

// Flushes and closes the log; no line is written after it.
void TraceStop();

void TraceWrite(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));

void TraceHook();

// The trace directory currently in force (ends with a backslash).
const char* TraceDirectory();

// Name of the configuration file ("<trace name>.cfg").
const char* TraceConfigName();
