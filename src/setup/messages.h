// The installer's message boxes: texts from its string table, and none at all when it
// runs quietly.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>

// From now on no box is shown: questions take their quiet answer.
void SetQuiet(bool quiet);
bool IsQuiet();

// The string-table text `id` with %1, %2 ... replaced by `values` in order.
std::string Text(UINT id, std::initializer_list<std::string> values = {});

// `text` in the system's code page.
std::string Narrow(const wchar_t* text);

// A box without owner that only tells (`style` gives its icon); nothing when quiet.
void Tell(const std::string& text, const char* caption, UINT style);

// A Yes/No question without owner: whether the answer was Yes; `quietAnswer` when quiet.
bool Ask(const std::string& text, UINT icon, bool quietAnswer);
