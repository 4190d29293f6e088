// The cross-reference data of one file: classic tables and cross-reference
// streams chained by /Prev, hybrid files, and fetching objects by number.
#include "support/XRefFixture.h"

using namespace std::string_literals;

namespace {

const std::string kCatalog = "<< /Type /Catalog >>";

// "size: n:offset,generation,type ..." over the entries set, or the message loading raises.
std::string Outcome(const std::string& bytes)
{
    std::string dump;
    const std::string error = ErrorOf([&] {
        LoadedXRef xref(bytes);
        dump = std::to_string(xref->GetEntries().size()) + ":";
        for (size_t n = 0; n < xref->GetEntries().size() && dump.size() < 999; ++n) {  // a bounded dump
            const XRefEntry& e = xref->GetEntries()[n];
            if (e.offset != -1 || e.generation != 0 || e.type != 0)
                dump += " " + std::to_string(n) + ":" + std::to_string(e.offset) + "," + std::to_string(e.generation) +
                        "," + std::to_string(e.type);
        }
    });
    return error.empty() ? dump : error;
}

// A catalog, then `section` ("xref ..." or an object), then startxref naming it.
std::string WithSection(const std::string& section)
{
    const std::string head = "%PDF-1.5\n1 0 obj\n" + kCatalog + "\nendobj\n";
    return head + section + "\nstartxref\n" + std::to_string(head.size()) + "\n%%EOF\n";
}

}  // namespace

TEST(CPdfXRefTest, NewestSectionWinsInEitherForm)
{
    for (const int forms : {0, 1, 2, 3}) {  // bit 0: the older section is a stream; bit 1: the newest is
        PdfAssembler a;
        a.Objects({{1, kCatalog}, {5, "(old)"}, {6, "(six)"}});
        const size_t older = forms & 1 ? a.XRefStream(20, {}, "/Root 1 0 R", true) : a.Table({}, "/Root 1 0 R");
        a.StartXRef(older);  // not the last startxref, so not the one read
        a.Object(5, "(new)");
        const std::string trailer = "/Root 1 0 R /Prev " + std::to_string(older);
        a.StartXRef(forms & 2 ? a.XRefStream(21, {5}, trailer) : a.Table({5}, trailer));
        LoadedXRef xref(a.Bytes());
        EXPECT_EQ(xref.String(5) + xref.String(6), "newsix") << forms;
    }
}

TEST(CPdfXRefTest, TableSectionsGiveTheirEntriesOrMessages)
{
    const std::string entry = "0000000009 00000 n \n", head = "xref\n0 1\n" + entry, root = "trailer\n<< /Root 1 0 R";
    const std::string self = std::to_string(WithSection("").find("\nstartxref")), bad = msg::kCantParseXRefTable;
    // `newer`, then `older`, which the "@" in newer names (with leading zeros).
    auto chain = [&](std::string newer, const std::string& older) {
        const std::string at = std::to_string(std::stoul(self) + newer.size() + 9);
        return newer.replace(newer.find('@'), 1, std::string(10 - at.size(), '0') + at) + older;
    };
    const std::string free2 = "xref\n2 1\n0000000000 00000 f \n", five = "xref\n5 1\n" + entry + root + ">>";
    const std::pair<std::string, std::string> cases[] = {
        {"xref\n0 2\n0000000000 65535 f \n" + entry + "10 2\n0000000100 00003 n \n0000000200 00000 f \n" + root +
             " /Size 3>>", "12: 0:0,65535,0 1:9,0,1 10:100,3,1 11:200,0,0"},  // grown past /Size, the gap unset
        {head + root + " /Prev " + self + ">>", "1: 0:9,0,1"},  // names itself as the previous section
        {chain(head + root + " /Prev @>>\n", head + root + " /Prev " + self + ">>"), "1: 0:9,0,1"},  // each the other
        {chain(free2 + root + " /Prev @ 0 R>>\n", five), "3: 2:0,0,0"},  // an indirect /Prev ends the chain
        {chain(free2 + "trailer\n<< /Prev @>>\n", five), msg::kDamaged},  // no /Root in the newest trailer
        {"xref\n0 1\n0000000009 00000 x \n" + root + ">>", bad}, {"xref\n0 3\n" + entry + entry + root + ">>", bad},
        {head, bad}, {"xref\n-1 2\n" + entry + entry + root + ">>", bad}, {"xref\n0 -1\n" + root + ">>", bad},
        {"xref\n/A 1\n" + entry + root + ">>", bad}, {"xref\n0 2000000000\n" + entry + root + ">>", msg::kXRefTooLarge},
        {"xref\n8388600 9\n" + entry + root + ">>", msg::kXRefTooLarge}, {root + ">>", msg::kCantParseXRef},
        {head + "trailer\n[/Root 1 0 R]", msg::kTrailerWrongType}, {"2 0 foo", msg::kCantParseXRefStream},
        {"2 0 obj\n<< /Root 1 0 R >>\nendobj", msg::kCantParseXRefStream},
        {head + "trailer\n<< /Size 1 >>", msg::kDamaged}, {head + "trailer\n<< /Root << >> >>", msg::kDamaged},
        {head + root + " /Encrypt 7 0 R >>", msg::kEncrypted},
        {head + root + " /XRefStm 9 >>", msg::kCantParseXRefStream},  // not a stream there
    };
    for (const auto& [section, expected] : cases)
        EXPECT_EQ(Outcome(WithSection(section)), expected) << section;
}

TEST(CPdfXRefTest, XRefStreamsGiveTheirEntriesOrMessages)
{
    const std::string row = XRefRow(1, 10, 0), half = std::to_string(CPdfXRef::kMaxEntries / 2) + " ";
    std::string five;
    for (uint32_t offset = 10; offset < 15; ++offset)
        five += XRefRow(1, offset, 0);
    const std::string w = " /W [1 4 2]", one = "/Size 1" + w, index = "/Size 12" + w + " /Index [0 3 10";
    const std::tuple<std::string, std::string, std::string> cases[] = {
        {"/Size 3 /W [1 2 1]", "\x00\x00\x00\xff\x01\x12\x34\x07\x02\x00\x0c\x04"s, "3: 0:0,255,0 1:4660,7,1 2:12,4,2"},
        {"/Size 2 /W [0 2 0]", "\x00\x10\x01\x00"s, "2: 0:16,0,1 1:256,0,1"},                  // no type field: 1
        {"/Size 1 /W [1 6 1 5]", "\x01\x09\x09\x01\x02\x03\x04\x05"s, "1: 0:9934276264708,5,1"},  // six bytes
        {"/Size 1 /W [1 9 1]", "\x01\xff\x01\x02\x03\x04\x05\x06\x07\x08\x05"s, "1: 0:72623859790382856,5,1"},  // last 8
        {"/Size 1 /W [-1 2 1]", "\x00\x30\x02"s, "1: 0:48,2,0"},                            // reads nothing: 0
        {index + " 2]", five, "12: 0:10,0,1 1:11,0,1 2:12,0,1 10:13,0,1 11:14,0,1"},
        {index + "]", five, "12: 0:10,0,1 1:11,0,1 2:12,0,1"}, {"/Size 2" + w + " /Index []", five, "2:"},
        {"/Size 2" + w + " /Index 7", five, "2: 0:10,0,1 1:11,0,1"},
        {"/Size 2" + w + " /Index [0 1 30 1]", five, "31: 0:10,0,1 30:11,0,1"},
        {w, row, msg::kXRefStreamSize}, {"/Size /Two /W [1 4]", row, msg::kXRefStreamSize},  // Size checked first
        {"/Size 1", row, msg::kXRefStreamW}, {"/Size 1 /W 7", row, msg::kXRefStreamW},
        {"/Size 1 /W [1 /x 2]", row, msg::kXRefStreamW}, {"/Size 1 /W [1 4]", row, msg::kXRefStreamWLength},
        {one + " /Index [0 (1)]", row, msg::kXRefStreamIndex}, {one + " /Index [-1 1]", row, msg::kCantParseXRefStream},
        {one + " /Index [0 -1]", row, msg::kCantParseXRefStream}, {"/Size -1" + w, row, msg::kCantParseXRefStream},
        {one + " /Index [2147483000 1000]", row, msg::kXRefTooLarge}, {"/Size 2000000000" + w, row, msg::kXRefTooLarge},
        // W [0 0 0] entries need no data: pairs together beyond the cap.
        {"/Size 1 /W [0 0 0] /Index [0 " + half + "0 " + half + "0 " + half + "]", "", msg::kXRefTooLarge},
        {one, XRefRow(3, 10, 0), msg::kXRefStreamEntryType},
        {"/Size 2" + w, row + row.substr(0, 5), msg::kXRefStreamEof},  // short by two bytes
    };
    for (const auto& [entries, data, expected] : cases) {
        const std::string stream = StreamObject("/Type /XRef /Root 1 0 R " + entries, data);
        EXPECT_EQ(Outcome(WithSection("9 0 obj\n" + stream + "\nendobj")), expected) << entries;
    }

    // The same spread over a /Prev chain: each section within the cap.
    PdfAssembler a;
    a.Object(1, kCatalog);
    const std::string all = "/Type /XRef /Root 1 0 R /Size 1 /W [0 0 0] /Index [0 " + half + "0 " + half;
    size_t last = a.Object(100, StreamObject(all + "]", ""));
    for (int i = 101; i < 120; ++i)
        last = a.Object(i, StreamObject(all + "] /Prev " + std::to_string(last), ""));
    a.StartXRef(last);
    EXPECT_EQ(Outcome(a.Bytes()), msg::kXRefTooLarge);
}

TEST(CPdfXRefTest, HybridXRefStmFillsWhatTheTableLeftFreeOrUnset)
{
    PdfAssembler a;
    a.Objects({{1, kCatalog}, {4, "(old 4)"}, {8, "(eight)"}});
    const size_t old = a.Table({}, "/Root 1 0 R");
    a.Objects({{9, "(nine)"}, {10, StreamObject("/Type /ObjStm /N 2 /First 9", "4 0 5 8 \n(new 4) (5 in it)")}});
    a.SetEntry(4, 2, 10, 0);
    a.SetEntry(5, 2, 10, 1);
    // The stream's own /Prev (leading nowhere) is not followed, nor its dictionary the trailer.
    const size_t stm = a.XRefStream(11, {4, 5, 9, 10}, "/Prev 3 /Root 9 0 R");
    a.Object(5, "(five)");
    a.SetEntry(8, 0, 0, 0);
    a.StartXRef(a.Table({0, 4, 5, 8}, "/Root 1 0 R /XRefStm " + std::to_string(stm) + " /Prev " + std::to_string(old)));
    LoadedXRef xref(a.Bytes());
    // 4 from the stream, 5 as the table states it, 8 free here though in use in the older one.
    EXPECT_EQ(xref.String(4) + "|" + xref.String(5) + "|" + xref.String(8) + "|" + xref.String(9), "new 4|five||nine");
    EXPECT_EQ(xref->GetRootNum(), 1);
}

TEST(CPdfXRefTest, FetchChecksNumberGenerationHeaderAndLength)
{
    PdfAssembler a;
    a.Objects({{1, kCatalog}, {2, "<< /Length 2 0 R >>\nstream\nabc\nendstream"},
               {3, "<< /Length 4 0 R >>\nstream\nabc\nendstream"}, {4, "3"}, {5, "6 0 R"}, {12, "(twelve)"}});
    const size_t thirteen = a.Object(13, "(thirteen)", 1);
    a.SetEntry(13, 1, thirteen, 0);  // its header says generation 1
    a.SetEntry(14, 1, thirteen, 0);  // names the header of another object
    a.StartXRef(a.Table({}, "/Root 1 0 R"));  // 6 to 11 are free
    LoadedXRef xref(a.Bytes());
    EXPECT_EQ(xref.String(12), "twelve");
    // Free, wrong generation, two wrong headers; one level only; not a recursion; /Length in object 4.
    EXPECT_EQ(std::vector({xref.Kind(6), xref.Kind(12, 1), xref.Kind(13), xref.Kind(14), xref.Kind(5), xref.Kind(2),
                           xref.Kind(3)}),
              std::vector({OBJ_NULL, OBJ_NULL, OBJ_NULL, OBJ_NULL, OBJ_REFERENCE, OBJ_ERROR, OBJ_STREAM}));
}
