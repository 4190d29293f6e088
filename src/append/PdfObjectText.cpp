#include "append/PdfObjectText.h"

#include <cstring>

#include "reader/PdfCharClass.h"
#include "writer/XRefFormat.h"

namespace objecttext {

namespace {

enum class TokenKind { Other, Unsigned, Keyword };

struct Token {
    TokenKind kind = TokenKind::Other;
    uint32_t start = 0;
    uint32_t end = 0;
};

bool IsUnsigned(const uint8_t* t, uint32_t start, uint32_t end)
{
    for (uint32_t i = start; i < end; ++i)
        if (!pdfchar::IsDigit(t[i]))
            return false;
    return end > start;
}

int64_t ValueOf(const uint8_t* t, uint32_t start, uint32_t end)
{
    int64_t value = 0;
    for (uint32_t i = start; i < end; ++i) {
        value = value * 10 + (t[i] - '0');
        if (value > INT32_MAX)
            return -1;
    }
    return value;
}

bool Is(const uint8_t* t, const Token& token, const char* word)
{
    const size_t n = std::strlen(word);
    return token.end - token.start == n && std::memcmp(t + token.start, word, n) == 0;
}

// The lexer over raw text. Next gives the next token that matters for
// references; strings, names and delimiters come back as Other.
class Lexer {
public:
    Lexer(const uint8_t* text, uint32_t length) : m_t(text), m_length(length) {}

    bool Next(Token& token)
    {
        using namespace pdfchar;
        for (;;) {
            if (m_pos >= m_length)
                return false;
            const uint8_t c = m_t[m_pos];
            if (IsWhite(c)) {
                ++m_pos;
                continue;
            }
            if (c == '%') {
                while (m_pos < m_length && m_t[m_pos] != '\r' && m_t[m_pos] != '\n')
                    ++m_pos;
                continue;
            }
            break;
        }
        token.start = m_pos;
        token.kind = TokenKind::Other;
        const uint8_t c = m_t[m_pos++];
        switch (c) {
        case '(':
            SkipLiteralString();
            break;
        case '<':
            if (m_pos < m_length && m_t[m_pos] == '<')
                ++m_pos;
            else
                while (m_pos < m_length && m_t[m_pos++] != '>') {
                }
            break;
        case '>':
            if (m_pos < m_length && m_t[m_pos] == '>')
                ++m_pos;
            break;
        case '/':
            while (m_pos < m_length && IsRegular(m_t[m_pos]))
                ++m_pos;
            break;
        case ')':
        case '[':
        case ']':
        case '{':
        case '}':
            break;
        default:
            while (m_pos < m_length && IsRegular(m_t[m_pos]))
                ++m_pos;
            token.kind = IsUnsigned(m_t, token.start, m_pos) ? TokenKind::Unsigned : TokenKind::Keyword;
            break;
        }
        token.end = m_pos;
        return true;
    }

private:
    void SkipLiteralString()
    {
        int depth = 1;
        while (m_pos < m_length) {
            const uint8_t c = m_t[m_pos++];
            if (c == '\\')
                ++m_pos;  // the escaped byte never opens or closes
            else if (c == '(')
                ++depth;
            else if (c == ')' && --depth == 0)
                return;
        }
        if (m_pos > m_length)
            m_pos = m_length;
    }

    const uint8_t* m_t;
    uint32_t m_length;
    uint32_t m_pos = 0;
};

}  // namespace

void Scan(const uint8_t* text, uint32_t length, Layout& out)
{
    out = Layout();
    out.split = length;
    Lexer lexer(text, length);
    Token a, b, c;
    // The header: number, generation, "obj".
    if (lexer.Next(a) && lexer.Next(b) && lexer.Next(c) && a.kind == TokenKind::Unsigned &&
        b.kind == TokenKind::Unsigned && Is(text, c, "obj")) {
        out.hasHeader = true;
        out.numberStart = a.start;
        out.numberEnd = a.end;
        out.number = ValueOf(text, a.start, a.end);
        const int64_t generation = ValueOf(text, b.start, b.end);
        out.generation = generation < 0 ? 0 : static_cast<int32_t>(generation);
    } else {
        lexer = Lexer(text, length);
    }
    // /Length of the outermost dictionary: the key, then a number, then
    // anything but a second number followed by "R".
    enum { kNoLength, kKey, kNumber, kTwoNumbers, kDone } lengthState = kNoLength;
    int64_t lengthValue = -1;
    int depth = 0;
    Token older, previous, token;
    while (lexer.Next(token)) {
        const uint32_t size = token.end - token.start;
        switch (lengthState) {
        case kKey:
            if (token.kind == TokenKind::Unsigned) {
                lengthValue = ValueOf(text, token.start, token.end);
                lengthState = kNumber;
            } else {
                lengthState = kDone;
            }
            break;
        case kNumber:
            if (token.kind == TokenKind::Unsigned) {
                lengthState = kTwoNumbers;
            } else {
                out.directLength = lengthValue;
                lengthState = kDone;
            }
            break;
        case kTwoNumbers:
            if (!(token.kind == TokenKind::Keyword && Is(text, token, "R")))
                out.directLength = lengthValue;
            lengthState = kDone;
            break;
        default:
            break;
        }
        if (token.kind == TokenKind::Keyword) {
            if (Is(text, token, "R") && older.kind == TokenKind::Unsigned && previous.kind == TokenKind::Unsigned) {
                out.references.push_back(Reference{older.start, older.end, ValueOf(text, older.start, older.end),
                                                   ValueOf(text, previous.start, previous.end), previous.start,
                                                   previous.end});
            } else if (Is(text, token, "stream")) {
                out.isStream = true;
                out.split = token.end;
                return;
            }
        } else if (token.kind == TokenKind::Other) {
            const uint8_t first = text[token.start];
            if (first == '<' && size == 2 && text[token.start + 1] == '<') {
                if (out.dictOpen < 0)
                    out.dictOpen = token.start;
                ++depth;
            } else if (first == '[') {
                ++depth;
            } else if ((first == '>' && size == 2) || first == ']') {
                --depth;
            } else if (lengthState == kNoLength && depth == 1 && size == 7 &&
                       std::memcmp(text + token.start, "/Length", 7) == 0) {
                lengthState = kKey;
            }
        }
        older = previous;
        previous = token;
    }
}

uint32_t DataStart(const uint8_t* text, uint32_t length, uint32_t split)
{
    for (uint32_t p = split; p < length; ++p) {
        if (text[p] == '\n')
            return p + 1;
        if (text[p] == '\r')
            return p + 1 < length && text[p + 1] == '\n' ? p + 2 : (p + 1 < length ? p + 1 : length);
    }
    return length;
}

bool StartsWithEndstream(const uint8_t* text, uint32_t length)
{
    Lexer lexer(text, length);
    Token token;
    return lexer.Next(token) && token.kind == TokenKind::Keyword && token.end < length && Is(text, token, "endstream");
}

bool FindTopLevelValue(const uint8_t* text, uint32_t length, const char* key, uint32_t& start, uint32_t& end)
{
    Lexer lexer(text, length);
    Token token;
    int depth = 0;
    auto opens = [&](const Token& t) {
        const uint8_t c = text[t.start];
        return t.kind == TokenKind::Other && (c == '[' || (c == '<' && t.end - t.start == 2 && text[t.start + 1] == '<'));
    };
    auto closes = [&](const Token& t) {
        const uint8_t c = text[t.start];
        return t.kind == TokenKind::Other && (c == ']' || (c == '>' && t.end - t.start == 2));
    };
    while (lexer.Next(token)) {
        if (opens(token)) {
            ++depth;
            continue;
        }
        if (closes(token)) {
            --depth;
            continue;
        }
        if (depth != 1 || token.kind != TokenKind::Other || !Is(text, token, key))
            continue;
        Token value;
        if (!lexer.Next(value))
            return false;
        start = value.start;
        end = value.end;
        if (opens(value)) {
            int inner = 1;
            Token t;
            while (inner > 0 && lexer.Next(t)) {
                if (opens(t))
                    ++inner;
                else if (closes(t))
                    --inner;
                end = t.end;
            }
            return inner == 0;
        }
        Token generation, r;
        Lexer ahead = lexer;
        if (value.kind == TokenKind::Unsigned && ahead.Next(generation) && generation.kind == TokenKind::Unsigned &&
            ahead.Next(r) && Is(text, r, "R"))
            end = r.end;
        return true;
    }
    return false;
}

void AppendNumber(std::string& out, int64_t value)
{
    char digits[24];
    out.append(digits, xrefformat::FormatNumber(value, digits));
}

}  // namespace objecttext
