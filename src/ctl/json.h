// JSON text for the --json output: one document built value by value, on one line.
#pragma once

#include <string>
#include <string_view>
#include <type_traits>

namespace lanportctl {

// Writes values in the order given; the caller keeps keys and values paired and every
// object and array closed. Strings are escaped as RFC 8259 requires; a lone surrogate,
// which UTF-8 cannot carry, goes out as its \u escape.
class JsonWriter {
public:
    void beginObject() { open(L'{'); }
    void endObject() { close(L'}'); }
    void beginArray() { open(L'['); }
    void endArray() { close(L']'); }
    void key(std::wstring_view name);
    void string(std::wstring_view text);
    void number(long long value);
    void boolean(bool value);
    void null();

    // A key and its value.
    template <class Value>
    void field(std::wstring_view name, const Value& value);

    const std::wstring& text() const { return text_; }

private:
    void separate();
    void open(wchar_t bracket);
    void close(wchar_t bracket);
    void quoted(std::wstring_view text);

    std::wstring text_;
    bool afterValue_ = false;
};

template <class Value>
void JsonWriter::field(std::wstring_view name, const Value& value)
{
    key(name);
    if constexpr (std::is_same_v<Value, bool>)
        boolean(value);
    else if constexpr (std::is_integral_v<Value>)
        number(static_cast<long long>(value));
    else
        string(value);
}

}  // namespace lanportctl
