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

TEST(PdfTextStringTest, TextFromUtf8IsAsciiAsItIsAndUtf16Otherwise)
{
    EXPECT_EQ(textstring::FromUtf8("Report 2026"), "Report 2026");
    EXPECT_EQ(textstring::FromUtf8("Caf\xC3\xA9"), std::string("\xFE\xFF\0C\0a\0f\0\xE9", 10));
    // Beyond the basic plane: a surrogate pair.
    EXPECT_EQ(textstring::FromUtf8("\xF0\x9F\x98\x80"), std::string("\xFE\xFF\xD8\x3D\xDE\x00", 6));
    // Not UTF-8 (a lone continuation byte, an overlong form): Latin-1.
    EXPECT_EQ(textstring::FromUtf8("a\x80"), std::string("\xFE\xFF\0a\0\x80", 6));
    EXPECT_EQ(textstring::FromUtf8("\xC0\xAF"), std::string("\xFE\xFF\0\xC0\0\xAF", 6));
    // A control byte is not printable ASCII either.
    EXPECT_EQ(textstring::FromUtf8("a\tb"), std::string("\xFE\xFF\0a\0\t\0b", 8));
    for (const std::string& text : {std::string("K\xC3\xB6rve \xE2\x98\xBA"), std::string("\xF0\x9F\x98\x80!")})
        EXPECT_EQ(textstring::ToUtf8(textstring::FromUtf8(text)), text);
}
