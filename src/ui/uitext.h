// Texts of the string table and the message boxes built from them.
#pragma once

#include <windows.h>

namespace lanportui {

constexpr int kTextSlotChars = 257;

// Loads string `id` into text slot 1 (messages) or 2 (captions), cut to fit; an empty
// text when the table lacks it.
LPCWSTR LoadText(UINT id, int slot);

// Formats `text` with its %1!..! inserts and shows it.
int FormattedMessageBox(HWND hwnd, LPCWSTR text, LPCWSTR caption, UINT type, ...);

// The UI's error box: text `id`, caption 288, error icon.
int ErrorBox(HWND owner, UINT id);

}  // namespace lanportui
