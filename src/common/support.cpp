// Traced allocator, text conversion, address classification and the exception report.
#include "support.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string_view>

#include "seams.h"
#include "trace.h"

LPVOID AllocSplMem(DWORD size)
{
    if (DWORD error = InjectedFault(FaultPoint::AllocSplMem)) {
        SetLastError(error);
        return nullptr;
    }
    void* block = GlobalAlloc(GMEM_FIXED, size);
    if (!block) return nullptr;
    memset(block, 0, size);
    TRACE(TRC_DETAIL, TRACE_PREFIX "alloc %d at %08x\n", static_cast<int>(size), TraceAddr(block));
    return block;
}

void FreeSplMem(LPVOID block)
{
    TRACE(TRC_DETAIL, TRACE_PREFIX "free %08x\n", TraceAddr(block));
    GlobalFree(block);
}

LPWSTR AllocSplStr(LPCWSTR text)
{
    if (!text) return nullptr;
    size_t bytes = (wcslen(text) + 1) * sizeof(WCHAR);
    auto* copy = static_cast<LPWSTR>(AllocSplMem(static_cast<DWORD>(bytes)));
    if (copy) memcpy(copy, text, bytes);
    return copy;
}

LPSTR WideToMulti(LPCWSTR text)
{
    if (!text || !*text) return nullptr;
    // Converts up to the room given, so texts in a double-byte code page are not cut.
    size_t room = (wcslen(text) + 1) * MB_CUR_MAX;
    auto* narrow = static_cast<LPSTR>(AllocSplMem(static_cast<DWORD>(room)));
    if (!narrow) return nullptr;
    // A text the code page cannot hold is no text at all: an empty one would mean
    // something else (the empty host name is this machine).
    if (wcstombs(narrow, text, room - 1) == static_cast<size_t>(-1)) {
        FreeSplMem(narrow);
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return nullptr;
    }
    return narrow;
}

LPSTR WideToMultiReplacing(LPCWSTR text, char replacement)
{
    if (!text || !*text) return nullptr;
    size_t room = (wcslen(text) + 1) * MB_CUR_MAX;
    auto* narrow = static_cast<LPSTR>(AllocSplMem(static_cast<DWORD>(room)));
    if (!narrow) return nullptr;
    char* out = narrow;
    for (LPCWSTR c = text; *c; ++c) {
        int bytes = wctomb(out, *c);
        if (bytes <= 0) *out++ = replacement;
        else out += bytes;
    }
    return narrow;
}

LPWSTR MultiToWide(LPCSTR text)
{
    if (!text || !*text) return nullptr;
    size_t length = strlen(text);
    auto* wide = static_cast<LPWSTR>(AllocSplMem(static_cast<DWORD>(2 * length + 2)));
    if (!wide) return nullptr;
    size_t written = mbstowcs(wide, text, length);
    if (written == static_cast<size_t>(-1)) wide[0] = L'\0';
    return wide;
}

BOOL IsAllDigits(LPCWSTR text)
{
    for (; *text; ++text)
        if (*text < L'0' || *text > L'9') return FALSE;
    return TRUE;
}

namespace {

bool allDigits(std::wstring_view part)
{
    for (wchar_t c : part)
        if (c < L'0' || c > L'9') return false;
    return true;
}

}  // namespace

WORD IPAddrFormat(LPCWSTR text)
{
    TRACE(TRC_FLOW, TRACE_PREFIX "Entry IPAddrFormat\n");
    WORD result = kAddrInvalid;
    std::wstring_view rest = text;
    if (rest.find(L'.') == std::wstring_view::npos) {
        result = kAddrHostName;
    } else {
        // Parts between dots; runs of dots and dots at either end make no empty parts.
        int parts = 0;
        while (!rest.empty()) {
            size_t dot = rest.find(L'.');
            std::wstring_view part = rest.substr(0, dot);
            rest.remove_prefix(dot == std::wstring_view::npos ? rest.size() : dot + 1);
            if (part.empty()) continue;
            if (++parts > 4 || part.size() > 3 || !allDigits(part)) {
                result = kAddrDottedName;
                break;
            }
            unsigned value = 0;
            for (wchar_t c : part) value = value * 10 + (c - L'0');
            if (value > 255) {
                result = kAddrInvalid;
                break;
            }
            result = kAddrDotted;
        }
        if (result == kAddrDotted && parts < 4) result = kAddrInvalid;
    }
    TRACE(TRC_FLOW, TRACE_PREFIX "Exit IPAddrFormat\n");
    return result;
}

bool ParseDottedDecimal(LPCWSTR text, DWORD* address)
{
    if (!text) return false;
    BYTE octets[4];
    LPCWSTR c = text;
    for (int i = 0; i < 4; ++i) {
        if (i > 0 && *c++ != L'.') return false;
        unsigned value = 0;
        int digits = 0;
        for (; *c >= L'0' && *c <= L'9'; ++c) {
            if (++digits > 3) return false;
            value = value * 10 + static_cast<unsigned>(*c - L'0');
        }
        if (digits == 0 || value > 255) return false;
        octets[i] = static_cast<BYTE>(value);
    }
    if (*c) return false;
    memcpy(address, octets, sizeof octets);  // network byte order: first octet first
    return true;
}

namespace {

// One UTF-16 unit in upper case, as the registry folds key names: unit by unit, the
// same for every locale.
WCHAR foldedUnit(WCHAR c)
{
    if (c < 0x80) return c >= L'a' && c <= L'z' ? static_cast<WCHAR>(c - (L'a' - L'A')) : c;
    WCHAR upper = c;
    return LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, &c, 1, &upper, 1) == 1 ? upper : c;
}

}  // namespace

bool PortNamesEqual(LPCWSTR a, LPCWSTR b)
{
    if (!a || !b) return false;
    for (;; ++a, ++b) {
        if (*a != *b && foldedUnit(*a) != foldedUnit(*b)) return false;
        if (!*a) return true;
    }
}

LONG ReportException(const char* name, BOOL handleAccessViolation, EXCEPTION_POINTERS* pointers,
                     DWORD code)
{
    TRACE(TRC_ERROR, TRACE_PREFIX "%s: ERROR: Exception occurred, information follows:\n", name);
    if (pointers && pointers->ExceptionRecord) {
        // A corrupt chain could loop; a real one is never this long.
        constexpr int kMaxRecords = 16;
        int number = 1;
        for (const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
             record && number <= kMaxRecords; record = record->ExceptionRecord, ++number) {
            TRACE(TRC_ERROR, TRACE_PREFIX "%s:        Exception record #%d:\n", name, number);
            TRACE(TRC_ERROR, TRACE_PREFIX "%s:          Exception code = %08x\n", name,
                  static_cast<unsigned>(record->ExceptionCode));
            TRACE(TRC_ERROR, TRACE_PREFIX "%s:          Exception flags = %d\n", name,
                  static_cast<int>(record->ExceptionFlags));
            TRACE(TRC_ERROR, TRACE_PREFIX "%s:          Exception address = %08x\n", name,
                  TraceAddr(record->ExceptionAddress));
            DWORD count = record->NumberParameters;
            if (count > EXCEPTION_MAXIMUM_PARAMETERS) count = EXCEPTION_MAXIMUM_PARAMETERS;
            for (DWORD i = 0; i < count; ++i)
                TRACE(TRC_ERROR, TRACE_PREFIX "%s:          Exception parameter #%d = %d\n", name,
                      static_cast<int>(i), static_cast<int>(record->ExceptionInformation[i]));
        }
    } else {
        TRACE(TRC_ERROR, TRACE_PREFIX "%s:        Exception code = %08x\n", name,
              static_cast<unsigned>(code));
        TRACE(TRC_ERROR, TRACE_PREFIX "%s:        No other exception information available\n",
              name);
    }
    return handleAccessViolation && code == EXCEPTION_ACCESS_VIOLATION ? EXCEPTION_EXECUTE_HANDLER
                                                                       : EXCEPTION_CONTINUE_SEARCH;
}
