#pragma once

#include <cstdint>
#include <string>

// Cuts the raw text of an object into tokens without building values: each
// token is a kind and a byte range of the text. Strings, names and comments
// are taken as wholes, so bytes inside them never pass for a reference, a
// key or a keyword. Borrows the text, which must outlive the lexer.
enum class ETextToken : uint8_t {
    Unsigned,    // digits only: an object number, a generation, a count
    Number,      // any other number (signed, real)
    Keyword,     // R, obj, stream, true, null ...
    Name,        // "/Key", slash included
    String,      // "( ... )", parentheses included
    HexString,   // "< ... >"
    DictOpen,    // <<
    DictClose,   // >>
    ArrayOpen,   // [
    ArrayClose,  // ]
    Delimiter,   // ) > { } met on their own
};

struct TextToken {
    ETextToken kind = ETextToken::Delimiter;
    uint32_t start = 0;
    uint32_t end = 0;  // one past the last byte
};

class CPdfTextLexer {
public:
    CPdfTextLexer(const uint8_t* text, uint32_t length, uint32_t position = 0)
        : m_t(text), m_length(length), m_pos(position < length ? position : length)
    {
    }

    // The next token after white space and comments; false at the end.
    bool Next(TextToken& token);

    uint32_t GetPosition() const { return m_pos; }
    void SetPosition(uint32_t position) { m_pos = position < m_length ? position : m_length; }

    // True when the token's bytes are exactly word.
    bool Is(const TextToken& token, const char* word) const;
    // The value of an Unsigned token; -1 when it does not fit in 32 bits.
    int64_t ValueOf(const TextToken& token) const;
    // The bytes a String or HexString token stands for, as the parser reads
    // them: escapes resolved, hex digits decoded (other bytes skipped, an odd
    // last digit followed by 0); empty for any other token.
    std::string StringValue(const TextToken& token) const;

private:
    void SkipLiteralString();

    const uint8_t* m_t;
    uint32_t m_length;
    uint32_t m_pos;
};
