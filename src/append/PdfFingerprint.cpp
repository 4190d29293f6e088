#include "append/PdfFingerprint.h"

#include <array>

namespace fingerprint {

namespace {

constexpr std::array<uint32_t, 256> MakeCrcTable()
{
    std::array<uint32_t, 256> table{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1u) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();

bool IsDigit(uint8_t c)
{
    return c >= '0' && c <= '9';
}

// Calls visit(byte) for each processed byte, from the end towards start.
template <typename Visit>
void Walk(const uint8_t* text, uint32_t length, uint32_t start, Visit visit)
{
    int64_t k = static_cast<int64_t>(length) - 1;
    const int64_t first = start;
    while (k >= first) {
        if (text[k] == 'R' && k >= 1 && text[k - 1] == ' ') {
            k -= 3;
            while (k >= first && IsDigit(text[k]))
                --k;
            if (k < first)
                break;
        }
        visit(text[k]);
        --k;
    }
}

}  // namespace

uint32_t CountNonBlank(const uint8_t* text, uint32_t length, uint32_t start)
{
    return Compute(text, length, start).count;
}

uint32_t ObjectChecksum(const uint8_t* text, uint32_t length, uint32_t start, uint32_t initial)
{
    uint32_t acc = initial;
    Walk(text, length, start, [&](uint8_t b) { acc = kCrcTable[(acc ^ b) & 0xFFu] ^ (acc >> 8); });
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
    Fingerprint f;
    uint32_t acc = 0xFFFFFFFFu;
    Walk(text, length, start, [&](uint8_t b) {
        acc = kCrcTable[(acc ^ b) & 0xFFu] ^ (acc >> 8);
        if (b != ' ' && b != '\r' && b != '\n')
            ++f.count;
    });
    f.checksum = acc;
    return f;
}

}  // namespace fingerprint
