#include "copy/PdfFingerprint.h"

#include <algorithm>
#include <cstring>

#include "base/PdfByteSearch.h"
#include "base/PdfCharClass.h"
#include "text/PdfObjectText.h"

// Inlined: the streaming state lives on the stack, and the hash is
// compiled with the code that calls it.
#define XXH_INLINE_ALL
#include <xxhash.h>

namespace fingerprint {

namespace {

// Hands visit(pointer, size, pieces) the processed bytes of text[start,
// length) in pieces, first to last, given the token layout of those bytes;
// each call is told how many pieces there are, so that a single piece needs
// no state.
template <typename Visit>
void ForEachPiece(const uint8_t* text, uint32_t length, uint32_t start, const objecttext::Layout& layout,
                  Visit visit)
{
    static const uint8_t kZero = '0';
    const size_t pieces = 1 + 2 * layout.references.size();
    uint32_t at = start;
    for (const objecttext::Reference& ref : layout.references) {
        visit(text + at, start + ref.generationStart - at, pieces);
        visit(&kZero, 1, pieces);
        at = start + ref.generationEnd;
    }
    visit(text + at, length - at, pieces);
}

// The same, scanning the bytes for their references first.
template <typename Visit>
void ForEachPiece(const uint8_t* text, uint32_t length, uint32_t start, Visit visit)
{
    if (start >= length)
        return;
    // The token scan stops at "stream": stream data has no references.
    objecttext::Layout layout;
    objecttext::Scan(text + start, length - start, layout);
    ForEachPiece(text, length, start, layout, visit);
}

template <typename Pieces>
Fingerprint HashPieces(Pieces pieces)
{
    // Nothing processed hashes as the empty text.
    Fingerprint f{XXH3_64bits(nullptr, 0)};
    // The streaming form hashes the concatenation as the one-shot form does.
    XXH3_state_t state;
    size_t seen = 0;
    pieces([&](const uint8_t* piece, size_t size, size_t count) {
        if (count == 1) {
            f.hash = XXH3_64bits(piece, size);
            return;
        }
        if (seen++ == 0)
            XXH3_64bits_reset(&state);
        XXH3_64bits_update(&state, piece, size);
        if (seen == count)
            f.hash = XXH3_64bits_digest(&state);
    });
    return f;
}

template <typename Pieces>
Key KeyOfPieces(Pieces pieces, const uint8_t* rest, int64_t restLength)
{
    uint8_t first[kKeyBytes];
    size_t have = 0;
    uint64_t total = 0;
    const auto keep = [&](const uint8_t* piece, uint64_t size) {
        const size_t take = static_cast<size_t>(std::min<uint64_t>(size, sizeof(first) - have));
        if (take > 0)
            std::memcpy(first + have, piece, take);
        have += take;
        total += size;
    };
    pieces([&](const uint8_t* piece, size_t size, size_t) { keep(piece, size); });
    if (restLength > 0)
        keep(rest, static_cast<uint64_t>(restLength));
    return Key{XXH3_64bits_withSeed(first, have, total)};
}

}  // namespace

uint32_t TextStart(const uint8_t* object, uint32_t length)
{
    // FindPattern gives the index of the last byte matched, 0 for none.
    const uint32_t last = bytesearch::FindPattern(object, 0, length, "obj", 3);
    if (last == 0)
        return length;
    uint32_t start = last + 1;
    if (start < length && pdfchar::IsWhite(object[start]))
        ++start;
    return start;
}

Fingerprint Compute(const uint8_t* text, uint32_t length, uint32_t start)
{
    return HashPieces([&](auto visit) { ForEachPiece(text, length, start, visit); });
}

Fingerprint Compute(const uint8_t* text, uint32_t length, const objecttext::Layout& layout)
{
    return HashPieces([&](auto visit) { ForEachPiece(text, length, 0, layout, visit); });
}

Key ComputeKey(const uint8_t* text, uint32_t length, uint32_t start, const uint8_t* rest, int64_t restLength)
{
    return KeyOfPieces([&](auto visit) { ForEachPiece(text, length, start, visit); }, rest, restLength);
}

Key ComputeKey(const uint8_t* text, uint32_t length, const objecttext::Layout& layout)
{
    return KeyOfPieces([&](auto visit) { ForEachPiece(text, length, 0, layout, visit); }, nullptr, 0);
}

std::string ProcessedBytes(const uint8_t* text, uint32_t length, uint32_t start)
{
    std::string out;
    ForEachPiece(text, length, start, [&](const uint8_t* piece, size_t size, size_t) {
        out.append(reinterpret_cast<const char*>(piece), size);
    });
    return out;
}

}  // namespace fingerprint
