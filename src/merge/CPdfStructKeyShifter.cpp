#include "merge/CPdfStructKeyShifter.h"

#include <vector>

#include "base/PdfByteSearch.h"
#include "text/CPdfTextLexer.h"

namespace {

struct Frame {
    bool dictionary = false;
    bool expectKey = true;
};

// A value as one unit: "N G R" is one, a container ends at its close.
void SkipValue(CPdfTextLexer& lexer, const TextToken& first)
{
    if (first.kind == ETextToken::Unsigned) {
        CPdfTextLexer ahead = lexer;
        TextToken generation, r;
        if (ahead.Next(generation) && generation.kind == ETextToken::Unsigned && ahead.Next(r) && ahead.Is(r, "R"))
            lexer = ahead;
    }
}

}  // namespace

bool CPdfStructKeyShifter::Transform(const uint8_t* text, uint32_t length, std::string& out) const
{
    // Most objects have no such key: a byte search settles them.
    if (bytesearch::FindPattern(text, 0, length, "/StructParent", 13) == 0)
        return false;
    CPdfTextLexer lexer(text, length);
    std::vector<Frame> frames;
    std::string result;
    uint32_t pos = 0;
    bool changed = false;
    TextToken token;
    const auto valueDone = [&frames]() {
        if (!frames.empty() && frames.back().dictionary)
            frames.back().expectKey = true;
    };
    while (lexer.Next(token)) {
        if (token.kind == ETextToken::DictOpen || token.kind == ETextToken::ArrayOpen) {
            frames.push_back({token.kind == ETextToken::DictOpen, true});
            continue;
        }
        if (token.kind == ETextToken::DictClose || token.kind == ETextToken::ArrayClose) {
            if (!frames.empty()) {
                frames.pop_back();
                valueDone();
            }
            continue;
        }
        if (frames.empty()) {
            // Stream data is never looked at.
            if (token.kind == ETextToken::Keyword && lexer.Is(token, "stream"))
                break;
            continue;
        }
        Frame& top = frames.back();
        if (!top.dictionary)
            continue;
        if (top.expectKey) {
            if (token.kind != ETextToken::Name)
                continue;
            top.expectKey = false;
            if (!lexer.Is(token, "/StructParents") && !lexer.Is(token, "/StructParent"))
                continue;
            TextToken value;
            CPdfTextLexer ahead = lexer;
            if (!ahead.Next(value) || value.kind == ETextToken::DictClose)
                continue;  // no value: left to the reader as it was
            int64_t key = value.kind == ETextToken::Unsigned ? lexer.ValueOf(value) : -1;
            const bool single = value.kind == ETextToken::Unsigned || value.kind == ETextToken::Number ||
                                value.kind == ETextToken::Name || value.kind == ETextToken::Keyword ||
                                value.kind == ETextToken::String || value.kind == ETextToken::HexString;
            if (!single)
                continue;  // a container is left as it was; it is no key
            CPdfTextLexer after = ahead;
            SkipValue(after, value);
            if (after.GetPosition() != value.end)
                key = -1;  // a reference, not a key
            result.append(reinterpret_cast<const char*>(text) + pos, token.start - pos);
            if (key >= 0 && key < m_limit) {
                result.append(reinterpret_cast<const char*>(text) + token.start, value.start - token.start);
                result += std::to_string(key + m_offset);
                pos = value.end;
            } else {
                pos = after.GetPosition();
            }
            changed = changed || !(key >= 0 && key < m_limit && m_offset == 0);
            lexer = after;
            valueDone();
            continue;
        }
        SkipValue(lexer, token);
        valueDone();
    }
    if (!changed)
        return false;
    result.append(reinterpret_cast<const char*>(text) + pos, length - pos);
    out.swap(result);
    return true;
}
