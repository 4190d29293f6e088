#include "text/PdfObjectText.h"

#include "text/CPdfTextLexer.h"
#include "base/PdfFileFormat.h"

namespace objecttext {

void Scan(const uint8_t* text, uint32_t length, Layout& out)
{
    out = Layout();
    out.split = length;
    CPdfTextLexer lexer(text, length);
    TextToken a, b, c;
    // The header: number, generation, "obj".
    if (lexer.Next(a) && lexer.Next(b) && lexer.Next(c) && a.kind == ETextToken::Unsigned &&
        b.kind == ETextToken::Unsigned && lexer.Is(c, "obj")) {
        out.hasHeader = true;
        out.numberStart = a.start;
        out.numberEnd = a.end;
        out.number = lexer.ValueOf(a);
        const int64_t generation = lexer.ValueOf(b);
        out.generation = generation < 0 ? 0 : static_cast<int32_t>(generation);
    } else {
        lexer.SetPosition(0);
    }
    // /Length of the outermost dictionary: the key, then a number, then
    // anything but a second number followed by "R".
    enum { kNoLength, kKey, kNumber, kTwoNumbers, kDone } lengthState = kNoLength;
    int64_t lengthValue = -1;
    int depth = 0;
    bool closedUnopened = false;
    TextToken older, previous, token;
    while (lexer.Next(token)) {
        switch (lengthState) {
        case kKey:
            if (token.kind == ETextToken::Unsigned) {
                lengthValue = lexer.ValueOf(token);
                lengthState = kNumber;
            } else {
                lengthState = kDone;
            }
            break;
        case kNumber:
            if (token.kind == ETextToken::Unsigned) {
                lengthState = kTwoNumbers;
            } else {
                out.directLength = lengthValue;
                lengthState = kDone;
            }
            break;
        case kTwoNumbers:
            if (!(token.kind == ETextToken::Keyword && lexer.Is(token, "R"))) {
                out.directLength = lengthValue;
            } else {
                out.lengthNumber = lengthValue;
                out.lengthGeneration = lexer.ValueOf(previous);
            }
            lengthState = kDone;
            break;
        default:
            break;
        }
        switch (token.kind) {
        case ETextToken::Keyword:
            if (lexer.Is(token, "R") && older.kind == ETextToken::Unsigned && previous.kind == ETextToken::Unsigned) {
                out.references.push_back(Reference{older.start, older.end, lexer.ValueOf(older),
                                                   lexer.ValueOf(previous), previous.start, previous.end});
            } else if (lexer.Is(token, "stream")) {
                out.isStream = true;
                out.split = token.end;
                out.unbalanced = depth != 0 || closedUnopened;
                return;
            } else if (lexer.Is(token, "endobj")) {
                out.endobj = token.start;
                out.unbalanced = depth != 0 || closedUnopened;
                return;
            }
            break;
        case ETextToken::DictOpen:
            if (out.dictOpen < 0)
                out.dictOpen = token.start;
            ++depth;
            break;
        case ETextToken::ArrayOpen:
            ++depth;
            break;
        case ETextToken::DictClose:
        case ETextToken::ArrayClose:
            if (--depth < 0)
                closedUnopened = true;
            break;
        case ETextToken::Name:
            if (lengthState == kNoLength && depth == 1 && lexer.Is(token, "/Length"))
                lengthState = kKey;
            break;
        default:
            break;
        }
        older = previous;
        previous = token;
    }
}

int64_t IntegerObjectValue(const uint8_t* text, uint32_t length, int64_t number, int64_t generation)
{
    CPdfTextLexer lexer(text, length);
    TextToken a, b, c, value, end;
    if (!lexer.Next(a) || !lexer.Next(b) || !lexer.Next(c) || !lexer.Next(value) || !lexer.Next(end))
        return -1;
    if (a.kind != ETextToken::Unsigned || b.kind != ETextToken::Unsigned || !lexer.Is(c, "obj") ||
        value.kind != ETextToken::Unsigned || end.kind != ETextToken::Keyword || !lexer.Is(end, "endobj"))
        return -1;
    // A keyword cut short by the end of the text may be a longer word.
    if (lexer.ValueOf(a) != number || lexer.ValueOf(b) != generation || end.end >= length)
        return -1;
    return lexer.ValueOf(value);
}

uint32_t LineEndLength(const uint8_t* text, uint32_t length)
{
    if (length == 0 || (text[length - 1] != '\n' && text[length - 1] != '\r'))
        return 0;
    return length >= 2 && text[length - 1] == '\n' && text[length - 2] == '\r' ? 2 : 1;
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
    CPdfTextLexer lexer(text, length);
    TextToken token;
    return lexer.Next(token) && token.kind == ETextToken::Keyword && token.end < length && lexer.Is(token, "endstream");
}

void RewriteStrings(const uint8_t* text, uint32_t length, uint32_t end,
                    const std::function<std::string(const std::string&)>& transform, std::string& out)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    out.clear();
    out.reserve(length + length / 4);
    const char* t = reinterpret_cast<const char*>(text);
    CPdfTextLexer lexer(text, end < length ? end : length);
    TextToken token;
    uint32_t pos = 0;
    while (lexer.Next(token)) {
        if (token.kind != ETextToken::String && token.kind != ETextToken::HexString)
            continue;
        out.append(t + pos, token.start - pos);
        out.push_back('<');
        for (unsigned char c : transform(lexer.StringValue(token))) {
            out.push_back(kDigits[c >> 4]);
            out.push_back(kDigits[c & 15]);
        }
        out.push_back('>');
        pos = token.end;
    }
    out.append(t + pos, length - pos);
}

void AppendNumber(std::string& out, int64_t value)
{
    char digits[24];
    out.append(digits, pdfformat::FormatNumber(value, digits));
}

}  // namespace objecttext
