#include "merge/CPdfDestinationRenamer.h"

#include <algorithm>
#include <vector>

#include "text/CPdfTextLexer.h"
#include "text/CPdfValueWriter.h"
#include "object/CPdfString.h"
#include "reader/CPdfMemoryStream.h"
#include "reader/CPdfParser.h"

namespace {

// One open dictionary or array while the text is walked.
struct Frame {
    bool dictionary = false;
    bool expectKey = true;  // dictionaries alternate key, value
    enum { kOther, kS, kD, kDest } key = kOther;
    bool goTo = false;  // /S /GoTo seen
    TextToken d;        // the /D value, when a string or a name
    bool hasD = false;
};

bool IsNameOrString(const TextToken& t)
{
    return t.kind == ETextToken::String || t.kind == ETextToken::HexString || t.kind == ETextToken::Name;
}

}  // namespace

bool CPdfDestinationRenamer::TokenBytes(const uint8_t* token, uint32_t length, std::string& bytes)
{
    if (length == 0 || (token[0] != '(' && token[0] != '<' && token[0] != '/'))
        return false;
    // The parser decodes escapes exactly as every other value is read.
    CPdfParser parser(nullptr, new CPdfMemoryStream(token, length));
    CPdfObject value;
    parser.ParseObject(value);
    if (value.GetKind() == OBJ_STRING) {
        bytes = value.GetString()->GetValue();
        return true;
    }
    if (value.GetKind() == OBJ_NAME) {
        bytes = value.GetText();
        return true;
    }
    return false;
}

bool CPdfDestinationRenamer::Transform(const uint8_t* text, uint32_t length, std::string& out) const
{
    CPdfTextLexer lexer(text, length);
    std::vector<Frame> frames;
    std::vector<TextToken> found;
    TextToken token;
    // Marks a value as taken in the innermost dictionary.
    auto valueDone = [&frames]() {
        if (!frames.empty() && frames.back().dictionary) {
            frames.back().expectKey = true;
            frames.back().key = Frame::kOther;
        }
    };
    while (lexer.Next(token)) {
        if (token.kind == ETextToken::DictOpen || token.kind == ETextToken::ArrayOpen) {
            Frame frame;
            frame.dictionary = token.kind == ETextToken::DictOpen;
            frames.push_back(frame);
            continue;
        }
        if (token.kind == ETextToken::DictClose || token.kind == ETextToken::ArrayClose) {
            if (!frames.empty()) {
                const Frame& closed = frames.back();
                if (closed.dictionary && closed.goTo && closed.hasD)
                    found.push_back(closed.d);
                frames.pop_back();
                valueDone();
            }
            continue;
        }
        if (frames.empty()) {
            // Past the object's value: stream data is never looked at.
            if (token.kind == ETextToken::Keyword && lexer.Is(token, "stream"))
                break;
            continue;
        }
        Frame& top = frames.back();
        if (!top.dictionary)
            continue;
        if (top.expectKey) {
            if (token.kind == ETextToken::Name) {
                top.expectKey = false;
                top.key = lexer.Is(token, "/S")      ? Frame::kS
                          : lexer.Is(token, "/D")    ? Frame::kD
                          : lexer.Is(token, "/Dest") ? Frame::kDest
                                                     : Frame::kOther;
            }
            continue;
        }
        if (top.key == Frame::kS && lexer.Is(token, "/GoTo")) {
            top.goTo = true;
        } else if (top.key == Frame::kD && IsNameOrString(token)) {
            top.d = token;
            top.hasD = true;
        } else if (top.key == Frame::kDest && IsNameOrString(token)) {
            found.push_back(token);
        } else if (token.kind == ETextToken::Unsigned) {
            // "N G R" is one value.
            CPdfTextLexer ahead = lexer;
            TextToken generation, r;
            if (ahead.Next(generation) && generation.kind == ETextToken::Unsigned && ahead.Next(r) && ahead.Is(r, "R"))
                lexer = ahead;
        }
        valueDone();
    }
    if (found.empty())
        return false;
    // Rewrite in text order.
    std::sort(found.begin(), found.end(), [](const TextToken& a, const TextToken& b) { return a.start < b.start; });
    bool changed = false;
    std::string result;
    uint32_t pos = 0;
    for (const TextToken& t : found) {
        std::string name, renamed;
        if (t.start < pos || !TokenBytes(text + t.start, t.end - t.start, name) || !m_rename(name, renamed))
            continue;
        result.append(reinterpret_cast<const char*>(text) + pos, t.start - pos);
        std::string written;
        // A name token ends where a delimiter or white space begins, so the
        // new one cannot run into what follows it.
        if (t.kind == ETextToken::Name) {
            CPdfValueWriter::WriteName(renamed, written);
        } else {
            CPdfValueWriter::WriteString(renamed, written);
        }
        result += written;
        pos = t.end;
        changed = true;
    }
    if (!changed)
        return false;
    result.append(reinterpret_cast<const char*>(text) + pos, length - pos);
    out.swap(result);
    return true;
}
