#include "text/CPdfTextEdit.h"

#include <algorithm>
#include <cstring>

#include "text/CPdfTextLexer.h"
#include "base/PdfFileFormat.h"
#include "base/PdfCharClass.h"

namespace {

bool Opens(const TextToken& t)
{
    return t.kind == ETextToken::DictOpen || t.kind == ETextToken::ArrayOpen;
}

bool Closes(const TextToken& t)
{
    return t.kind == ETextToken::DictClose || t.kind == ETextToken::ArrayClose;
}

// Where the value that starts with `first` ends: after its matching close,
// after "N G R", or after the token itself. Leaves the lexer there.
uint32_t ValueEnd(CPdfTextLexer& lexer, const TextToken& first, TextToken& lastClose)
{
    if (Opens(first)) {
        int depth = 1;
        TextToken t;
        uint32_t end = first.end;
        while (depth > 0 && lexer.Next(t)) {
            if (Opens(t))
                ++depth;
            else if (Closes(t))
                --depth;
            end = t.end;
            if (depth == 0)
                lastClose = t;
        }
        return end;
    }
    if (first.kind == ETextToken::Unsigned) {
        CPdfTextLexer ahead = lexer;
        TextToken generation, r;
        if (ahead.Next(generation) && generation.kind == ETextToken::Unsigned && ahead.Next(r) &&
            r.kind == ETextToken::Keyword && ahead.Is(r, "R")) {
            lexer = ahead;
            return r.end;
        }
    }
    return first.end;
}

}  // namespace

CPdfTextEdit::CPdfTextEdit(const uint8_t* text, uint32_t length, uint32_t limit)
    : m_text(text), m_length(length)
{
    if (limit > length)
        limit = length;
    CPdfTextLexer lexer(text, limit);
    TextToken a, b, c;
    // Past the header "N G obj" when there is one.
    if (!(lexer.Next(a) && lexer.Next(b) && lexer.Next(c) && a.kind == ETextToken::Unsigned &&
          b.kind == ETextToken::Unsigned && lexer.Is(c, "obj")))
        lexer.SetPosition(0);
    TextToken value;
    if (!lexer.Next(value))
        return;
    if (value.kind == ETextToken::ArrayOpen) {
        m_arrayOpen = value.start;
        TextToken close;
        close.start = UINT32_MAX;
        ValueEnd(lexer, value, close);
        if (close.start != UINT32_MAX)
            m_arrayClose = close.start;
        return;
    }
    if (value.kind != ETextToken::DictOpen)
        return;
    m_dictOpen = value.start;
    TextToken key;
    while (lexer.Next(key)) {
        if (key.kind == ETextToken::DictClose)
            break;
        if (key.kind != ETextToken::Name) {
            // Not a key (damaged text): skip it whole.
            TextToken ignored;
            ValueEnd(lexer, key, ignored);
            continue;
        }
        TextToken first;
        if (!lexer.Next(first))
            break;
        if (first.kind == ETextToken::DictClose) {
            // A key without a value ends the dictionary.
            m_entries.push_back({key.start, key.end, key.end, key.end});
            break;
        }
        TextToken ignored;
        const uint32_t end = ValueEnd(lexer, first, ignored);
        m_entries.push_back({key.start, key.end, first.start, end});
    }
}

const CPdfTextEdit::Entry* CPdfTextEdit::FindEntry(const char* key) const
{
    const size_t n = std::strlen(key);
    for (const Entry& e : m_entries)
        if (e.keyEnd - e.keyStart == n && std::memcmp(m_text + e.keyStart, key, n) == 0)
            return &e;
    return nullptr;
}

bool CPdfTextEdit::FindValue(const char* key, uint32_t& start, uint32_t& end) const
{
    const Entry* e = FindEntry(key);
    if (!e)
        return false;
    start = e->valueStart;
    end = e->valueEnd;
    return true;
}

bool CPdfTextEdit::SetKey(const char* key, const std::string& value)
{
    if (m_dictOpen < 0)
        return false;
    if (const Entry* e = FindEntry(key)) {
        m_splices.push_back({e->valueStart, e->valueEnd, value});
        return true;
    }
    const uint32_t at = static_cast<uint32_t>(m_dictOpen) + 2;
    m_splices.push_back({at, at, "\r" + std::string(key) + " " + value});
    return true;
}

bool CPdfTextEdit::RemoveKey(const char* key)
{
    const Entry* e = FindEntry(key);
    if (!e)
        return false;
    m_splices.push_back({e->keyStart, e->valueEnd, std::string()});
    return true;
}

bool CPdfTextEdit::AppendToArray(const char* key, const std::string& element)
{
    uint32_t close = 0;
    if (key == nullptr) {
        if (m_arrayClose < 0)
            return false;
        close = static_cast<uint32_t>(m_arrayClose);
    } else {
        const Entry* e = FindEntry(key);
        if (!e || m_text[e->valueStart] != '[' || e->valueEnd == e->valueStart || m_text[e->valueEnd - 1] != ']')
            return false;
        close = e->valueEnd - 1;
    }
    m_splices.push_back({close, close, " " + element + " "});
    return true;
}

void CPdfTextEdit::Apply(std::string& out) const
{
    std::vector<const Splice*> order;
    for (const Splice& s : m_splices)
        order.push_back(&s);
    std::stable_sort(order.begin(), order.end(), [](const Splice* x, const Splice* y) { return x->start < y->start; });
    out.clear();
    out.reserve(m_length + 64);
    const char* t = reinterpret_cast<const char*>(m_text);
    uint32_t pos = 0;
    for (const Splice* s : order) {
        if (s->start < pos)
            continue;  // overlaps an earlier edit: the earlier one wins
        out.append(t + pos, s->start - pos);
        Join(out, s->text);
        pos = s->end;
        // What follows the edit must not run into it either.
        if (pos < m_length && !out.empty() && pdfchar::IsRegular(static_cast<uint8_t>(out.back())) &&
            pdfchar::IsRegular(m_text[pos]))
            out.push_back(' ');
    }
    out.append(t + pos, m_length - pos);
}

std::string CPdfTextEdit::Reference(int64_t number, int64_t generation)
{
    char digits[24];
    std::string text(digits, pdfformat::FormatNumber(number, digits));
    text.push_back(' ');
    text.append(digits, pdfformat::FormatNumber(generation, digits));
    text.append(" R");
    return text;
}

void CPdfTextEdit::Join(std::string& out, const char* piece, size_t length)
{
    if (length == 0)
        return;
    if (!out.empty() && pdfchar::IsRegular(static_cast<uint8_t>(out.back())) &&
        pdfchar::IsRegular(static_cast<uint8_t>(piece[0])))
        out.push_back(' ');
    out.append(piece, length);
}

void CPdfTextEdit::WrapMember(int64_t number, const uint8_t* data, uint32_t length, std::string& out)
{
    char digits[24];
    out.append(digits, pdfformat::FormatNumber(number, digits));
    out.append(" 0 obj\r");
    out.append(reinterpret_cast<const char*>(data), length);
    // A member may end right after its last token ("90"); "endobj" must
    // stay a word of its own.
    if (length > 0 && pdfchar::IsRegular(data[length - 1]))
        out.push_back('\r');
    out.append("endobj\r");
}
