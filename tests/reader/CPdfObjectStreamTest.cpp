// Objects kept in object streams: the members FetchObject parses, the raw
// member bytes of GetCompressedObjectData, and object streams not to be trusted.
#include <array>

#include "support/XRefFixture.h"

namespace {

// Catalog 1, the objects, and an xref stream naming the members {number, stream, index}.
using Members = std::vector<std::array<int, 3>>;
std::string File(const std::vector<std::pair<int, std::string>>& objects, const Members& members)
{
    PdfAssembler a;
    a.Object(1, "<< /Type /Catalog >>");
    a.Objects(objects);
    for (const auto& [number, stream, index] : members)
        a.SetEntry(number, 2, size_t(stream), index);
    a.StartXRef(a.XRefStream(60, {}, "/Root 1 0 R"));
    return a.Bytes();
}

// The raw bytes of a member, or "<none>" (with length 0).
std::string Raw(LoadedXRef& xref, int number, int generation = 0)
{
    int32_t length = -1;
    const uint8_t* data = xref->GetCompressedObjectData(number, generation, length);
    return data ? std::string(reinterpret_cast<const char*>(data), size_t(length)) : length ? "<length>" : "<none>";
}

}  // namespace

TEST(CPdfObjectStreamTest, MembersComeFromTheDecodedStreamPastFirst)
{
    // Stream 10 has bytes between /First and its first member, and its /N
    // lies in stream 11: loading 10 loads 11 on the way.
    const std::string ten = Deflate("30 7 31 27 32 33\n] ) >> << /Kids [1 0 R] >> [1 2] (str) ");
    LoadedXRef xref(File({{10, StreamObject("/Type /ObjStm /N 50 0 R /First 17 /Filter /FlateDecode", ten)},
                          {11, StreamObject("/Type /ObjStm /N 2 /First 10", "50 0 51 2\n3 (51) ")}},
                         {{30, 10, 0}, {31, 10, 1}, {32, 10, 2}, {33, 10, 1}, {34, 10, 7}, {50, 11, 0}, {51, 11, 1}}));
    EXPECT_EQ(xref.Kind(30), OBJ_DICTIONARY);
    EXPECT_EQ(xref.Kind(31), OBJ_ARRAY);
    EXPECT_EQ(xref.String(32) + xref.String(51), "str51");
    EXPECT_EQ(Raw(xref, 30) + Raw(xref, 31) + Raw(xref, 32), "<< /Kids [1 0 R] >> [1 2] (str) ");
    // Generation 1; the header lists 31 at index 1; no index 7; not compressed.
    for (const auto& [number, generation] : {std::pair(30, 1), std::pair(33, 0), std::pair(34, 0), std::pair(1, 0)}) {
        EXPECT_EQ(Raw(xref, number, generation), "<none>") << number;
        EXPECT_EQ(xref.Kind(number, generation), number == 1 ? OBJ_DICTIONARY : OBJ_NULL) << number;
    }
}

TEST(CPdfObjectStreamTest, UntrustworthyObjectStreamsHaveNoMembers)
{
    auto file = [](const std::string& dict, const std::string& content = "30 0 \n(thirty) ") {
        return File({{10, StreamObject("/Type /ObjStm " + dict, content)}}, {{30, 10, 0}});
    };
    EXPECT_EQ(LoadedXRef(file("/N 1 /First 6")).String(30), "thirty");  // the usable form
    // Unusable headers and offsets, a plain dictionary, a stream lying in itself, two in each other.
    const std::string files[] = {
        file("/N 0 /First 6"), file("/N 1"), file("/N /One /First 6"), file("/N 1 /First 9999"), file("/N 1 /First -5"),
        file("/N 2 /First 6"), file("/N 1 /First 8", "30 /x   (thirty)"), file("/N 1 /First 6", "30 90 (thirty)"),
        file("/N 1 /First 6", "30 -9 (thirty)"), file("/N 2 /First 10", "30 6 31 0 (a)   (b)"),
        File({{10, "<< /N 1 /First 5 >>"}}, {{30, 10, 0}}), File({}, {{10, 10, 1}, {30, 10, 0}}),
        File({}, {{10, 11, 0}, {11, 10, 0}, {30, 10, 1}}),
    };
    for (const std::string& bytes : files) {
        LoadedXRef xref(bytes);
        EXPECT_EQ(xref.Kind(30), OBJ_NULL) << bytes;
        EXPECT_EQ(Raw(xref, 30), "<none>") << bytes;
    }
}
