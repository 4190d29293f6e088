#include "merge/CPdfStructRoleRenamer.h"

#include <algorithm>
#include <vector>

#include "base/PdfByteSearch.h"
#include "merge/CPdfDestinationRenamer.h"
#include "text/CPdfTextLexer.h"
#include "text/CPdfValueWriter.h"

namespace {

struct Frame {
    bool dictionary = false;
    bool expectKey = true;
    bool atS = false;  // the value being read is /S's
    bool hasP = false;
    TextToken s;
    bool hasS = false;
};

}  // namespace

bool CPdfStructRoleRenamer::Transform(const uint8_t* text, uint32_t length, std::string& out) const
{
    // Only objects that hold a renamed role's bytes can change.
    const bool any = std::any_of(m_renamed.begin(), m_renamed.end(), [&](const auto& entry) {
        return bytesearch::FindPattern(text, 0, length, entry.first.data(),
                                       static_cast<uint32_t>(entry.first.size())) != 0;
    });
    if (!any)
        return false;
    CPdfTextLexer lexer(text, length);
    std::vector<Frame> frames;
    std::vector<std::pair<TextToken, std::string>> found;
    TextToken token;
    const auto valueDone = [&frames]() {
        if (!frames.empty() && frames.back().dictionary) {
            frames.back().expectKey = true;
            frames.back().atS = false;
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
            if (frames.empty())
                continue;
            const Frame closed = frames.back();
            frames.pop_back();
            std::string role;
            if (closed.dictionary && closed.hasP && closed.hasS &&
                CPdfDestinationRenamer::TokenBytes(text + closed.s.start, closed.s.end - closed.s.start, role)) {
                const auto it = m_renamed.find(role);
                if (it != m_renamed.end())
                    found.push_back({closed.s, it->second});
            }
            valueDone();
            continue;
        }
        if (frames.empty()) {
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
                top.atS = lexer.Is(token, "/S");
                top.hasP = top.hasP || lexer.Is(token, "/P");
            }
            continue;
        }
        if (top.atS && token.kind == ETextToken::Name) {
            top.s = token;
            top.hasS = true;
        } else if (token.kind == ETextToken::Unsigned) {
            CPdfTextLexer ahead = lexer;
            TextToken generation, r;
            if (ahead.Next(generation) && generation.kind == ETextToken::Unsigned && ahead.Next(r) && ahead.Is(r, "R"))
                lexer = ahead;
        }
        valueDone();
    }
    if (found.empty())
        return false;
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first.start < b.first.start; });
    std::string result;
    uint32_t pos = 0;
    for (const auto& [t, name] : found) {
        result.append(reinterpret_cast<const char*>(text) + pos, t.start - pos);
        CPdfValueWriter::WriteName(name, result);
        pos = t.end;
    }
    result.append(reinterpret_cast<const char*>(text) + pos, length - pos);
    out.swap(result);
    return true;
}
