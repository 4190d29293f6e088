#include "copy/PdfFingerprint.h"

#include <array>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <cstring>

namespace fingerprint {

namespace {

using CrcTables = std::array<std::array<uint32_t, 256>, 8>;

// Table 0 is the classic reflected CRC-32 table (polynomial 0xEDB88320);
// tables 1..7 advance it by further zero bytes, for eight bytes per step.
constexpr CrcTables MakeCrcTables()
{
    CrcTables t{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1u) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[0][n] = c;
    }
    for (uint32_t n = 0; n < 256; ++n)
        for (size_t k = 1; k < 8; ++k)
            t[k][n] = (t[k - 1][n] >> 8) ^ t[0][t[k - 1][n] & 0xFFu];
    return t;
}

constexpr CrcTables kCrc = MakeCrcTables();

bool IsDigit(uint8_t c)
{
    return c >= '0' && c <= '9';
}

uint32_t Update(uint32_t acc, uint8_t b)
{
    return kCrc[0][(acc ^ b) & 0xFFu] ^ (acc >> 8);
}

bool IsBlank(uint8_t c)
{
    return c == ' ' || c == '\r' || c == '\n';
}

// At an "R" with a space before it, moves k back over the "R", the space
// and the generation digits to the byte that is fed in the R's place; false
// when that lies before first.
bool SkipReference(const uint8_t* text, int64_t& k, int64_t first)
{
    if (text[k] != 'R' || k - 1 < first || text[k - 1] != ' ')
        return true;
    k -= 3;
    while (k >= first && IsDigit(text[k]))
        --k;
    return k >= first;
}

// Calls visit(byte) for each processed byte, from the end towards start.
template <typename Visit>
void Walk(const uint8_t* text, uint32_t length, uint32_t start, Visit visit)
{
    int64_t k = static_cast<int64_t>(length) - 1;
    const int64_t first = start;
    while (k >= first) {
        if (!SkipReference(text, k, first))
            break;
        visit(text[k]);
        --k;
    }
}

constexpr uint64_t kOnes = 0x0101010101010101ull;
constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;

// High bit set in each byte of word that equals c.
uint64_t BytesEqual(uint64_t word, uint8_t c)
{
    const uint64_t v = word ^ (kOnes * c);
    return ~(((v & kLow7) + kLow7) | v | kLow7);
}

// The number of bytes flagged by BytesEqual masks.
uint32_t CountFlags(uint64_t mask)
{
    return static_cast<uint32_t>(((mask >> 7) * kOnes) >> 56);
}

// Eight bytes fed in the order word holds them (lowest byte first).
uint32_t UpdateWord(uint32_t acc, uint64_t word)
{
    const uint64_t fed = word ^ acc;
    return kCrc[7][fed & 0xFF] ^ kCrc[6][(fed >> 8) & 0xFF] ^ kCrc[5][(fed >> 16) & 0xFF] ^
           kCrc[4][(fed >> 24) & 0xFF] ^ kCrc[3][(fed >> 32) & 0xFF] ^ kCrc[2][(fed >> 40) & 0xFF] ^
           kCrc[1][(fed >> 48) & 0xFF] ^ kCrc[0][fed >> 56];
}

}  // namespace

uint32_t CountNonBlank(const uint8_t* text, uint32_t length, uint32_t start)
{
    uint32_t count = 0;
    Walk(text, length, start, [&](uint8_t b) { count += !IsBlank(b); });
    return count;
}

uint32_t ObjectChecksum(const uint8_t* text, uint32_t length, uint32_t start, uint32_t initial)
{
    uint32_t acc = initial;
    Walk(text, length, start, [&](uint8_t b) { acc = Update(acc, b); });
    return acc;
}

std::string ProcessedBytes(const uint8_t* text, uint32_t length, uint32_t start)
{
    std::string out;
    Walk(text, length, start, [&](uint8_t b) { out.push_back(static_cast<char>(b)); });
    return out;
}

Fingerprint Compute(const uint8_t* text, uint32_t length, uint32_t start)
{
    // The walk of CountNonBlank and ObjectChecksum, eight bytes at a time
    // wherever the eight hold no "R" (whole images and fonts are
    // fingerprinted). Bytes are fed from the end: the word loaded from
    // text[k-7..k], byte-swapped, holds them in feeding order.
    Fingerprint f;
    uint32_t acc = 0xFFFFFFFFu;
    int64_t k = static_cast<int64_t>(length) - 1;
    const int64_t first = start;
    while (k >= first) {
#if defined(__SSE2__)
        if (k - 15 >= first) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + k - 15));
            if (_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8('R'))) == 0) {
                const __m128i blank = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(' ')),
                                                                _mm_cmpeq_epi8(v, _mm_set1_epi8('\r'))),
                                                   _mm_cmpeq_epi8(v, _mm_set1_epi8('\n')));
                uint32_t bits = static_cast<uint32_t>(_mm_movemask_epi8(blank));
                bits = bits - ((bits >> 1) & 0x5555u);
                bits = (bits & 0x3333u) + ((bits >> 2) & 0x3333u);
                bits = (bits + (bits >> 4)) & 0x0F0Fu;
                f.count += 16u - ((bits + (bits >> 8)) & 0x1Fu);
                uint64_t high, low;
                std::memcpy(&high, text + k - 7, sizeof(high));
                std::memcpy(&low, text + k - 15, sizeof(low));
                acc = UpdateWord(UpdateWord(acc, __builtin_bswap64(high)), __builtin_bswap64(low));
                k -= 16;
                continue;
            }
        }
#endif
        if (k - 7 >= first) {
            uint64_t word;
            std::memcpy(&word, text + k - 7, sizeof(word));
            if (BytesEqual(word, 'R') == 0) {
                f.count += 8u - CountFlags(BytesEqual(word, ' ') | BytesEqual(word, '\r') | BytesEqual(word, '\n'));
                acc = UpdateWord(acc, __builtin_bswap64(word));
                k -= 8;
                continue;
            }
        }
        if (!SkipReference(text, k, first))
            break;
        acc = Update(acc, text[k]);
        f.count += !IsBlank(text[k]);
        --k;
    }
    f.checksum = acc;
    return f;
}

}  // namespace fingerprint
