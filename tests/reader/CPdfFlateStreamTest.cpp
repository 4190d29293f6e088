// CPdfFlateStream and its predictors. Predicted inputs are made by plain
// encoders written here, so a decoder fault cannot cancel itself out.
#include <gtest/gtest.h>

#include <array>
#include <climits>

#include "support/ObjectTestKit.h"
#include "reader/CPdfFlateStream.h"
#include "object/CPdfStreamRef.h"
#include "support/PdfBuilder.h"

static int U8(char c) { return static_cast<uint8_t>(c); }

// Reproducible bytes; a small mask makes equal neighbours (Paeth ties) common.
static std::string Noise(size_t n, uint32_t seed, int mask = 0xFF)
{
    std::string out(n, '\0');
    for (char& c : out)
        c = static_cast<char>(((seed = seed * 1103515245u + 12345u) >> 16) & static_cast<uint32_t>(mask));
    return out;
}

static std::string Inflate(const std::string& packed, int32_t predictor = 1, int32_t columns = 1,
                           int32_t colors = 1, int32_t bits = 8)
{
    CPdfStreamRef s(new CPdfFlateStream(NewMemoryStream(packed), predictor, columns, colors, bits));
    return ReadAll(s.Get());
}

// PNG row filters, the type of each row taken in turn from types.
static std::string PngEncode(const std::string& data, size_t rowBytes, size_t bpp, const std::vector<int>& types)
{
    std::string out, prev(rowBytes, '\0');
    for (size_t r = 0; r * rowBytes < data.size(); ++r) {
        const std::string row = data.substr(r * rowBytes, rowBytes);
        out += static_cast<char>(types[r % types.size()]);
        for (size_t i = 0; i < row.size(); ++i) {
            const int a = i >= bpp ? U8(row[i - bpp]) : 0, b = U8(prev[i]), c = i >= bpp ? U8(prev[i - bpp]) : 0;
            const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
            const int predicted[] = {0, a, b, (a + b) / 2, (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c)};
            out += static_cast<char>(U8(row[i]) - predicted[types[r % types.size()]]);
        }
        prev = row;
    }
    return out;
}

// Samples of `bits` bits packed from the most significant bit on, rows padded to whole bytes.
static std::string Pack(const std::vector<uint32_t>& samples, size_t perRow, int bits)
{
    std::string out;
    for (size_t r = 0; r < samples.size() / perRow; ++r) {
        std::string row((perRow * bits + 7) / 8, '\0');
        for (size_t bit = 0; bit < perRow * bits; ++bit)
            if ((samples[r * perRow + bit / bits] >> (bits - 1 - bit % bits)) & 1u)
                row[bit / 8] = static_cast<char>(U8(row[bit / 8]) | (0x80 >> (bit % 8)));
        out += row;
    }
    return out;
}

using Layouts = std::vector<std::array<int32_t, 3>>;  // colours, bits per component, columns

TEST(CPdfFlateStreamTest, DamagedOrTruncatedDataEndsAtTheLastCompleteChunk)
{
    const std::string noise = Noise(3000, 7), zeros(5130, '\0');
    EXPECT_EQ(Inflate(Deflate(noise)), noise);
    // A stored block, not the last, of 3000 bytes: the third chunk meets an invalid block type.
    const std::string stored = std::string("\x78\x01\x00\xB8\x0B\x47\xF4", 7) + noise;
    EXPECT_EQ(Inflate(stored + "\x07"), noise.substr(0, 2048));
    EXPECT_EQ(Inflate(stored.substr(0, 1507)), noise.substr(0, 1500));
    // Zeros pack about 200:1. Without the checksum, the last input byte can be
    // taken while its output no longer fits the chunk.
    for (size_t size : {3074, 4100, 5130}) {
        const std::string packed = Deflate(zeros.substr(0, size));
        EXPECT_EQ(Inflate(packed.substr(0, packed.size() - 4)), zeros.substr(0, size)) << size;
    }
    EXPECT_EQ(Inflate("not zlib at all") + Inflate(""), "");
}

TEST(CPdfFlateStreamTest, PngPredictorsUndoEveryRowFilterInWholeRows)
{
    for (auto [colors, bits, columns] : Layouts{{1, 8, 5}, {3, 8, 4}, {2, 16, 2}, {1, 4, 7}, {1, 1, 13}}) {
        const size_t rowBytes = (size_t(columns) * colors * bits + 7) / 8, bpp = (colors * bits + 7) / 8;
        for (int mask : {0x03, 0xFF}) {
            const std::string data = Noise(rowBytes * 15, static_cast<uint32_t>(rowBytes + mask), mask);
            const std::string packed = Deflate(PngEncode(data, rowBytes, bpp, {0, 1, 2, 3, 4, 4, 3, 2, 1}));
            for (int32_t predictor : {10, 12, 15})  // every predictor from 10 up reads the tag of each row
                EXPECT_EQ(Inflate(packed, predictor, columns, colors, bits), data)
                    << colors << " colors " << bits << " bits " << columns << " columns, mask " << mask;
        }
    }
    // A row cut short is dropped; a tag above 4 passes the row through.
    EXPECT_EQ(Inflate(Deflate(PngEncode("0123456789", 5, 1, {1}) + "\x01xyz"), 12, 5), "0123456789");
    EXPECT_EQ(Inflate(Deflate("\x07" "abcd\x05" "ABCD"), 10, 4), "abcdABCD");
}

TEST(CPdfFlateStreamTest, TiffPredictorAddsTheSampleOneColourBack)
{
    for (auto [colors, bits, columns] : Layouts{{3, 8, 5}, {1, 1, 20}, {2, 4, 5}, {1, 2, 7}, {3, 16, 2}}) {
        const size_t perRow = size_t(columns) * colors;
        const uint32_t mask = (1u << bits) - 1;
        const std::string noise = Noise(perRow * 12, static_cast<uint32_t>(perRow * bits));
        std::vector<uint32_t> samples, differences;
        for (size_t i = 0; i < perRow * 6; ++i) {
            samples.push_back((U8(noise[2 * i]) << 8 | U8(noise[2 * i + 1])) & mask);
            differences.push_back((samples[i] - (i % perRow >= size_t(colors) ? samples[i - colors] : 0)) & mask);
        }
        EXPECT_EQ(Inflate(Deflate(Pack(differences, perRow, bits)), 2, columns, colors, bits),
                  Pack(samples, perRow, bits))
            << colors << " colors " << bits << " bits " << columns << " columns";
    }
}

TEST(CPdfFlateStreamTest, AbsurdPredictorParametersEndTheDataAtOnce)
{
    const std::string packed = Deflate(std::string(64, '\x01'));
    const int32_t big = 1 << 20;
    for (auto [colors, bits, columns] : Layouts{{1, 8, 0}, {1, 8, -1}, {0, 8, 5}, {-3, 8, 5}, {1, 0, 5}, {1, 17, 5},
                                                {1, -8, 5}, {1, 8, INT_MAX}, {INT_MAX, 8, 1}, {INT_MAX, 16, INT_MAX},
                                                {1, 8, big}, {1, 16, big / 2}})
        for (int32_t predictor : {2, 12})
            EXPECT_EQ(Inflate(packed, predictor, columns, colors, bits), "") << colors << " " << bits << " " << columns;
    // The longest row accepted is 1 MiB, the pixel in front included, even with a full row there.
    const std::string oneRow = Deflate(std::string(1, '\0') + std::string(big, '\x01'));
    EXPECT_EQ(Inflate(oneRow, 12, big - 1), std::string(big - 1, '\x01'));
    EXPECT_EQ(Inflate(oneRow, 12, big), "");
}
