// CPdfParser: tokens as the lexer cuts them, objects as the parser builds
// them, and stream objects located by /Length in a file window.
#include <gtest/gtest.h>

#include "base/CPdfException.h"
#include "base/CPdfInputFile.h"
#include "base/Messages.h"
#include "support/ObjectTestKit.h"
#include "reader/CPdfFileStream.h"
#include "support/PdfBuilder.h"

using Rows = std::vector<std::pair<std::string, std::string>>;

TEST(CPdfParserTest, TokensAndObjects)
{
    const Rows rows = {
        {"-5 5. .5 +5 1-2 12abc 1e5 -.5", "i:-5 r:5 r:0.5 k:+5 i:1 i:-2 i:12 k:abc i:1 k:e5 r:-0.5"},
        // 32-bit accumulation wraps; a lone sign or point is zero; a second point ends the number.
        {"4294967297 2147483648 -2147483648 - . 1.2.3 --5",
         "i:1 i:-2147483648 i:-2147483648 i:0 r:0 r:1.2 i:0 i:-5"},
        {R"((a(b)c) (a\)b) (\101) (\78) (\777) (\401) (\q) (\1234) (\n\r\t\b\f) (\\))",
         R"((a(b)c) (a)b) (A) (\x078) (\xff) (\x01) (q) (S4) (\x0a\x0d\x09\x08\x0c) (\x5c))"},
        // An escaped line end is dropped; an unescaped one is kept as written.
        {"(a\\\r\nb) (a\\\nb) (a\\\rb) (a\r\nb) (a\rb)", "(ab) (ab) (ab) (a\\x0d\\x0ab) (a\\x0db)"},
        {"(%x) (a\\000b) (a)) (open (inner)", "(%x) (a\\x00b) (a) error (open (inner))"}, {"(ends\\", "(ends)"},
        {"<41 4> <4z%> <> <41", "<41 4> <4z%> <> <41>"}, {"/\xE9t\xE9{", "/\xE9t\xE9 error"},
        // After "#" and one hex digit the next byte is taken, whatever it is.
        {"/A#20B /A#G /A#5 /B /A#5xy / y /A#00B /a#2f/B /A%c\n/C /A#4",
         "/A B /A#G /AP /B /APy / k:y /A /a/ /B /A /C /A@"},
        // 0x0B is not white space; 0x00 is.
        {std::string("abc%comment\ndef 1%x\r2 a\x0B" "b a") + '\0' + "b\f\tc %tail",
         "k:abc k:def i:1 i:2 k:a\x0B" "b k:a k:b k:c"},
        {"True true false null nullx ) { } > ] >> R obj",
         "k:True true false null k:nullx error error error error k:] k:>> k:R k:obj"},
        {"1 0 R 1 0 obj 1 2.0 R 1 R [5 0 R 6] 1 0 RG 1 0 /R",
         "1 0 R i:1 i:0 k:obj i:1 r:2 k:R i:1 k:R [5 0 R i:6] i:1 i:0 k:RG i:1 i:0 /R"},
        {"[[1] [2 [3]] ()] <</A<</B[]>>/C/D>>", "[[i:1] [i:2 [i:3]] ()] <</A <</B []>> /C /D>>"},
        {"[1 [2", "[i:1 [i:2]]"}, {"<< /A [1 (x", "<</A [i:1 (x)]>>"},
        // What cannot be an entry is dropped; the first value for a key wins.
        {"<< /A 1 2 /B 3 /C", "<</A i:1 /B i:3>>"},
        {"<< /A ) /B 2 /B 3 >>", "<</B i:2>>"}, {"<< 5 (s) /C /D /C 1 >> 7", "<</C /D>> i:7"},
    };
    for (const auto& [text, expected] : rows)
        EXPECT_EQ(DescribeAll(text), expected) << text;

    CPdfParser parser(nullptr, NewMemoryStream("1"));
    CPdfObject o;
    for (const char* expected : {"i:1", "kind 13", "kind 13"})  // OBJ_EOF on every later call
        EXPECT_EQ((parser.ParseObject(o), Describe(o)), expected);
}

// Parses text from a file through a whole-file window, as documents are read.
// A stream shows as {its data}, read once the parser has moved on, or
// undecoded as start+length of its window; a failure as the message thrown.
static std::string ParseFile(const std::string& text, CPdfResolver* resolver = nullptr, bool decode = true)
{
    MemoryFile file(text);
    CPdfInputFile input(file.Path());
    std::string out;
    try {
        CPdfParser parser(resolver, new CPdfFileStream(&input, 0, 0, CPdfObject()));
        parser.SetDecodeStreams(decode);
        for (CPdfObject o; parser.ParseObject(o), o.GetKind() != OBJ_EOF;) {
            CPdfStream* s = o.GetKind() == OBJ_STREAM ? o.GetStream() : nullptr;
            const std::string window = s ? std::to_string(s->GetStart()) + "+" + std::to_string(s->GetLength()) : "";
            out += (out.empty() ? "" : " ") + (!s ? Describe(o) : decode ? "{" + ReadAll(s) + "}" : window);
        }
    } catch (const CPdfException& e) {
        out = std::string("throws ") + e.GetMessageText();
    }
    return out;
}

TEST(CPdfParserTest, NestingIsBounded)
{
    const int max = CPdfParser::kMaxDepth;
    int depth = 0;
    CPdfObject o = ParseOne(std::string(max, '[') + std::string(max, ']')), inner;
    for (; o.GetKind() == OBJ_ARRAY; ++depth, o = std::move(inner))
        o.GetArray()->Get(0, inner);  // the innermost array is empty: null
    EXPECT_EQ(depth, max);
    std::string mixed;
    for (int i = 0; i <= max; ++i)
        mixed += i % 2 ? "[ " : "<< /K ";  // the deepest is a dictionary
    EXPECT_EQ(ParseFile(std::string(max + 1, '[')), std::string("throws ") + msg::kNestedTooDeep);
    EXPECT_EQ(ParseFile(mixed), std::string("throws ") + msg::kNestedTooDeep);
}

TEST(CPdfParserTest, StreamDataIsExactlyLengthBytesBeforeEndstreamBehindItsFilter)
{
    MapResolver resolver;
    resolver.objects[{9, 0}].SetInt(5);
    resolver.objects[{3, 0}].SetName("FlateDecode");
    resolver.objects[{6, 0}] = ParseOne("<< /Predictor 12 /Columns 5 >>");
    const std::string tail = "\nstream\nABCDE %c\nendstream 9", tagged = "\x02" "ABCDE\x02" "     ";  // PNG Up rows
    const std::string packed = Deflate(tagged), lookAhead = "error k:>> k:stream k:ABCDE k:endstream i:9";
    const std::string missing = std::string("throws ") + msg::kMissingEndstream;
    auto flate = [&](const std::string& entries) {
        const std::string length = " /Length " + std::to_string(packed.size());
        return "<< " + entries + length + " >>\nstream\n" + packed + "\nendstream 1";
    };
    const Rows rows = {
        {"<< /Length 5 >>" + tail, "{ABCDE} i:9"},
        {"<< /Length 9 >>" + tail, "{ABCDE %c\n} i:9"},  // ends in the comment before endstream
        {"<< /Length 9 0 R >>" + tail, "{ABCDE} i:9"},
        {"<< /Length 0 >>\nstream\n\nendstream 5", "{} i:5"},  // a window of length 0 otherwise runs to the end
        {"<< /Length 3 >>\nstream\r\nABC endstream", "{ABC}"}, {"<< /Length 3 >>\nstream\rABC endstream", "{ABC}"},
        {"<< /Length 3 >>\nstream  junk\nABC endstream", "{ABC}"},
        {"<< /Length 4 >>" + tail, missing}, {"<< /Length 10 >>" + tail, missing},
        {"<< /Length 2147483647 >>" + tail, missing}, {"<< /Length -20 >>" + tail, missing},
        {"<< /Length 2147483647 /Filter /FlateDecode >>" + tail, missing},
        // Without an integer /Length the dictionary is an error token and parsing goes on after it.
        {"<< >>" + tail, lookAhead}, {"<< /Length 5.0 >>" + tail, lookAhead}, {"<< /Length 8 0 R >>" + tail, lookAhead},
        // Only a single flate filter is supported; parameters come only from a dictionary.
        {flate("/Filter null"), "{" + packed + "} i:1"},
        {flate("/Filter /FlateDecode"), "{" + tagged + "} i:1"},
        {flate("/F /Fl /DP << /Predictor 12 /Columns 5 >>"), "{ABCDEabcde} i:1"},
        {flate("/Filter [3 0 R] /DecodeParms 6 0 R"), "{ABCDEabcde} i:1"},
        {flate("/Filter 3 0 R /F /LZWDecode /DecodeParms [6 0 R]"), "{" + tagged + "} i:1"},
        {flate("/Filter [/FlateDecode /FlateDecode]"), "error i:1"}, {flate("/Filter []"), "error i:1"},
        {flate("/Filter /flatedecode"), "error i:1"}, {flate("/F /FlateDecodeX"), "error i:1"},
    };
    for (const auto& [text, expected] : rows)
        EXPECT_EQ(ParseFile(text, &resolver), expected) << text;
    EXPECT_EQ(ParseFile("<< /Length 9 0 R >>" + tail), lookAhead);
    EXPECT_EQ(DescribeAll("<< /Length 5 >>" + tail), lookAhead);  // a memory stream cannot carry stream data
    const std::string plain = flate("/Filter /FlateDecode"), at = std::to_string(plain.find("stream\n") + 7);
    EXPECT_EQ(ParseFile(plain, nullptr, false), at + "+" + std::to_string(packed.size()) + " i:1");
}
