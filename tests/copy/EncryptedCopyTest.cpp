// Raw copying from encrypted documents: the text of each object comes in
// its decrypted form (strings in hexadecimal, stream data with a direct
// /Length of the decrypted data, every other byte as written), and large
// stream data is decrypted on its way from file to file. (Whole jobs are
// judged end to end, in test_encryption.py.)
#include <gtest/gtest.h>

#include "support/AppendTestKit.h"
#include "support/EncryptTestKit.h"

using namespace encrypttest;

TEST(EncryptedCopyTest, RawTextsComeDecrypted)
{
    const std::string flate = Deflate(kFlateContent), large = LargeData();
    for (const Scheme* scheme : {&kRc4, &kAes, &kAesClearMetadata}) {
        SCOPED_TRACE(scheme->name);
        const std::string file = Document(*scheme);
        const auto written = [&](int number) {  // an object as the file has it
            const size_t at = file.rfind("\n" + std::to_string(number) + " 0 obj") + 1;
            return file.substr(at, file.find("endobj", at) + 7 - at);
        };
        RawReading reading(file);
        const std::vector<std::pair<int, std::string>> rows = {
            {4, "4 0 obj\n<</Length 21>>stream\n" + kContent + "\nendstream\nendobj\n"},
            {5, "5 2 obj\n<</Title" + Hex(kTitle) + "/Subject" + Hex("Subject") + "/K[" + Hex("in an array") +
                    "<</D<>>>]>>\nendobj\n"},
            // An indirect /Length becomes the direct length of the decrypted data.
            {6, "6 0 obj\n<</Length " + std::to_string(flate.size()) + "/Filter/FlateDecode>>stream\r\n" + flate +
                    "\r\nendstream\nendobj\n"},
            {8, "8 0 obj\n<</Type/Metadata/Subtype/XML/Length " + std::to_string(kMetadata.size()) + ">>stream\n" +
                    kMetadata + "\nendstream\nendobj\n"},
            // The /Encrypt dictionary and the cross-reference stream as written.
            {9, written(9)},
            {12, "12 0 obj\r" + kMember + "endobj\r"},
            {13, written(13)},
        };
        for (const auto& [number, expected] : rows)
            EXPECT_EQ(reading.Read(number), expected) << number;

        // A large stream: the head states the decrypted length, the data is
        // decrypted from the file when it is written or materialised.
        CPdfRawObject tail, whole;
        ASSERT_TRUE(reading.Read(10, tail, true));
        ASSERT_TRUE(tail.HasTail());
        const std::string head = "10 0 obj\n<</Type/XObject/Subtype/Form/BBox[0 0 9 9]/Length " +
                                 std::to_string(large.size()) + ">>stream\n";
        EXPECT_EQ(Text(tail), head);
        ASSERT_NE(tail.GetTailDecryptor(), nullptr);
        EXPECT_EQ(tail.GetTailPlainLength(), static_cast<int64_t>(large.size()));
        EXPECT_EQ(tail.GetLength(), head.size() + large.size() + 18);
        ASSERT_TRUE(reading.Read(10, whole, false));
        EXPECT_EQ(Text(whole), head + large + "\nendstream\nendobj\n");
        ASSERT_TRUE(tail.Materialize());
        EXPECT_EQ(Text(tail), Text(whole));
    }
}
