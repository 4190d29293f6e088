// Predictor rows as the cross-reference and object streams use them: PNG
// rows of each tag, TIFF differencing, and parameters that give no row.
#include <gtest/gtest.h>

#include <string>

#include "reader/CPdfPredictor.h"

namespace {

std::string Decode(CPdfPredictor& p, const std::vector<uint8_t>& encoded)
{
    std::string out;
    for (size_t at = 0; at + p.GetEncodedRowSize() <= encoded.size(); at += p.GetEncodedRowSize()) {
        const uint8_t* row = p.DecodeRow(encoded.data() + at);
        out.append(reinterpret_cast<const char*>(row), p.GetRowSize());
    }
    return out;
}

}  // namespace

TEST(CPdfPredictorTest, PngRowsOfEveryTagDecodeAgainstThePreviousRow)
{
    // Rows of 3 one-byte columns: None, Sub, Up, Average, Paeth.
    CPdfPredictor p(12, 3, 1, 8);
    ASSERT_TRUE(p.IsUsable());
    EXPECT_EQ(p.GetEncodedRowSize(), 4u);
    EXPECT_EQ(p.GetRowSize(), 3u);
    const std::vector<uint8_t> rows = {0, 10, 20, 30,   // as written
                                       1, 1, 1, 1,      // each plus the byte before
                                       2, 1, 1, 255,    // each plus the byte above
                                       3, 2, 2, 2,      // plus the mean of left and above
                                       4, 0, 0, 0};     // the Paeth choice
    const std::string out = Decode(p, rows);
    const std::string expected = {10, 20, 30, 1, 2, 3, 2, 3, 2, 3, 5, 5, 3, 5, 5};
    EXPECT_EQ(out, expected);
    EXPECT_EQ(CPdfPredictor::Paeth(10, 20, 15), 15);
    EXPECT_EQ(CPdfPredictor::Paeth(10, 20, 10), 20);
    EXPECT_EQ(CPdfPredictor::Paeth(10, 20, 20), 10);
}

TEST(CPdfPredictorTest, TiffDifferencingAndRowsThatCannotBe)
{
    CPdfPredictor tiff(2, 4, 1, 8);
    ASSERT_TRUE(tiff.IsUsable());
    EXPECT_EQ(tiff.GetEncodedRowSize(), 4u);
    const std::string expected = {5, 6, 8, 7};
    EXPECT_EQ(Decode(tiff, {5, 1, 2, 255}), expected);
    uint8_t packed[1] = {0x5A};  // 4-bit samples 5, 10: 5, 15
    CPdfPredictor::UndoHorizontalDifferencing(packed, 2, 1, 4);
    EXPECT_EQ(packed[0], 0x5F);
    EXPECT_FALSE(CPdfPredictor(12, 0, 1, 8).IsUsable());
    EXPECT_FALSE(CPdfPredictor(12, 3, 0, 8).IsUsable());
    EXPECT_FALSE(CPdfPredictor(12, 1 << 30, 4, 16).IsUsable());
}
