// Numbers as the written file holds them: a table entry's fixed fields, and
// plain decimal numbers, at their limits.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "base/PdfFileFormat.h"

TEST(PdfFileFormatTest, NumbersAreTheirDecimalDigits)
{
    char out[21];
    for (const int64_t value : {int64_t{0}, int64_t{7}, int64_t{-1}, int64_t{10}, int64_t{2147483648},
                                std::numeric_limits<int64_t>::max(), std::numeric_limits<int64_t>::min()}) {
        const size_t n = pdfformat::FormatNumber(value, out);
        EXPECT_EQ(std::string(out, n), std::to_string(value));
        EXPECT_EQ(out[n], '\0');
        if (value >= 0) {
            EXPECT_EQ(static_cast<int>(n), pdfformat::CountDigits(value));
        }
    }
}

TEST(PdfFileFormatTest, AnEntryIsTwentyBytesOfFixedFields)
{
    char out[pdfformat::kEntrySize];
    pdfformat::FormatEntry(1234567890, 65535, false, out);
    EXPECT_EQ(std::string(out, sizeof(out)), "1234567890 65535 f \r");
    pdfformat::FormatEntry(17, 0, true, out);
    EXPECT_EQ(std::string(out, sizeof(out)), "0000000017 00000 n \r");
}
