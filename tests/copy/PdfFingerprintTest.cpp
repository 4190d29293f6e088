// The object fingerprint that finds duplicates: what it skips, and the runs
// it hashes against a plain byte walk.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#define XXH_INLINE_ALL
#include <xxhash.h>

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

std::string Processed(const std::string& text, uint32_t start = 0)
{
    return fingerprint::ProcessedBytes(Bytes(text), Size(text), start);
}

// The processed bytes one at a time from the end: an "R" after a space is
// dropped with the space, one more byte and the digits before it.
std::string WalkedBytes(const std::string& text, uint32_t start)
{
    std::string reversed;
    int64_t k = static_cast<int64_t>(text.size()) - 1;
    while (k >= start) {
        if (text[k] == 'R' && k - 1 >= start && text[k - 1] == ' ') {
            k -= 3;
            while (k >= start && text[k] >= '0' && text[k] <= '9')
                --k;
            if (k < start)
                break;
        }
        reversed.push_back(text[k]);
        --k;
    }
    std::reverse(reversed.begin(), reversed.end());
    return reversed;
}

}  // namespace

TEST(PdfFingerprintTest, GenerationsAreSkippedAndEveryOtherByteCounts)
{
    EXPECT_EQ(Print("[5 0 R]"), Print("[5 17 R]"));
    EXPECT_EQ(Processed("[5 17 R]"), "[5 ]");
    EXPECT_FALSE(Print("[5 0 R]") == Print("[6 0 R]"));
    EXPECT_FALSE(Print("<< /A 1 >>") == Print("<</A\r\n1>>"));
    // Where the runs split does not matter, only the bytes they hold.
    EXPECT_EQ(Print("ab 0 Rcd"), Print("ab 00 Rcd"));
    EXPECT_EQ(Processed("ab 0 Rcd"), "ab cd");
    EXPECT_EQ(Print("ab cd"), Print("ab 0 Rcd"));
    // An "R" without a space before it is an ordinary byte.
    EXPECT_EQ(Processed("/R 0R"), "/R 0R");
    // Nothing before the start index is read, and a reference reaching it
    // ends the processed bytes.
    EXPECT_EQ(Processed(" R", 1), "R");
    EXPECT_EQ(Processed("0 R", 1), "");
    EXPECT_EQ(Print("0 R", 1), Print(""));
    EXPECT_EQ(Processed("12 0 R x", 3), " x");
}

TEST(PdfFingerprintTest, TheRunsHoldWhatAByteWalkKeeps)
{
    std::mt19937 random(7);
    // Dense in references, or long stretches without any "R".
    const std::string alphabets[] = {"R R 0 12 \r\n/<>abc\x80\xff", " \r\n0/<>abc\x80\xff"};
    for (int round = 0; round < 3000; ++round) {
        // Long enough, now and then, for more runs than fit inline.
        std::string text(random() % (round % 10 == 0 ? 2000 : 300), ' ');
        const std::string& alphabet = alphabets[round % 2];
        for (char& c : text)
            c = random() % 100 == 0 ? 'R' : alphabet[random() % alphabet.size()];
        const uint32_t start = text.empty() ? 0 : static_cast<uint32_t>(random() % (text.size() + 1));
        const std::string walked = WalkedBytes(text, start);
        ASSERT_EQ(Processed(text, start), walked) << text;
        ASSERT_EQ(Print(text, start).hash, XXH3_64bits(walked.data(), walked.size())) << text;
    }
}
