#include "text/CPdfTextLexer.h"

#include <cstring>

#include "object/CPdfString.h"
#include "reader/CPdfMemoryStream.h"
#include "reader/CPdfParser.h"
#include "base/PdfCharClass.h"

bool CPdfTextLexer::Next(TextToken& token)
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
    token.kind = ETextToken::Delimiter;
    const uint8_t c = m_t[m_pos++];
    switch (c) {
    case '(':
        SkipLiteralString();
        token.kind = ETextToken::String;
        break;
    case '<':
        if (m_pos < m_length && m_t[m_pos] == '<') {
            ++m_pos;
            token.kind = ETextToken::DictOpen;
        } else {
            while (m_pos < m_length && m_t[m_pos++] != '>') {
            }
            token.kind = ETextToken::HexString;
        }
        break;
    case '>':
        if (m_pos < m_length && m_t[m_pos] == '>') {
            ++m_pos;
            token.kind = ETextToken::DictClose;
        }
        break;
    case '/':
        while (m_pos < m_length && IsRegular(m_t[m_pos]))
            ++m_pos;
        token.kind = ETextToken::Name;
        break;
    case '[':
        token.kind = ETextToken::ArrayOpen;
        break;
    case ']':
        token.kind = ETextToken::ArrayClose;
        break;
    case ')':
    case '{':
    case '}':
        break;
    default: {
        while (m_pos < m_length && IsRegular(m_t[m_pos]))
            ++m_pos;
        bool digits = true, numeric = true;
        for (uint32_t i = token.start; i < m_pos; ++i) {
            const uint8_t b = m_t[i];
            digits = digits && IsDigit(b);
            numeric = numeric && (IsDigit(b) || b == '.' || ((b == '-' || b == '+') && i == token.start));
        }
        token.kind = digits ? ETextToken::Unsigned : numeric ? ETextToken::Number : ETextToken::Keyword;
        break;
    }
    }
    token.end = m_pos;
    return true;
}

void CPdfTextLexer::SkipLiteralString()
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

bool CPdfTextLexer::Is(const TextToken& token, const char* word) const
{
    const size_t n = std::strlen(word);
    return token.end - token.start == n && std::memcmp(m_t + token.start, word, n) == 0;
}

int64_t CPdfTextLexer::ValueOf(const TextToken& token) const
{
    int64_t value = 0;
    for (uint32_t i = token.start; i < token.end; ++i) {
        value = value * 10 + (m_t[i] - '0');
        if (value > INT32_MAX)
            return -1;
    }
    return value;
}

std::string CPdfTextLexer::StringValue(const TextToken& token) const
{
    if (token.kind != ETextToken::String && token.kind != ETextToken::HexString)
        return std::string();
    // The parser decodes escapes exactly as every other value is read.
    CPdfParser parser(nullptr, new CPdfMemoryStream(m_t + token.start, token.end - token.start));
    CPdfObject value;
    parser.ParseObject(value);
    return value.GetKind() == OBJ_STRING ? value.GetString()->GetValue() : std::string();
}
