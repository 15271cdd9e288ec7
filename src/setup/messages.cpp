// The installer's message boxes.
#include "messages.h"

#include "setup.h"

namespace {

bool quietRun;

}  // namespace

void SetQuiet(bool quiet)
{
    quietRun = quiet;
}

bool IsQuiet()
{
    return quietRun;
}

std::string Text(UINT id, std::initializer_list<std::string> values)
{
    // With no buffer, LoadStringW hands out the resource's own text, not terminated.
    const wchar_t* resource = nullptr;
    int length = LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&resource), 0);
    if (length <= 0 || !resource) return {};
    int size = WideCharToMultiByte(CP_ACP, 0, resource, length, nullptr, 0, nullptr, nullptr);
    std::string format(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, resource, length, format.data(), size, nullptr, nullptr);

    std::string text;
    for (size_t i = 0; i < format.size(); ++i) {
        size_t index = i + 1 < format.size() ? static_cast<size_t>(format[i + 1] - '1') : values.size();
        if (format[i] == '%' && index < values.size()) {
            text += values.begin()[index];
            ++i;
        } else {
            text += format[i];
        }
    }
    return text;
}

std::string Narrow(const wchar_t* text)
{
    int size = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return {};
    std::string narrow(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, -1, narrow.data(), size, nullptr, nullptr);
    narrow.resize(static_cast<size_t>(size - 1));
    return narrow;
}

void Tell(const std::string& text, const char* caption, UINT style)
{
    if (!quietRun) MessageBoxA(nullptr, text.c_str(), caption, style);
}

bool Ask(const std::string& text, UINT icon, bool quietAnswer)
{
    if (quietRun) return quietAnswer;
    return MessageBoxA(nullptr, text.c_str(), kMessageCaption, MB_YESNO | icon) == IDYES;
}
