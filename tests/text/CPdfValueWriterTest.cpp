// Parsed values written back as text: strings in hexadecimal, names with
// # escapes, reals without exponents, references through the mapping, and
// the text parses back to the same value.
#include <gtest/gtest.h>

#include "support/ObjectTestKit.h"
#include "text/CPdfValueWriter.h"

TEST(CPdfValueWriterTest, ValuesRoundTripWithReferencesMapped)
{
    const CPdfValueWriter writer([](int64_t n) { return objecttext::Target{n + 100, n == 3 ? 2 : -1}; });
    const CPdfObject value =
        ParseOne("<</Name/A#20B/S(a\\)b)/N[1 -2.5 0.000001 true null]/R 3 0 R/Q 4 1 R/D<</E<<>>>>>>");
    const std::string text = writer.ToText(value);
    // Keys come in the parser's order.
    EXPECT_EQ(text, "<</D<</E<<>>>>/N[1 -2.5 0.000001 true null]/Name/A#20B/Q 104 1 R/R 103 2 R/S<612962>>>");
    // Read back and written with no mapping, the text stays as it is.
    const CPdfValueWriter same([](int64_t n) { return objecttext::Target{n}; });
    EXPECT_EQ(same.ToText(ParseOne(text)), text);
    std::string out = "/Key";
    writer.Write(ParseOne("/Value"), out);
    writer.Write(ParseOne("7"), out);
    EXPECT_EQ(out, "/Key/Value 7");
}
