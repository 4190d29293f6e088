#include "merge/CPdfStructNameRenamer.h"

#include <algorithm>
#include <vector>

#include "base/PdfByteSearch.h"
#include "merge/CPdfDestinationRenamer.h"
#include "text/CPdfTextLexer.h"
#include "text/CPdfValueWriter.h"

namespace {

enum class EKey { kOther, kS, kC, kHeaders };

struct Frame {
    bool dictionary = false;
    bool expectKey = true;
    EKey key = EKey::kOther;  // a dictionary's: whose value is read
    EKey holds = EKey::kOther;  // an array's: the key it is the value of
    bool hasP = false;
    std::vector<TextToken> roles, classes;  // candidates, kept when it has /P
};

struct Found {
    TextToken token;
    std::string name;
    bool isName;
};

bool AnyIn(const uint8_t* text, uint32_t length, const std::map<std::string, std::string>& names)
{
    return std::any_of(names.begin(), names.end(), [&](const auto& entry) {
        return !entry.first.empty() && bytesearch::FindPattern(text, 0, length, entry.first.data(),
                                                               static_cast<uint32_t>(entry.first.size())) != 0;
    });
}

}  // namespace

bool CPdfStructNameRenamer::Transform(const uint8_t* text, uint32_t length, std::string& out) const
{
    // Only objects that hold a renamed name's bytes can change (an ID in
    // hexadecimal form is found by its key instead).
    if (!AnyIn(text, length, m_names.roles) && !AnyIn(text, length, m_names.classes) &&
        (m_names.ids.empty() || bytesearch::FindPattern(text, 0, length, "/Headers", 8) == 0))
        return false;
    CPdfTextLexer lexer(text, length);
    std::vector<Frame> frames;
    std::vector<Found> found;
    const auto rename = [&](const TextToken& t, const std::map<std::string, std::string>& names, bool isName) {
        std::string bytes;
        if (!CPdfDestinationRenamer::TokenBytes(text + t.start, t.end - t.start, bytes))
            return;
        const auto it = names.find(bytes);
        if (it != names.end())
            found.push_back({t, it->second, isName});
    };
    const auto valueDone = [&frames]() {
        if (!frames.empty() && frames.back().dictionary) {
            frames.back().expectKey = true;
            frames.back().key = EKey::kOther;
        }
    };
    TextToken token;
    while (lexer.Next(token)) {
        if (token.kind == ETextToken::DictOpen || token.kind == ETextToken::ArrayOpen) {
            Frame frame;
            frame.dictionary = token.kind == ETextToken::DictOpen;
            if (!frame.dictionary && !frames.empty() && frames.back().dictionary && !frames.back().expectKey)
                frame.holds = frames.back().key;
            frames.push_back(frame);
            continue;
        }
        if (token.kind == ETextToken::DictClose || token.kind == ETextToken::ArrayClose) {
            if (frames.empty())
                continue;
            Frame closed = std::move(frames.back());
            frames.pop_back();
            if (closed.dictionary && closed.hasP) {
                for (const TextToken& t : closed.roles)
                    rename(t, m_names.roles, true);
                for (const TextToken& t : closed.classes)
                    rename(t, m_names.classes, true);
            } else if (!closed.dictionary && closed.holds == EKey::kC && !frames.empty()) {
                // The class names of the element the array belongs to.
                frames.back().classes.insert(frames.back().classes.end(), closed.classes.begin(),
                                             closed.classes.end());
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
        if (!top.dictionary) {
            if (top.holds == EKey::kC && token.kind == ETextToken::Name)
                top.classes.push_back(token);
            else if (top.holds == EKey::kHeaders &&
                     (token.kind == ETextToken::String || token.kind == ETextToken::HexString))
                rename(token, m_names.ids, false);
            continue;
        }
        if (top.expectKey) {
            if (token.kind == ETextToken::Name) {
                top.expectKey = false;
                top.key = lexer.Is(token, "/S")         ? EKey::kS
                          : lexer.Is(token, "/C")       ? EKey::kC
                          : lexer.Is(token, "/Headers") ? EKey::kHeaders
                                                        : EKey::kOther;
                top.hasP = top.hasP || lexer.Is(token, "/P");
            }
            continue;
        }
        if (token.kind == ETextToken::Name && top.key == EKey::kS) {
            top.roles.push_back(token);
        } else if (token.kind == ETextToken::Name && top.key == EKey::kC) {
            top.classes.push_back(token);
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
    std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) { return a.token.start < b.token.start; });
    std::string result;
    uint32_t pos = 0;
    for (const Found& f : found) {
        if (f.token.start < pos)
            continue;
        result.append(reinterpret_cast<const char*>(text) + pos, f.token.start - pos);
        if (f.isName)
            CPdfValueWriter::WriteName(f.name, result);
        else
            CPdfValueWriter::WriteString(f.name, result);
        pos = f.token.end;
    }
    result.append(reinterpret_cast<const char*>(text) + pos, length - pos);
    out.swap(result);
    return true;
}
