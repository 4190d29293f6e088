// The token-aware scan of an object's text and its renumbering.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "text/CPdfTextLexer.h"
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

objecttext::Layout Scan(const std::string& text)
{
    objecttext::Layout layout;
    objecttext::Scan(Bytes(text), Size(text), layout);
    return layout;
}

std::string Renumber(const std::string& text, int64_t newNumber, int64_t offset)
{
    std::string out;
    objecttext::Renumber(Bytes(text), Size(text), Scan(text), newNumber,
                         [offset](int64_t n) { return n == 2 ? -1 : n + offset; }, out);
    return out;
}

}  // namespace

TEST(PdfObjectTextTest, ScanFindsHeaderReferencesStreamSplitAndDirectLength)
{
    const std::string text =
        "12 3 obj\r<< /A 5 0 R /B [6 0 R 7 1 R] /S (8 0 R \\) 9 0 R) /N /10 0 R /C % 12 0 R\n /H <3132> 13 0 R >>\r"
        "endobj\r";
    const objecttext::Layout layout = Scan(text);
    ASSERT_TRUE(layout.hasHeader);
    EXPECT_EQ(layout.number, 12);
    EXPECT_EQ(layout.generation, 3);
    EXPECT_EQ(layout.dictOpen, static_cast<int64_t>(text.find("<<")));
    EXPECT_FALSE(layout.isStream);
    // Strings, the name /10 and the comment hide their look-alikes.
    std::vector<std::pair<int64_t, int64_t>> refs;
    for (const auto& r : layout.references)
        refs.push_back({r.number, r.generation});
    EXPECT_EQ(refs, (std::vector<std::pair<int64_t, int64_t>>{{5, 0}, {6, 0}, {7, 1}, {13, 0}}));

    const std::string stream = "5 0 obj\n<< /Length 4 /Name /stream (stream) >>\nstream\n9 0 R endobj\nendstream\nendobj\n";
    const objecttext::Layout s = Scan(stream);
    EXPECT_TRUE(s.isStream);
    EXPECT_EQ(s.split, stream.find(">>\nstream") + 9);
    EXPECT_EQ(s.directLength, 4);
    EXPECT_TRUE(s.references.empty());
    EXPECT_EQ(Scan("1 0 obj << /Length 4 0 R >> stream\n").directLength, -1);
    const objecttext::Layout indirect = Scan("1 0 obj<</Length 14 2 R/Filter/FlateDecode>>stream\n");
    EXPECT_EQ(std::make_pair(indirect.lengthNumber, indirect.lengthGeneration), std::make_pair(int64_t{14}, int64_t{2}));
    EXPECT_EQ(s.lengthNumber, -1);
    EXPECT_EQ(Scan("1 0 obj << /D << /Length 4 >> >> stream\n").directLength, -1);
    EXPECT_EQ(Scan("1 0 obj [99999999999 0 R] endobj").references.at(0).number, -1);
}

TEST(PdfObjectTextTest, AnIndirectLengthIsReadOnlyFromAPlainIntegerObject)
{
    const auto value = [](const std::string& text, int64_t number = 14, int64_t generation = 0) {
        return objecttext::IntegerObjectValue(reinterpret_cast<const uint8_t*>(text.data()),
                                              static_cast<uint32_t>(text.size()), number, generation);
    };
    EXPECT_EQ(value("14 0 obj\n209\nendobj\n"), 209);
    EXPECT_EQ(value("14 0 obj 209 endobj 15 0 obj"), 209);
    EXPECT_EQ(value("14 0 obj%c\n209%c\nendobj\n"), 209);
    // Anything the parser would have to decide is left to it.
    EXPECT_EQ(value("14 0 obj\n209\nendobj\n", 15), -1);
    EXPECT_EQ(value("14 1 obj\n209\nendobj\n"), -1);
    EXPECT_EQ(value("14 0 obj\n209.0\nendobj\n"), -1);
    EXPECT_EQ(value("14 0 obj\n-209\nendobj\n"), -1);
    EXPECT_EQ(value("14 0 obj\n15 0 R\nendobj\n"), -1);
    EXPECT_EQ(value("14 0 obj\n99999999999\nendobj\n"), -1);
    EXPECT_EQ(value("14 0 obj\n209\nendobj"), -1);  // cut short: "endobj..."?
    EXPECT_EQ(value("14 0 obj\n209\nendobjX"), -1);
}

TEST(PdfObjectTextTest, ScanTellsAValueThatDoesNotCloseBeforeItsKeyword)
{
    EXPECT_FALSE(Scan("1 0 obj<</A[1 2]/B<</C(>>)>>>>endobj").unbalanced);
    EXPECT_FALSE(Scan("1 0 obj<</Length 2>>stream\n").unbalanced);
    EXPECT_TRUE(Scan("1 0 obj<</A 1>>>>endobj").unbalanced);
    EXPECT_TRUE(Scan("1 0 obj<</A[1 2 endobj").unbalanced);
    // The keyword inside a dictionary still open: no stream of this object.
    EXPECT_TRUE(Scan("1 0 obj<</Length 2 trailer<</Root 1 0 R>>stream\n").unbalanced);
}

TEST(PdfObjectTextTest, LineEndLengthIsTheLineEndBeforeEndstream)
{
    const auto length = [](const std::string& text) { return objecttext::LineEndLength(Bytes(text), Size(text)); };
    EXPECT_EQ(length("data\r\n"), 2u);
    EXPECT_EQ(length("data\n"), 1u);
    EXPECT_EQ(length("data\r"), 1u);
    EXPECT_EQ(length("data\n\r"), 1u);
    EXPECT_EQ(length("\r\n"), 2u);
    EXPECT_EQ(length("data"), 0u);
    EXPECT_EQ(length(""), 0u);
}

TEST(PdfObjectTextTest, RenumberRewritesHeaderAndReferencesOnly)
{
    EXPECT_EQ(Renumber("12 0 obj << /A 5 0 R >> endobj\n", 112, 100), "112 0 obj << /A 105 0 R >> endobj\n");
    EXPECT_EQ(Renumber("7 2 obj\r[5 0 R 6 0 R 5 10 R (9 0 R) 2 0 R]endobj\r", 9, 1000),
              "9 2 obj\r[1005 0 R 1006 0 R 1005 10 R (9 0 R) 2 0 R]endobj\r");
    EXPECT_EQ(Renumber("3 0 obj<</Type/Pages/Kids[4 0 R]/Count 1>>endobj\n", 13, 10),
              "13 0 obj<</Type/Pages/Kids[14 0 R]/Count 1>>endobj\n");
    EXPECT_EQ(Renumber("5 0 obj\n<< /Length 5 /P 6 0 R >>\nstream\n7 0 R\nendstream\nendobj\n", 50, 40),
              "50 0 obj\n<< /Length 5 /P 46 0 R >>\nstream\n7 0 R\nendstream\nendobj\n");
}

TEST(PdfObjectTextTest, StringValuesAsTheParserReadsThem)
{
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"(a(b)c)", "a(b)c"}, {R"((a\)b))", "a)b"}, {R"((\101\78\777\401\1234))", "A\x07" "8\xff\x01S4"},
        {"(a\\\r\nb\\\nc\\\rd)", "abcd"}, {"(a\r\nb)", "a\r\nb"}, {R"((\n\r\t\b\f\q\\))", "\n\r\t\b\fq\\"},
        {"(open", "open"}, {"(ends\\", "ends"}, {"<41 4z2>", "AB"}, {"<414>", "A@"}, {"<>", ""}, {"<41", "A"},
    };
    for (const auto& [text, value] : rows) {
        CPdfTextLexer lexer(Bytes(text), Size(text));
        TextToken token;
        ASSERT_TRUE(lexer.Next(token)) << text;
        EXPECT_EQ(lexer.StringValue(token), value) << text;
    }
}

TEST(PdfObjectTextTest, RewriteStringsGivesEveryStringInHexadecimal)
{
    const auto upper = [](const std::string& v) {
        std::string out = v;
        for (char& c : out)
            c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
        return out + "!";
    };
    const std::string text = "5 0 obj<</A(ab)/B<6364>/C[(e\\)f)]/N/x% (y)\n/D 1>>stream\n(data)";
    const uint32_t split = static_cast<uint32_t>(text.find("stream") + 6);
    std::string out;
    objecttext::RewriteStrings(Bytes(text), Size(text), split, upper, out);
    // Names and comments are no strings; nothing after the end is touched.
    EXPECT_EQ(out, "5 0 obj<</A<414221>/B<434421>/C[<45294621>]/N/x% (y)\n/D 1>>stream\n(data)");
}
