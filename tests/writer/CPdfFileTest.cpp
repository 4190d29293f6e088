// The parts of the output that are not objects: the header, the "xref"
// section and the trailer, checked byte for byte.
#include <cstring>

#include "object/CPdfArray.h"
#include "reader/CPdfMemoryStream.h"
#include "reader/CPdfParser.h"
#include "support/XRefFixture.h"
#include "writer/CPdfFile.h"

namespace {

// A writer with a table of `size` entries, writing to a file.
struct TestWriter : CPdfFile {
    TempDir dir;
    FILE* out = std::fopen(dir.File("out").c_str(), "wb");
    explicit TestWriter(int32_t size) { AttachOutput(out); ResetXRefTable(size); }
    ~TestWriter() { std::fclose(out); }
    std::string Bytes() { Flush(); std::fflush(out); return ReadFile(dir.File("out")); }
};

CPdfObject Parse(const std::string& text)
{
    CPdfObject value;
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    CPdfParser(nullptr, new CPdfMemoryStream(bytes, text.size())).ParseObject(value);
    return value;
}

}  // namespace

TEST(CPdfFileTest, HeaderTableAndTrailerBytes)
{
    CPdfObject forms = Parse("<< /Root 5 /Info /NotAReference /ID [3 0 R 12 (x) null] /Rooted 1 0 R >>"), id, text;
    forms.GetDictionary()->LookupRaw("ID", id);
    text.SetText("AB");  // a text element becomes a string in its hexadecimal form
    id.GetArray()->Append(text);
    TestWriter w(9);
    w.WriteHeader("PDF-1.4");
    EXPECT_EQ(w.GetOutputPosition(), 16);
    for (int i = 0; i < 9; ++i)
        EXPECT_TRUE(w.SetOutputEntry(i, 0, 100 + i, 1));
    EXPECT_TRUE(w.SetOutputEntry(0, 7, 555, 1) && w.SetOutputEntry(3, 3, 0, 0) && w.SetOutputEntry(5, 2, 77, 2) &&
                w.SetOutputEntry(6, 0, 4294967301, 1) && w.SetOutputEntry(7, 0, 1234, 1) &&
                w.SetOutputEntry(8, 0, pdfformat::kMaxEntryOffset, 1));
    EXPECT_FALSE(w.SetOutputEntry(9, 0, 1, 1) || w.SetOutputEntry(-1, 0, 1, 1));
    w.WriteXRefTable();
    w.WriteTrailer(43, Parse("<</Size 99 /Root 1 0 R /Prev 1 /Info 9 0 R /Encrypt 5 0 R /ID [(a) <0A>] /XRefStm 7>>"));
    w.WriteTrailer(0, forms);
    w.WriteTrailer(9, Parse("null"));
    // Entry 0 is fixed, any type but 0 in use; trailers keep ID, Info, Root in order; no line end after %%EOF.
    EXPECT_EQ(w.Bytes(), "%PDF-1.4\r%\xE2\xE3\xCF\xD3\r\nxref\n0 9\r0000000000 65535 f \r0000000101 00000 n \r"
                         "0000000102 00000 n \r0000000000 00003 f \r0000000104 00000 n \r0000000077 00002 n \r"
                         "4294967301 00000 n \r0000001234 00000 n \r9999999999 00000 n \rtrailer\n<<\n/Size 9\n"
                         "/ID [<61><0A>]\n/Info 9 0 R\n/Root 1 0 R\n>>\nstartxref\n43\n%%EOF"
                         "trailer\n<<\n/Size 9\n/ID [<78><4142>]\n/Root 5 \n>>\nstartxref\n0\n%%EOF"
                         "trailer\n<<\n/Size 9\n>>\nstartxref\n9\n%%EOF");
}

TEST(CPdfFileTest, ResultsUpToTenDigitOffsets)
{
    // A copy is counted when it is asked for and goes out with the next
    // write, which never comes here.
    MemoryFile file("x");
    CPdfInputFile input(file.Path());
    TestWriter w(1);
    w.CopyFromFile(input, 0, pdfformat::kMaxEntryOffset);
    EXPECT_EQ(w.GetOutputPosition(), 9999999999);
    w.CopyFromFile(input, pdfformat::kMaxEntryOffset, 1);
    EXPECT_EQ(ErrorOf([&] { w.GetOutputPosition(); }), msg::kOutputTooLarge);
}

TEST(CPdfFileTest, CopiesOfContiguousBytesGoOutAsOne)
{
    // Each step copies [position, position + length) of file a, b or c, or
    // writes text (file < 0); positions are taken as the steps are made.
    // Runs of kKernelCopy bytes or more are copied in the kernel.
    const int64_t k = TestWriter::kKernelCopy;
    std::string big(size_t(k + 5), 'c');
    for (size_t i = 0; i < big.size(); i += 4096)
        big[i] = char('A' + i / 4096 % 26);
    struct Step {
        int file;
        int64_t position, length;
        const char* text = "";
    };
    const struct {
        std::vector<Step> steps;
        std::string bytes;
        int64_t copies, kernelCopies;
    } cases[] = {
        {{{0, 0, 3}, {0, 3, 4}, {0, 7, 3}}, "0123456789", 1, 0},                           // joined
        {{{0, 0, 3}, {0, 4, 2}}, "01245", 2, 0},                                           // a gap
        {{{0, 3, 2}, {0, 0, 3}}, "34012", 2, 0},                                           // backwards
        {{{0, 0, 2}, {1, 2, 2}}, "01CD", 2, 0},                                            // another file
        {{{0, 0, 2}, {-1, 0, 0, "x"}, {0, 2, 2}}, "01x23", 2, 0},                          // a write between
        {{{0, 0, 2}, {0, 2, 0}, {0, 2, 1}}, "012", 1, 0},                                  // nothing copied
        {{{1, 4, 2}, {1, 6, 3}, {-1, 0, 0, "!"}}, "EF   !", 1, 0},                         // past the end: spaces
        {{{-1, 0, 0, "ab"}}, "ab", 0, 0},
        {{{2, 0, k - 1}, {2, k - 1, 6}}, big, 1, 1},                                       // joined, then large
        {{{2, 10, k}, {-1, 0, 0, "!"}, {2, 0, 1}}, big.substr(10) + "     !A", 2, 1},      // large, past the end
    };
    TempDir dir;
    dir.Write("a", "0123456789");
    dir.Write("b", "ABCDEF");
    dir.Write("c", big);
    CPdfInputFile a(dir.File("a")), b(dir.File("b")), c(dir.File("c"));
    CPdfInputFile* files[] = {&a, &b, &c};
    for (size_t i = 0; i < std::size(cases); ++i) {
        TestWriter w(1);
        int64_t expected = 0;
        for (const Step& step : cases[i].steps) {
            if (step.file < 0) {
                w.Write(step.text);
                expected += int64_t(std::strlen(step.text));
            } else {
                w.CopyFromFile(*files[step.file], step.position, step.length);
                expected += step.length;
            }
            EXPECT_EQ(w.GetOutputPosition(), expected) << "case " << i;
        }
        const std::string bytes = w.Bytes();
        EXPECT_TRUE(bytes == cases[i].bytes) << "case " << i << ": " << bytes.size() << " bytes, "
                                             << bytes.substr(0, 16) << "...";
        EXPECT_EQ(w.GetCopyCount(), cases[i].copies) << "case " << i;
        EXPECT_EQ(w.GetKernelCopyCount(), cases[i].kernelCopies) << "case " << i;
    }
}

TEST(CPdfFileTest, AnUpdateListsOnlyTheEntriesItSetsInRunsOfNumbers)
{
    const CPdfObject trailer = Parse("<</Size 4 /Root 1 0 R /Info 2 0 R /Encrypt 3 0 R /ID [<0102> <0304>] /XRefStm 9>>");
    CPdfFile::Update update;
    update.base = 10;  // the header stands 10 bytes into the file
    update.prev = 300;
    update.newId = std::string(16, '\xAB');
    TestWriter w(7);
    w.SetOutputEntry(1, 0, 110, 1);  // the catalog again
    w.SetOutputEntry(4, 0, 120, 1);  // new objects 4 to 6, 5 free
    w.SetOutputEntry(5, 3, 125, 0);
    w.SetOutputEntry(6, 0, 130, 1);
    w.Write("%PDF-1.4 at 10");
    w.WriteUpdateTable(update, trailer);
    std::string ab;
    for (int i = 0; i < 16; ++i)
        ab += "AB";
    // Offsets and startxref from the header; /Size the whole table's.
    EXPECT_EQ(w.Bytes(), "%PDF-1.4 at 10xref\n1 1\n0000000100 00000 n \r4 3\n0000000110 00000 n \r"
                         "0000000000 00003 f \r0000000120 00000 n \rtrailer\n<<\n/Size 7\n/Prev 300\n/Root 1 0 R\n"
                         "/Info 2 0 R\n/Encrypt 3 0 R\n/ID [<0102><" + ab + ">]\n>>\nstartxref\n4\n%%EOF\n");
}

TEST(CPdfFileTest, AnUpdateAfterAStreamIsAStreamThatListsItself)
{
    CPdfFile::Update update;
    update.prev = 70000;
    update.newId = std::string(16, '\x01');
    TestWriter w(3);
    w.SetOutputEntry(2, 0, 0x1234, 1);
    w.Write(std::string(0x2000, ' ').data(), 0x2000);
    w.WriteUpdateStream(update, Parse("<</Root 1 0 R>>"));  // no /ID: the new one twice
    const std::string bytes = w.Bytes();
    std::string id;
    for (int i = 0; i < 16; ++i)
        id += "01";
    const std::string head = "3 0 obj\n<<\n/Type /XRef\n/Size 4\n/W [1 2 2]\n/Index [2 2]\n/Prev 70000\n/Root 1 0 R\n"
                             "/ID [<" + id + "><" + id + ">]\n/Length 10\n>>\nstream\n";
    ASSERT_EQ(bytes.substr(0x2000, head.size()), head);
    // Object 2 at 0x1234, and the stream itself where it begins, 0x2000.
    EXPECT_EQ(bytes.substr(0x2000 + head.size(), 10), std::string("\x01\x12\x34\x00\x00\x01\x20\x00\x00\x00", 10));
    EXPECT_EQ(bytes.substr(0x2000 + head.size() + 10), "\nendstream\nendobj\nstartxref\n8192\n%%EOF\n");
}

TEST(CPdfFileTest, FreeEntriesEndTheFreeListWhateverPositionTheyWereGiven)
{
    TestWriter w(3);
    w.SetOutputEntry(1, 4, 716855, 0);  // freed where the copy stood
    w.WriteXRefTable();                 // entry 2 never set
    EXPECT_EQ(w.Bytes(), "xref\n0 3\r0000000000 65535 f \r0000000000 00004 f \r0000000000 00000 f \r");
}
