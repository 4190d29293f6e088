// The object fingerprint that finds duplicates: what it skips, and its fast
// path against the byte walk.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "copy/PdfFingerprint.h"

namespace {

const uint8_t* Bytes(const std::string& s)
{
    return reinterpret_cast<const uint8_t*>(s.data());
}

uint32_t Size(const std::string& s)
{
    return static_cast<uint32_t>(s.size());
}

fingerprint::Fingerprint Print(const std::string& text, uint32_t start = 0)
{
    return fingerprint::Compute(Bytes(text), Size(text), start);
}

}  // namespace

TEST(PdfFingerprintTest, GenerationsAreSkippedAndEveryOtherByteCounts)
{
    EXPECT_EQ(Print("[5 0 R]"), Print("[5 17 R]"));
    EXPECT_FALSE(Print("[5 0 R]") == Print("[6 0 R]"));
    EXPECT_FALSE(Print("<< /A 1 >>") == Print("<</A\r\n1>>"));
    // Nothing before the start index is read.
    EXPECT_EQ(Print(" R", 1).count, 1u);
    EXPECT_EQ(Print("0 R", 1).count, 0u);
}

TEST(PdfFingerprintTest, EightBytesAtATimeAgreesWithTheByteWalk)
{
    std::mt19937 random(7);
    // Dense in references, or long stretches without any "R".
    const std::string alphabets[] = {"R R 0 12 \r\n/<>abc\x80\xff", " \r\n0/<>abc\x80\xff"};
    for (int round = 0; round < 2000; ++round) {
        std::string text(random() % 300, ' ');
        const std::string& alphabet = alphabets[round % 2];
        for (char& c : text)
            c = random() % 100 == 0 ? 'R' : alphabet[random() % alphabet.size()];
        const uint32_t start = text.empty() ? 0 : static_cast<uint32_t>(random() % (text.size() + 1));
        ASSERT_EQ(Print(text, start).count, fingerprint::CountNonBlank(Bytes(text), Size(text), start)) << text;
        ASSERT_EQ(Print(text, start).checksum, fingerprint::ObjectChecksum(Bytes(text), Size(text), start, ~0u)) << text;
    }
}
