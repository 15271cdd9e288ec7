// A strict JSON reader for the tests of --json output: RFC 8259 and nothing more, so
// that output a lenient reader would take is still refused.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace testing_support {

struct JsonValue {
    enum class Kind { Null, Boolean, Number, String, Array, Object };
    Kind kind = Kind::Null;
    bool boolean = false;
    std::string text;  // a number as written, or a string's value in UTF-8
    std::vector<JsonValue> items;
    std::vector<std::pair<std::string, JsonValue>> members;  // in the order written

    // The member named `key`; NULL when there is none or this is no object.
    const JsonValue* member(const std::string& key) const;
    std::vector<std::string> keys() const;
};

// One value with nothing but white space around it. Refused: anything outside the
// grammar, invalid UTF-8 (raw surrogates included), control characters in strings,
// duplicate keys.
// `error` tells what and where.
bool ParseJson(std::string_view text, JsonValue* value, std::string* error);

}  // namespace testing_support
