// A strict JSON reader for the tests (see jsonvalue.h).
#include "jsonvalue.h"

namespace testing_support {

namespace {

class Reader {
public:
    explicit Reader(std::string_view text) : text_(text) {}

    bool document(JsonValue* value)
    {
        space();
        if (!this->value(value, 0)) return false;
        space();
        return at_ == text_.size() || fail("text after the value");
    }

    std::string error;

private:
    // Deeper nesting than any output of the tool has.
    static constexpr int kMaxDepth = 32;

    bool fail(const std::string& what)
    {
        if (error.empty()) error = what + " at byte " + std::to_string(at_);
        return false;
    }
    bool more() const { return at_ < text_.size(); }
    char peek() const { return more() ? text_[at_] : '\0'; }
    void space()
    {
        while (more() && (peek() == ' ' || peek() == '\t' || peek() == '\n' || peek() == '\r')) ++at_;
    }
    bool literal(std::string_view word)
    {
        if (text_.substr(at_, word.size()) != word) return fail("unknown word");
        at_ += word.size();
        return true;
    }

    bool value(JsonValue* value, int depth)
    {
        if (depth > kMaxDepth) return fail("nesting too deep");
        switch (peek()) {
        case '{': return object(value, depth);
        case '[': return array(value, depth);
        case '"': value->kind = JsonValue::Kind::String; return string(&value->text);
        case 't': value->kind = JsonValue::Kind::Boolean; value->boolean = true; return literal("true");
        case 'f': value->kind = JsonValue::Kind::Boolean; return literal("false");
        case 'n': value->kind = JsonValue::Kind::Null; return literal("null");
        default: value->kind = JsonValue::Kind::Number; return number(&value->text);
        }
    }

    bool object(JsonValue* value, int depth)
    {
        value->kind = JsonValue::Kind::Object;
        ++at_;
        space();
        if (peek() == '}') return ++at_, true;
        for (;;) {
            std::string key;
            if (peek() != '"') return fail("a key expected");
            if (!string(&key)) return false;
            if (value->member(key)) return fail("duplicate key " + key);
            space();
            if (peek() != ':') return fail("':' expected");
            ++at_;
            space();
            JsonValue member;
            if (!this->value(&member, depth + 1)) return false;
            value->members.emplace_back(key, std::move(member));
            space();
            if (peek() == '}') return ++at_, true;
            if (peek() != ',') return fail("',' or '}' expected");
            ++at_;
            space();
        }
    }

    bool array(JsonValue* value, int depth)
    {
        value->kind = JsonValue::Kind::Array;
        ++at_;
        space();
        if (peek() == ']') return ++at_, true;
        for (;;) {
            JsonValue item;
            if (!this->value(&item, depth + 1)) return false;
            value->items.push_back(std::move(item));
            space();
            if (peek() == ']') return ++at_, true;
            if (peek() != ',') return fail("',' or ']' expected");
            ++at_;
            space();
        }
    }

    bool digits(std::string* out)
    {
        size_t start = at_;
        while (more() && peek() >= '0' && peek() <= '9') out->push_back(text_[at_++]);
        return at_ > start || fail("digit expected");
    }

    bool number(std::string* out)
    {
        if (peek() == '-') out->push_back(text_[at_++]);
        if (peek() == '0') {
            out->push_back(text_[at_++]);
        } else if (peek() < '1' || peek() > '9') {
            return fail("a value expected");
        } else if (!digits(out)) {
            return false;
        }
        if (peek() == '.') {
            out->push_back(text_[at_++]);
            if (!digits(out)) return false;
        }
        if (peek() == 'e' || peek() == 'E') {
            out->push_back(text_[at_++]);
            if (peek() == '+' || peek() == '-') out->push_back(text_[at_++]);
            if (!digits(out)) return false;
        }
        return true;
    }

    bool hex4(unsigned* code)
    {
        *code = 0;
        for (int i = 0; i < 4; ++i, ++at_) {
            char c = peek();
            unsigned digit = c >= '0' && c <= '9'   ? c - '0'
                             : c >= 'a' && c <= 'f' ? c - 'a' + 10
                             : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                    : 16;
            if (digit == 16) return fail("four hex digits expected");
            *code = *code * 16 + digit;
        }
        return true;
    }

    static void utf8(unsigned code, std::string* out)
    {
        if (code < 0x80) {
            out->push_back(static_cast<char>(code));
        } else if (code < 0x800) {
            out->push_back(static_cast<char>(0xC0 | code >> 6));
            out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else if (code < 0x10000) {
            out->push_back(static_cast<char>(0xE0 | code >> 12));
            out->push_back(static_cast<char>(0x80 | (code >> 6 & 0x3F)));
            out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else {
            out->push_back(static_cast<char>(0xF0 | code >> 18));
            out->push_back(static_cast<char>(0x80 | (code >> 12 & 0x3F)));
            out->push_back(static_cast<char>(0x80 | (code >> 6 & 0x3F)));
            out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
        }
    }

    bool escape(std::string* out)
    {
        char c = peek();
        ++at_;
        switch (c) {
        case '"': case '\\': case '/': out->push_back(c); return true;
        case 'b': out->push_back('\b'); return true;
        case 'f': out->push_back('\f'); return true;
        case 'n': out->push_back('\n'); return true;
        case 'r': out->push_back('\r'); return true;
        case 't': out->push_back('\t'); return true;
        case 'u': break;
        default: return fail("unknown escape");
        }
        unsigned code;
        if (!hex4(&code)) return false;
        // A pair of escapes is one character. The grammar allows a lone surrogate's
        // escape; it is kept as the three bytes UTF-8 would give it.
        if (code >= 0xD800 && code <= 0xDBFF && text_.substr(at_, 2) == "\\u") {
            size_t mark = at_;
            unsigned low;
            at_ += 2;
            if (!hex4(&low)) return false;
            if (low >= 0xDC00 && low <= 0xDFFF)
                code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
            else
                at_ = mark;
        }
        utf8(code, out);
        return true;
    }

    // One UTF-8 sequence, checked for overlong forms, surrogates and the Unicode range.
    bool sequence(std::string* out)
    {
        auto byte = [this](size_t i) { return static_cast<unsigned char>(text_[at_ + i]); };
        unsigned lead = byte(0);
        unsigned length = lead < 0x80                  ? 1
                          : lead >= 0xC2 && lead < 0xE0 ? 2
                          : lead >= 0xE0 && lead < 0xF0 ? 3
                          : lead >= 0xF0 && lead < 0xF5 ? 4
                                                        : 0;
        if (!length || at_ + length > text_.size()) return fail("invalid UTF-8");
        unsigned code = length == 1 ? lead : lead & (0x7F >> length);
        for (unsigned i = 1; i < length; ++i) {
            if ((byte(i) & 0xC0) != 0x80) return fail("invalid UTF-8");
            code = code << 6 | (byte(i) & 0x3F);
        }
        static constexpr unsigned kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < kLeast[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return fail("invalid UTF-8");
        out->append(text_.substr(at_, length));
        at_ += length;
        return true;
    }

    bool string(std::string* out)
    {
        ++at_;
        for (;;) {
            if (!more()) return fail("unterminated string");
            unsigned char c = static_cast<unsigned char>(peek());
            if (c == '"') return ++at_, true;
            if (c < 0x20) return fail("control character in a string");
            if (c == '\\') {
                ++at_;
                if (!escape(out)) return false;
            } else if (!sequence(out)) {
                return false;
            }
        }
    }

    std::string_view text_;
    size_t at_ = 0;
};

}  // namespace

const JsonValue* JsonValue::member(const std::string& key) const
{
    for (const auto& [name, value] : members)
        if (name == key) return &value;
    return nullptr;
}

std::vector<std::string> JsonValue::keys() const
{
    std::vector<std::string> names;
    for (const auto& member : members) names.push_back(member.first);
    return names;
}

bool ParseJson(std::string_view text, JsonValue* value, std::string* error)
{
    Reader reader(text);
    *value = JsonValue();
    bool ok = reader.document(value);
    *error = reader.error;
    return ok;
}

}  // namespace testing_support
