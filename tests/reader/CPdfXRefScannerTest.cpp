// Rebuilding the cross-reference data from the bytes of a file: valid files
// give their own table, damaged ones what their objects say, and nothing in
// stream data, strings or comments passes for an object.
#include <unistd.h>

#include "support/ObjectTestKit.h"
#include "reader/CPdfXRefScanner.h"
#include "support/XRefFixture.h"

namespace {

// The entries in use as "n:type,offset,generation", ascending.
std::string InUse(const std::vector<XRefEntry>& entries)
{
    std::string out;
    for (size_t n = 0; n < entries.size(); ++n)
        if (entries[n].type != 0)
            out += (out.empty() ? "" : " ") + std::to_string(n) + ":" + std::to_string(entries[n].type) + "," +
                   std::to_string(entries[n].offset) + "," + std::to_string(entries[n].generation);
    return out;
}

struct Scanned {
    std::string entries;  // InUse
    std::string trailer;  // Describe, "none" when there is none
    int64_t header;       // GetHeaderFound
    std::string sealed;   // "number@position " per object stream left for the key
    std::vector<XRefEntry> table;
};

// Scans bytes from where the opener puts the start: the first "%PDF-" in
// the first 1023 bytes, else 0.
Scanned Scan(const std::string& bytes)
{
    const size_t header = bytes.substr(0, 1023).find("%PDF-");
    const int64_t base = header == std::string::npos ? 0 : int64_t(header);
    MemoryFile file(bytes);
    CPdfInputFile input(file.Path());
    CPdfStreamRef stream(new CPdfFileStream(&input, 0, 0, CPdfObject()));
    CPdfXRefScanner scanner(input, stream.Get(), base, int64_t(bytes.size()));
    scanner.Scan();
    const CPdfObject& trailer = scanner.GetTrailer();
    Scanned out{InUse(scanner.GetEntries()), trailer.GetKind() == OBJ_DICTIONARY ? Describe(trailer) : "none",
                scanner.GetHeaderFound(), "", scanner.GetEntries()};
    for (const auto& sealed : scanner.GetSealedStreams())
        out.sealed += std::to_string(sealed.number) + "@" + std::to_string(sealed.position) + " ";
    return out;
}

// What the file's own cross-reference data says: entries in use and /Root.
std::pair<std::string, std::string> Stated(const std::string& bytes)
{
    OpenedDocument opened(bytes);  // offsets from the header, wherever it is
    CPdfXRef& xref = *opened.doc.GetXRef();
    CPdfObject root;
    xref.GetTrailer().GetDictionary()->LookupRaw("Root", root);
    return {InUse(xref.GetEntries()), Describe(root)};
}

std::string RootOf(const std::string& trailer)
{
    const size_t at = trailer.find("/Root ");
    return at == std::string::npos ? "" : trailer.substr(at + 6, trailer.find(" R", at) + 2 - at - 6);
}

// Objects 1 (catalog) to 3 (page) compactly, in an object stream 10, with an
// xref stream 11; more objects after them in the file.
std::string ObjectStreamFile(const std::vector<std::pair<int, std::string>>& more = {})
{
    PdfAssembler a;
    a.ObjectStream(10, {{1, "<</Type/Catalog/Pages 2 0 R>>"}, {2, "<</Type/Pages/Kids[3 0 R]/Count 1>>"},
                        {3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 9 9]/Resources<<>>>>"}}, true);
    a.Objects(more);
    a.StartXRef(a.XRefStream(11, {}, "/Root 1 0 R", true));
    return a.Bytes();
}

}  // namespace

TEST(CPdfXRefScannerTest, ValidFilesGiveTheTableTheyState)
{
    // A file with an update that redefines page 3 and adds 9.
    const auto Updated = [] {
        PdfAssembler a("%PDF-1.4");
        a.Objects({{1, "<</Type/Catalog/Pages 2 0 R>>"}, {2, "<</Type/Pages/Kids[3 0 R]/Count 1>>"}, {3, "<<>>"}});
        const size_t first = a.Table({}, "/Size 4/Root 1 0 R");
        a.StartXRef(first);
        a.Objects({{3, "<</Type/Page/Parent 2 0 R/Resources<<>>>>"}, {9, "(9)"}});
        a.StartXRef(a.Table({3, 9}, "/Size 10/Root 1 0 R/Prev " + std::to_string(first)));
        return a.Bytes();
    };
    const std::string compact = PdfBuilder()
                                    .Object(1, "<</Type/Catalog/Pages 2 0 R>>")
                                    .Object(2, "<</Type/Pages/Kids[3 2 R]/Count 1>>")
                                    .Object(3, "<</Type/Page/Parent 2 0 R/Resources<<>>/Contents 4 0 R>>", 2)
                                    .Stream(4, "/Filter/FlateDecode", Deflate("0 g 1 1 5 5 re f"))
                                    .Trailer("/Root 1 0 R/Info 5 0 R")
                                    .Object(5, "<</Title(1 0 obj)>>")
                                    .BuildWithXRefStream(6, true);
    const std::string files[] = {MinimalPdf(3), MinimalPdf(2, "", std::string(300, 'x') + "\n"), compact,
                                 ObjectStreamFile({{4, "<</Kids 5 0 R>>"}}), Updated()};
    for (size_t i = 0; i < std::size(files); ++i) {
        const Scanned scanned = Scan(files[i]);
        ASSERT_EQ(ErrorOf([&] { Stated(files[i]); }), "") << "file " << i;
        const auto [entries, root] = Stated(files[i]);
        EXPECT_EQ(scanned.entries, entries) << "file " << i;
        EXPECT_EQ(RootOf(scanned.trailer), root) << "file " << i;
        EXPECT_EQ(scanned.header, int64_t(files[i].find("%PDF-"))) << "file " << i;
    }
    // The trailer of a cross-reference stream is its dictionary.
    EXPECT_NE(Scan(compact).trailer.find("/Type /XRef"), std::string::npos);
    EXPECT_NE(Scan(compact).trailer.find("/Info 5 0 R"), std::string::npos);
}

TEST(CPdfXRefScannerTest, StreamDataStringsAndCommentsAreNotObjects)
{
    // Data that looks like objects, a table and a trailer, with "endstream"
    // inside it: only a trusted /Length steps over it whole.
    const std::string fake = "9 0 obj\n(fake)\nendobj\nendstream\nendobj\n8 0 obj\n(fake)\nendobj\n"
                             "trailer\n<</Root 9 0 R>>\n";
    const std::string plain = "9 0 obj (fake) endobj 8 0 obj (fake) endobj trailer <</Root 9 0 R>> ";
    const std::string catalog = "<</Type/Catalog/Pages 2 0 R>>", pages = "<</Type/Pages/Kids[]/Count 0>>";
    const struct {
        const char* name;
        std::vector<std::pair<int, std::string>> objects;
        std::string expected;  // numbers defined
    } cases[] = {
        {"direct length", {{4, StreamObject("", fake)}}, "1 2 4"},
        {"compact dictionary", {{4, "<</Length " + std::to_string(fake.size()) + ">>stream\r\n" + fake + "\r\nendstream"}},
         "1 2 4"},
        {"length object before", {{3, std::to_string(fake.size())}, {4, "<</Length 3 0 R>>stream\n" + fake + "\nendstream"}},
         "1 2 3 4"},
        // Unusable lengths: the data ends at the first "endstream".
        {"length object after", {{4, "<</Length 5 0 R>>stream\n" + plain + "\nendstream"}, {5, "70"}}, "1 2 4 5"},
        {"wrong length", {{4, "<</Length 3>>stream\n" + plain + "\nendstream"}}, "1 2 4"},
        {"no length", {{4, "<<>>stream\n" + plain + "\nendstream"}}, "1 2 4"},
        {"string and comment", {{4, "(9 0 obj) %8 0 obj\n<</A(\\) 8 0 obj)>>"}}, "1 2 4"},
        {"hex string and name", {{4, "<39 30 obj>/9 [0 obj]"}}, "1 2 4"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PdfAssembler a;
        a.Object(1, catalog);
        a.Object(2, pages);
        a.Objects(c.objects);
        a.StartXRef(a.Table({}, "/Size 10/Root 1 0 R"));
        const Scanned scanned = Scan(a.Bytes());
        std::string numbers;
        for (size_t n = 1; n < scanned.table.size(); ++n)
            numbers += scanned.table[n].type ? std::to_string(n) + " " : "";
        EXPECT_EQ(numbers + RootOf(scanned.trailer), c.expected + " 1 0 R");
    }
}

TEST(CPdfXRefScannerTest, TheLastDefinitionWinsInFileOrder)
{
    // 2 is a member of stream 10, then defined in the file, then a member
    // again of a newer stream 12 (which also names 20); 3 is a member of 10,
    // then in the file. Object 10 is defined once more, after 12.
    const std::string base = ObjectStreamFile();
    const std::string twelve = StreamObject("/Type/ObjStm/N 2/First 9", "2 0 20 5 <<>> (twenty)");
    std::string file = base + "2 0 obj\n<</Type/Pages/Kids[3 0 R]/Count 1>>\nendobj\n";
    const size_t second = file.size();
    file += "12 0 obj\n" + twelve + "\nendobj\n";
    const size_t third = file.size();
    file += "3 0 obj\n<</Type/Page/Parent 2 0 R>>\nendobj\n";
    const size_t fourth = file.size();
    file += "10 1 obj\n(ten)\nendobj\n";
    const Scanned scanned = Scan(file);
    const auto at = [](size_t offset) { return std::to_string(offset); };
    EXPECT_EQ(scanned.entries, "1:2,10,0 2:2,12,0 3:1," + at(third) + ",0 10:1," + at(fourth) + ",1 11:1," +
                                   at(base.find("11 0 obj")) + ",0 12:1," + at(second) + ",0 20:2,12,1");
    EXPECT_EQ(scanned.table[0].generation, 65535);
}

TEST(CPdfXRefScannerTest, TheTrailerIsTheNewestThatLeadsToACatalog)
{
    const std::string valid = MinimalPdf(1, "/Info 3 0 R");
    const std::string cut = valid.substr(0, valid.find("xref"));
    const std::string objstm = ObjectStreamFile();
    const struct {
        const char* name;
        std::string bytes;
        std::string trailer;
    } cases[] = {
        {"newest trailer names nothing found", valid + "trailer\n<</Root 40 0 R>>\n", "<</Info 3 0 R /Root 1 0 R"},
        {"newest trailer names no catalog", valid + "trailer\n<</Root 3 0 R>>\n", "<</Info 3 0 R /Root 1 0 R"},
        {"dangling /Info dropped", MinimalPdf(1, "/Info 9 0 R"), "<</Root 1 0 R /Size i:5>>"},
        {"no trailer: the catalog", cut, "<</Root 1 0 R>>"},
        {"no trailer, catalog in an object stream", objstm.substr(0, objstm.find("11 0 obj")), "<</Root 1 0 R>>"},
        {"trailer cut short", cut + "trailer\n<</Size 6/Root 1 0 R", "<</Root 1 0 R /Size i:6>>"},
        {"catalog without /Pages", cut.substr(0, cut.find("2 0 obj")) + "1 0 obj<</Type/Catalog>>endobj", "none"},
        {"nothing at all", "%PDF-1.4\n", "none"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Scan(c.bytes).trailer.substr(0, c.trailer.size()), c.trailer);
    }
}

TEST(CPdfXRefScannerTest, HostileShapesEndInOnePass)
{
    // Deep nesting before "stream", many objects, unclosed strings and
    // dictionaries, a header number beyond any table: no recursion, no error.
    std::string file = "%PDF-1.4\n1 0 obj\n" + std::string(100000, '[') + "\nendobj\n2 0 obj\n";
    for (int k = 0; k < 600; ++k)
        file += "<</A";
    for (int k = 0; k < 600; ++k)
        file += ">>";
    file += "stream\nabc\nendstream\nendobj\n99999999 0 obj\n3 70000 obj\n";
    for (int n = 4; n < 50000; ++n)
        file += std::to_string(n) + " 0 obj<</N " + std::to_string(n) + ">>endobj\n";
    file += "5 0 obj (unclosed <</Length 4>>stream\n";
    const Scanned scanned = Scan(file);
    EXPECT_EQ(scanned.table.size(), 50000u);
    EXPECT_EQ(scanned.table[1].type, 1);
    EXPECT_EQ(scanned.table[2].type, 1);
    EXPECT_EQ(scanned.table[3].type, 0);
    EXPECT_EQ(scanned.table[5].offset, int32_t(file.rfind("5 0 obj")));
    EXPECT_EQ(scanned.trailer, "none");
}

TEST(CPdfXRefScannerTest, ObjectStreamsItCannotReadAreLeftForTheKey)
{
    // Stream 10's data does not decode (encrypted, say); the catalog may be
    // in it, so the trailer naming it is taken on trust. Stream 12 decodes.
    PdfAssembler a;
    const size_t ten = a.Object(10, StreamObject("/Type/ObjStm/N 2/First 9/Filter/FlateDecode", "\x8a\x01garbage"));
    a.Object(12, StreamObject("/Type/ObjStm/N 1/First 5", "30 0 (thirty)"));
    a.Object(2, "<</Type/Pages/Kids[]/Count 0>>");
    a.StartXRef(a.Table({}, "/Size 31/Root 1 0 R"));
    const Scanned scanned = Scan(a.Bytes());
    EXPECT_EQ(RootOf(scanned.trailer), "1 0 R");
    EXPECT_EQ(scanned.table[30].type, 2);
    EXPECT_EQ(scanned.sealed, "10@" + std::to_string(ten) + " ");
    // Without such a stream, a trailer whose root is nowhere is not taken.
    PdfAssembler b;
    b.Object(2, "<</Type/Pages/Kids[]/Count 0>>");
    b.StartXRef(b.Table({}, "/Size 3/Root 1 0 R"));
    EXPECT_EQ(Scan(b.Bytes()).trailer, "none");
}
