// The object fingerprint that finds duplicates: what it treats as equal,
// where the text it reads begins, and its pieces hashed as one text.
#include <gtest/gtest.h>

#include <random>
#include <string>

#define XXH_INLINE_ALL
#include <xxhash.h>

#include "copy/PdfFingerprint.h"
#include "text/PdfObjectText.h"

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

uint32_t Start(const std::string& object)
{
    return fingerprint::TextStart(Bytes(object), Size(object));
}

}  // namespace

TEST(PdfFingerprintTest, OnlyTheGenerationsOfReferencesAreSetAside)
{
    EXPECT_EQ(Processed("[5 17 R]"), "[5 0 R]");
    EXPECT_EQ(Print("[5 0 R]"), Print("[5 17 R]"));
    EXPECT_EQ(Processed("<</A 12 0 R/B[1 2 R 3 00 R]>>"), "<</A 12 0 R/B[1 0 R 3 0 R]>>");
    EXPECT_FALSE(Print("[5 0 R]") == Print("[6 0 R]"));
    EXPECT_FALSE(Print("<< /A 1 >>") == Print("<</A\r\n1>>"));
    // A number is not a reference, whatever the bytes around it.
    EXPECT_FALSE(Print("[5 0 R]") == Print("[5 ]"));
    EXPECT_FALSE(Print("[5 0 R]") == Print("[5 R]"));
    // Strings, comments and stream data count byte for byte, even where
    // they read like references.
    EXPECT_FALSE(Print("<</T(Ref 12 R)>>") == Print("<</T(Ref 34 R)>>"));
    EXPECT_FALSE(Print("[1 %2 0 R\n]") == Print("[1 %2 1 R\n]"));
    EXPECT_FALSE(Print("<</Length 8>>stream\nA 1 12 R\nendstream") == Print("<</Length 8>>stream\nA 1 34 R\nendstream"));
    EXPECT_EQ(Processed("<</Length 8/F 4 2 R>>stream\nA 1 12 R\nendstream"),
              "<</Length 8/F 4 0 R>>stream\nA 1 12 R\nendstream");
    // Nothing before the start index is read.
    EXPECT_EQ(Processed("12 0 R x", 3), "0 R x");
    EXPECT_EQ(Processed("1 0 obj [2 5 R]", 8), "[2 0 R]");
    EXPECT_EQ(Print("abc", 3), Print(""));
}

TEST(PdfFingerprintTest, TheTextBeginsAfterTheHeaderAndOneWhiteSpaceByte)
{
    EXPECT_EQ(Start("5 0 obj<</A 1>>"), 7u);  // glued: nothing is skipped
    EXPECT_EQ(Start("5 0 obj\n<</A 1>>"), 8u);
    EXPECT_EQ(Start("5 0 obj\r\n<</A 1>>"), 8u);
    EXPECT_EQ(Start("12 3 obj [1]"), 9u);
    EXPECT_EQ(Start("12 0 ob"), 7u);  // no keyword: nothing to read
    // So the same value meets itself however the header is written.
    const std::string glued = "5 0 obj<</A 6 0 R>>\nendobj\n", spaced = "5 1 obj\n<</A 6 2 R>>\nendobj\n";
    EXPECT_EQ(Processed(glued, Start(glued)), Processed(spaced, Start(spaced)));
}

TEST(PdfFingerprintTest, TheHashIsTheHashOfTheProcessedBytes)
{
    std::mt19937 random(7);
    // Dense in references, or long stretches of data after "stream".
    const std::string words[] = {"1", "0", "12", "R", " ", "\r\n", "/A", "<<", ">>", "[", "]", "(x R)", "%c\n",
                                 "stream\n", "\x80\xff"};
    for (int round = 0; round < 2000; ++round) {
        std::string text;
        const size_t count = random() % (round % 10 == 0 ? 2000 : 100);
        for (size_t i = 0; i < count; ++i)
            text += words[random() % std::size(words)];
        const uint32_t start = text.empty() ? 0 : static_cast<uint32_t>(random() % (text.size() + 1));
        const std::string processed = Processed(text, start);
        ASSERT_EQ(Print(text, start).hash, XXH3_64bits(processed.data(), processed.size())) << text;
        // The matcher hands over the layout it scanned; the index scans
        // itself. Both must give the same print and key, or twins never meet.
        const std::string examined = text.substr(start);
        objecttext::Layout layout;
        objecttext::Scan(Bytes(examined), Size(examined), layout);
        ASSERT_EQ(fingerprint::Compute(Bytes(examined), Size(examined), layout), Print(text, start)) << text;
        ASSERT_EQ(fingerprint::ComputeKey(Bytes(examined), Size(examined), layout),
                  fingerprint::ComputeKey(Bytes(text), Size(text), start))
            << text;
    }
}

TEST(PdfFingerprintTest, AKeyIsTheSameFromTheWholeTextOrFromItsHeadAndTheStartOfItsData)
{
    const std::string head = "<</Length 5000/F 4 2 R>>stream\n";
    std::string data(5000, 'x');
    data[0] = 'a';
    const std::string tail = data + "\nendstream\nendobj\n";
    const std::string whole = head + tail;
    const auto key = fingerprint::ComputeKey(Bytes(whole), Size(whole), 0);
    EXPECT_EQ(key, fingerprint::ComputeKey(Bytes(head), Size(head), 0, Bytes(tail), Size(tail)));
    // A head longer than the key's bytes needs nothing of the data.
    const std::string longHead = "<</Length 5000/Name" + std::string(300, 'n') + ">>stream\n";
    EXPECT_EQ(fingerprint::ComputeKey(Bytes(longHead + tail), Size(longHead + tail), 0),
              fingerprint::ComputeKey(Bytes(longHead), Size(longHead), 0, nullptr, Size(tail)));
    // Equal processed bytes, equal keys; the start of the data or its
    // length tells others apart; a difference further on does not.
    EXPECT_EQ(key, fingerprint::ComputeKey(Bytes("<</Length 5000/F 4 0 R>>stream\n" + tail),
                                           Size("<</Length 5000/F 4 0 R>>stream\n" + tail), 0));
    std::string other = whole;
    other[head.size()] = 'b';
    EXPECT_FALSE(key == fingerprint::ComputeKey(Bytes(other), Size(other), 0));
    EXPECT_FALSE(key == fingerprint::ComputeKey(Bytes(whole), Size(whole) - 1, 0));
    other = whole;
    other[head.size() + 4000] = 'b';
    EXPECT_EQ(key, fingerprint::ComputeKey(Bytes(other), Size(other), 0));
    EXPECT_FALSE(Print(whole) == Print(other));
}
