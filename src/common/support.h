// Support helpers shared by the monitor and the UI library: the traced allocator, text
// conversion, printer-address classification and the exception report.
#pragma once

#include <windows.h>

#include <cstdint>

// Address format codes of IPAddrFormat; single bits, tested with masks.
constexpr WORD kAddrInvalid = 1;
constexpr WORD kAddrDotted = 2;
constexpr WORD kAddrHostName = 4;
constexpr WORD kAddrDottedName = 8;

// Addresses appear in the trace as 32-bit hex values ("%08x").
inline unsigned TraceAddr(const void* p)
{
    return static_cast<unsigned>(reinterpret_cast<uintptr_t>(p));
}

LPVOID AllocSplMem(DWORD size);
void FreeSplMem(LPVOID block);
LPWSTR AllocSplStr(LPCWSTR text);
// NULL for NULL or empty text, and when the text has a character the code page lacks
// (last error ERROR_NO_UNICODE_TRANSLATION).
LPSTR WideToMulti(LPCWSTR text);
// As WideToMulti, but a character the code page lacks becomes `replacement`.
LPSTR WideToMultiReplacing(LPCWSTR text, char replacement);
LPWSTR MultiToWide(LPCSTR text);
BOOL IsAllDigits(LPCWSTR text);
WORD IPAddrFormat(LPCWSTR text);
// Exactly four decimal octets 0-255 separated by dots (leading zeros are decimal, not
// octal); the address in network byte order.
bool ParseDottedDecimal(LPCWSTR text, DWORD* address);
// Equality of port names as the registry compares key names: ordinal, case folded for
// all of Unicode.
bool PortNamesEqual(LPCWSTR a, LPCWSTR b);

// Writes the exception report for the guard `name`; answers EXCEPTION_EXECUTE_HANDLER
// only for an access violation when handleAccessViolation is TRUE.
LONG ReportException(const char* name, BOOL handleAccessViolation, EXCEPTION_POINTERS* pointers,
                     DWORD code);
