// JSON text for the --json output (see json.h).
#include "json.h"

#include <windows.h>

namespace lanportctl {

namespace {

bool isHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isLowSurrogate(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

std::wstring unicodeEscape(wchar_t c)
{
    WCHAR text[8];
    wsprintfW(text, L"\\u%04x", static_cast<unsigned>(c));
    return text;
}

}  // namespace

void JsonWriter::separate()
{
    if (afterValue_) text_ += L',';
    afterValue_ = true;
}

void JsonWriter::open(wchar_t bracket)
{
    separate();
    text_ += bracket;
    afterValue_ = false;
}

void JsonWriter::close(wchar_t bracket)
{
    text_ += bracket;
    afterValue_ = true;
}

void JsonWriter::key(std::wstring_view name)
{
    separate();
    quoted(name);
    text_ += L':';
    afterValue_ = false;
}

void JsonWriter::string(std::wstring_view text)
{
    separate();
    quoted(text);
}

void JsonWriter::number(long long value)
{
    separate();
    text_ += std::to_wstring(value);
}

void JsonWriter::boolean(bool value)
{
    separate();
    text_ += value ? L"true" : L"false";
}

void JsonWriter::null()
{
    separate();
    text_ += L"null";
}

void JsonWriter::quoted(std::wstring_view text)
{
    text_ += L'"';
    for (size_t i = 0; i < text.size(); ++i) {
        wchar_t c = text[i];
        switch (c) {
        case L'"': text_ += L"\\\""; continue;
        case L'\\': text_ += L"\\\\"; continue;
        case L'\b': text_ += L"\\b"; continue;
        case L'\f': text_ += L"\\f"; continue;
        case L'\n': text_ += L"\\n"; continue;
        case L'\r': text_ += L"\\r"; continue;
        case L'\t': text_ += L"\\t"; continue;
        default: break;
        }
        if (c < 0x20) {
            text_ += unicodeEscape(c);
        } else if (isHighSurrogate(c) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
            text_ += c;
            text_ += text[++i];
        } else if (isHighSurrogate(c) || isLowSurrogate(c)) {
            text_ += unicodeEscape(c);
        } else {
            text_ += c;
        }
    }
    text_ += L'"';
}

}  // namespace lanportctl
