// Reading the records that the spooler writes into a caller's buffer (EnumPortsW,
// EnumMonitorsA and the like): fixed records at the front, their texts behind them, each
// record pointing at its texts. A spooler whose list changes between its sizing pass and
// its filling pass hands back records that point elsewhere or nowhere, so a reader takes
// only what lies inside the buffer.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

// The number of records a reader may take: the count the spooler returned, but no more
// than fit the buffer.
template <class Record>
DWORD RecordsWithin(DWORD count, DWORD size)
{
    DWORD fit = size / static_cast<DWORD>(sizeof(Record));
    return count < fit ? count : fit;
}

// `text` when it starts inside [buffer, buffer + size) and its NUL lies inside too;
// nullptr otherwise (a null, stray or unterminated pointer).
template <class Char>
const Char* TextWithin(const Char* text, const void* buffer, DWORD size)
{
    auto begin = reinterpret_cast<uintptr_t>(buffer);
    auto at = reinterpret_cast<uintptr_t>(text);
    if (!text || at < begin || at - begin >= size) return nullptr;
    size_t room = (size - (at - begin)) / sizeof(Char);
    for (size_t i = 0; i < room; ++i)
        if (text[i] == Char()) return text;
    return nullptr;
}
