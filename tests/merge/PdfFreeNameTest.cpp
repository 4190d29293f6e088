// The one policy for names that would collide.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "merge/PdfFreeName.h"
#include "text/PdfTextString.h"

TEST(PdfFreeNameTest, CountsUpFromTheOrdinalAndKeepsTheEncoding)
{
    const std::set<std::string> taken = {"a-2", "a-3", "name"};
    const auto isTaken = [&](const std::string& n) { return taken.count(textstring::ToUtf8(n)) != 0; };
    EXPECT_EQ(freename::Find("a", 2, isTaken), "a-4");
    EXPECT_EQ(freename::Find("a", 5, isTaken), "a-5");
    EXPECT_EQ(freename::Find(std::string("\xFE\xFF\0a", 4), 2, isTaken), std::string("\xFE\xFF\0a\0-\0" "4", 8));
}
