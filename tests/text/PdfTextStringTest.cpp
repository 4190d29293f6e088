// Text strings compared by their text, whatever their encoding.
#include <gtest/gtest.h>

#include <string>

#include "text/PdfTextString.h"

TEST(PdfTextStringTest, EveryEncodingGivesItsTextAsUtf8)
{
    EXPECT_EQ(textstring::ToUtf8(std::string("\xFE\xFF\0n\0a\0m\0e", 10)), "name");
    EXPECT_EQ(textstring::ToUtf8("\xEF\xBB\xBFname"), "name");
    EXPECT_EQ(textstring::ToUtf8(std::string("\xFE\xFF\0\xE9\xD8\x3D\xDE\x00", 8)), "\xC3\xA9\xF0\x9F\x98\x80");
    EXPECT_EQ(textstring::ToUtf8("caf\xE9"), "caf\xC3\xA9");
    EXPECT_EQ(textstring::AppendAscii("a", "-2"), "a-2");
    EXPECT_EQ(textstring::AppendAscii(std::string("\xFE\xFF\0a", 4), "-2"), std::string("\xFE\xFF\0a\0-\0" "2", 8));
}
