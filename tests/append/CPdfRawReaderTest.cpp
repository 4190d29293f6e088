// Reading objects as raw text: an object that is not where its entry says
// has its document's table rebuilt (once) and is found, not lost.
#include "append/CPdfRawReader.h"
#include "support/XRefFixture.h"

namespace {

// Catalog 1, root 2, page 3 using font 5 (which opening never fetches), a
// content stream 4 and a string 6.
std::string FontPage()
{
    return PdfBuilder()
        .Object(1, "<</Type/Catalog/Pages 2 0 R>>")
        .Object(2, "<</Type/Pages/Kids[3 0 R]/Count 1>>")
        .Object(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 9 9]/Resources<</Font<</F1 5 0 R>>>>/Contents 4 0 R>>")
        .Stream(4, "", "BT/F1 5 Tf(x)Tj ET")
        .Object(5, "<</Type/Font/Subtype/Type1/BaseFont/Helvetica>>")
        .Object(6, "(six)")
        .Trailer("/Root 1 0 R")
        .Build();
}

// The raw text of number, read through the opened document's table.
std::string Raw(OpenedDocument& opened, int number)
{
    std::unique_ptr<FILE, int (*)(FILE*)> handle(std::fopen(opened.file.Path().c_str(), "rb"), std::fclose);
    CPdfRawReader reader(fileno(handle.get()), *opened.doc.GetXRef());
    CPdfRawObject text;
    if (!reader.ReadRawObject(number, text, false))
        return "<none>";
    return std::string(reinterpret_cast<const char*>(text.GetHead()), text.GetHeadLength());
}

}  // namespace

TEST(CPdfRawReaderTest, AnObjectOffItsEntryIsFoundInARebuiltTable)
{
    const std::string valid = FontPage();
    for (const long long delta : {3, -3, 40}) {
        SCOPED_TRACE(delta);
        OpenedDocument opened(MoveEntry(valid, 5, delta));
        CPdfXRef& xref = *opened.doc.GetXRef();
        ASSERT_FALSE(opened.doc.WasRebuilt());  // opening never looked at 5
        const size_t size = xref.GetEntries().size();
        EXPECT_EQ(Raw(opened, 6), "6 0 obj\n(six)\nendobj\n");
        EXPECT_FALSE(opened.doc.WasRebuilt());
        EXPECT_EQ(Raw(opened, 5), "5 0 obj\n<</Type/Font/Subtype/Type1/BaseFont/Helvetica>>\nendobj\n");
        EXPECT_TRUE(opened.doc.WasRebuilt());
        // The job planned with this table: its size and trailer stay.
        EXPECT_EQ(xref.GetEntries().size(), size);
        EXPECT_EQ(xref.GetRootNum(), 1);
    }
}

TEST(CPdfRawReaderTest, EntriesThatShowNoWrongTableRebuildNothing)
{
    // At offset 0, the header: how some producers mark deleted objects.
    OpenedDocument atHeader(MoveEntry(FontPage(), 6, 0, 0));
    EXPECT_EQ(Raw(atHeader, 6), "<none>");
    EXPECT_FALSE(atHeader.doc.WasRebuilt());
    // Rebuilt once only: a second misplaced object does not scan again.
    OpenedDocument twice(MoveEntry(MoveEntry(FontPage(), 5, 3), 6, 3));
    EXPECT_NE(Raw(twice, 5), "<none>");
    EXPECT_TRUE(twice.doc.WasRebuilt());
    EXPECT_EQ(Raw(twice, 6), "6 0 obj\n(six)\nendobj\n");  // already right in the rebuilt table
}

TEST(CPdfRawReaderTest, AMemberItsObjectStreamDoesNotListIsFoundInARebuiltTable)
{
    // The cross-reference stream swaps the indexes of 20 and 21 in stream 10.
    PdfAssembler a;
    a.Objects({{1, "<</Type/Catalog/Pages 2 0 R>>"}, {2, "<</Type/Pages/Kids[3 0 R]/Count 1>>"},
               {3, "<</Type/Page/Parent 2 0 R/Resources<</X 20 0 R/Y 21 0 R>>>>"},
               {10, StreamObject("/Type/ObjStm/N 2/First 10", "20 0 21 8 (twenty)(twenty-one)")}});
    a.SetEntry(20, 2, 10, 1);
    a.SetEntry(21, 2, 10, 0);
    a.StartXRef(a.XRefStream(11, {}, "/Root 1 0 R"));
    OpenedDocument raw(a.Bytes());
    ASSERT_FALSE(raw.doc.WasRebuilt());
    EXPECT_EQ(Raw(raw, 20), "20 0 obj\r(twenty)endobj\r");
    EXPECT_TRUE(raw.doc.WasRebuilt());
    EXPECT_EQ(Raw(raw, 21), "21 0 obj\r(twenty-one)endobj\r");
    OpenedDocument parsed(a.Bytes());
    CPdfObject value;
    parsed.doc.GetXRef()->FetchObject(21, 0, value);
    EXPECT_EQ(value.GetKind(), OBJ_STRING);
    EXPECT_TRUE(parsed.doc.WasRebuilt());
}
