// Texts of the string table and the message boxes built from them.
#include "uitext.h"

#include <cstdarg>

#include "uimodule.h"
#include "uires.h"

namespace lanportui {

namespace {

// One slot for a message and one for a caption, so that one box can show both.
WCHAR textSlots[2][kTextSlotChars];

}  // namespace

LPCWSTR LoadText(UINT id, int slot)
{
    LPWSTR text = textSlots[slot == 2 ? 1 : 0];
    if (LoadStringW(hInstLang, id, text, kTextSlotChars) <= 0) text[0] = L'\0';
    return text;
}

int FormattedMessageBox(HWND hwnd, LPCWSTR text, LPCWSTR caption, UINT type, ...)
{
    WCHAR message[kTextSlotChars] = L"";
    va_list inserts;
    va_start(inserts, type);
    if (!FormatMessageW(FORMAT_MESSAGE_FROM_STRING, text, 0, 0, message, kTextSlotChars, &inserts))
        message[0] = L'\0';
    va_end(inserts);
    return MessageBoxW(hwnd, message, caption, type);
}

int ErrorBox(HWND owner, UINT id)
{
    return MessageBoxW(owner, LoadText(id, 1), LoadText(IDS_ERROR_CAPTION, 2), MB_ICONERROR);
}

}  // namespace lanportui
