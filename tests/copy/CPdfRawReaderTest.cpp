// Reading objects as raw text: long stream data left in the file, texts that
// are the file's own bytes, and an object that is not where its entry says
// has its document's table rebuilt (once) and is found, not lost.
#include <map>
#include <tuple>

#include "support/AppendTestKit.h"

namespace {

// Catalog 1, root 2, page 3 using font 5 (which opening never fetches), a
// content stream 4 and a string 6.
const std::string kFontPage = PdfBuilder()
                                  .Object(1, "<</Type/Catalog/Pages 2 0 R>>")
                                  .Object(2, "<</Type/Pages/Kids[3 0 R]/Count 1>>")
                                  .Object(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 9 9]/Resources<</Font<</F1 5 0 R>>>>"
                                             "/Contents 4 0 R>>")
                                  .Stream(4, "", "BT/F1 5 Tf(x)Tj ET")
                                  .Object(5, "<</Type/Font/Subtype/Type1/BaseFont/Helvetica>>")
                                  .Object(6, "(six)")
                                  .Trailer("/Root 1 0 R")
                                  .Build();

}  // namespace

TEST(CPdfRawReaderTest, AnObjectOffItsEntryIsFoundInARebuiltTableOnce)
{
    for (const long long delta : {3, -3, 40}) {
        SCOPED_TRACE(delta);
        RawReading reading(MoveEntry(kFontPage, 5, delta));
        CPdfXRef& xref = *reading.Doc().GetXRef();
        const size_t size = xref.GetEntries().size();
        EXPECT_EQ(reading.Read(6), "6 0 obj\n(six)\nendobj\n");
        EXPECT_FALSE(reading.Doc().WasRebuilt());  // opening never looked at 5, nor reading 6
        EXPECT_EQ(reading.Read(5), "5 0 obj\n<</Type/Font/Subtype/Type1/BaseFont/Helvetica>>\nendobj\n");
        EXPECT_TRUE(reading.Doc().WasRebuilt());
        // The job planned with this table: its size and trailer stay.
        EXPECT_EQ(xref.GetEntries().size(), size);
        EXPECT_EQ(xref.GetRootNum(), 1);
    }
    // At offset 0, the header: how some producers mark deleted objects.
    RawReading atHeader(MoveEntry(kFontPage, 6, 0, 0));
    EXPECT_EQ(atHeader.Read(6), "<none>");
    EXPECT_FALSE(atHeader.Doc().WasRebuilt());
    // Rebuilt once only: a second misplaced object is already right in the rebuilt table.
    RawReading twice(MoveEntry(MoveEntry(kFontPage, 5, 3), 6, 3));
    EXPECT_NE(twice.Read(5), "<none>");
    EXPECT_TRUE(twice.Doc().WasRebuilt());
    EXPECT_EQ(twice.Read(6), "6 0 obj\n(six)\nendobj\n");
}

TEST(CPdfRawReaderTest, ATableRebuiltWhileCopyingKeepsObjectsOnlyTheStatedTableFinds)
{
    // Object 6 lies inside the data of stream 8, where its entry leads but
    // the scan of a rebuild does not look; 5 is off its entry, so reading
    // it rebuilds the table. 6 must read the same before and after.
    const std::string six = "6 0 obj\n(six)\nendobj\n";
    PdfAssembler a("%PDF-1.4");
    a.Objects({{1, "<</Type/Catalog/Pages 2 0 R>>"}, {2, "<</Type/Pages/Kids[3 0 R]/Count 1>>"},
               {3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 9 9]/Resources<</Font<</F1 5 0 R>>/X 6 0 R>>>>"},
               {5, "<</Type/Font/Subtype/Type1/BaseFont/Helvetica>>"}});
    const size_t at8 = a.Object(8, StreamObject("", "left over\n" + six + "left over"));
    a.SetEntry(6, 1, a.Bytes().find(six, at8), 0);
    a.StartXRef(a.Table({}, "/Size 9 /Root 1 0 R"));
    for (const bool sixFirst : {true, false}) {
        SCOPED_TRACE(sixFirst);
        RawReading reading(MoveEntry(a.Bytes(), 5, 3));
        if (sixFirst) {
            EXPECT_EQ(reading.Read(6), six);
        }
        EXPECT_EQ(reading.Read(5), "5 0 obj\n<</Type/Font/Subtype/Type1/BaseFont/Helvetica>>\nendobj\n");
        EXPECT_TRUE(reading.Doc().WasRebuilt());
        EXPECT_EQ(reading.Read(6), six);
        EXPECT_NE(reading.Read(8).find("left over\n" + six), std::string::npos);
    }
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
    RawReading raw(a.Bytes());
    ASSERT_FALSE(raw.Doc().WasRebuilt());
    EXPECT_EQ(raw.Read(20), "20 0 obj\r(twenty)endobj\r");
    EXPECT_TRUE(raw.Doc().WasRebuilt());
    EXPECT_EQ(raw.Read(21), "21 0 obj\r(twenty-one)endobj\r");
    // Parsed, the same.
    RawReading parsed(a.Bytes());
    CPdfObject value;
    parsed.Doc().GetXRef()->FetchObject(21, 0, value);
    EXPECT_EQ(value.GetKind(), OBJ_STRING);
    EXPECT_TRUE(parsed.Doc().WasRebuilt());
}

TEST(CPdfRawReaderTest, LongStreamDataStaysInTheFileAndTheTextIsTheFilesOwn)
{
    // Written compactly, as producers do: 5 and 6 have data past
    // kTailMinimum, 6 behind an indirect /Length and with "endobj" inside.
    const std::string data5(size_t(CPdfRawReader::kTailMinimum) + 10, 'x');
    std::string data6(size_t(CPdfRawReader::kTailMinimum) * 5, 'y');
    data6.replace(100, 6, "endobj");
    PdfAssembler a;
    std::map<int, size_t> at;
    at[1] = a.Object(1, "<</Type/Catalog/Pages 2 0 R>>");
    at[2] = a.Object(2, "<</Type/Pages/Kids[3 0 R]/Count 1>>");
    at[3] = a.Object(3, "<</Type/Page/Parent 2 0 R/Resources<</X 5 0 R>>/Contents 4 0 R>>");
    at[4] = a.Object(4, StreamObject("", "BT ET"));
    at[5] = a.Object(5, StreamObject("/Type/XObject/Subtype/Form/Resources<</F 20 0 R>>", data5));
    at[6] = a.Object(6, "<</Length 7 0 R/Ref 3 0 R>>stream\n" + data6 + "\nendstream");
    at[7] = a.Object(7, std::to_string(data6.size()));
    a.Object(10, StreamObject("/Type/ObjStm/N 1/First 5", "20 0 (twenty)"));
    a.SetEntry(20, 2, 10, 0);
    a.StartXRef(a.XRefStream(11, {}, "/Root 1 0 R"));
    const std::string file = a.Bytes();
    RawReading reading(file);
    for (const int number : {1, 3, 4, 5, 6, 7, 20}) {
        SCOPED_TRACE(number);
        CPdfRawObject whole, tail;
        ASSERT_TRUE(reading.Read(number, whole, false));
        ASSERT_TRUE(reading.Read(number, tail, true));
        EXPECT_FALSE(whole.HasTail());
        EXPECT_EQ(tail.HasTail(), number == 5 || number == 6);
        EXPECT_EQ(tail.GetLength(), whole.GetLength());
        // The same layout from the head alone as from the whole text.
        const objecttext::Layout& w = whole.GetLayout();
        const objecttext::Layout& t = tail.GetLayout();
        EXPECT_EQ(std::tie(w.hasHeader, w.number, w.generation, w.isStream, w.split, w.directLength, w.dictOpen),
                  std::tie(t.hasHeader, t.number, t.generation, t.isStream, t.split, t.directLength, t.dictOpen));
        ASSERT_EQ(w.references.size(), t.references.size());
        for (size_t r = 0; r < w.references.size(); ++r)
            EXPECT_EQ(w.references[r].number, t.references[r].number);
        const std::string text = Text(whole);
        ASSERT_TRUE(tail.Materialize());
        EXPECT_EQ(Text(tail), text);
        // A member of an object stream is made up; every other text is
        // the file's bytes from the object's offset, which may be copied.
        const int64_t position = number == 20 ? -1 : int64_t(at[number]);
        EXPECT_EQ(whole.GetSourcePosition(), position);
        EXPECT_EQ(tail.GetSourcePosition(), position);
        if (number != 20) {
            EXPECT_EQ(file.substr(at[number], text.size()) + "|" + text.substr(text.size() - 7), text + "|endobj\n");
        }
    }
}

TEST(CPdfRawReaderTest, AnObjectEndsAtItsEndobjKeywordNotAtThoseBytesInAStringOrComment)
{
    // Written compactly: a string and a comment that hold "endobj", and an
    // outline item whose /Last follows on the next line.
    const std::string file = PdfBuilder()
                                 .Object(1, "<</Type/Catalog/Pages 2 0 R/Outlines 4 0 R>>")
                                 .Object(2, "<</Type/Pages/Kids[3 0 R]/Count 1>>")
                                 .Object(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 9 9]/Resources<<>>>>")
                                 .Object(4, "<</Type/Outlines/First 5 0 R/Last\n5 0 R/Count 1>>")
                                 .Object(5, "<</Title(see endobj here)/Parent 4 0 R%endobj\n/Dest[3 0 R/Fit]>>")
                                 .Trailer("/Root 1 0 R")
                                 .Build();
    RawReading reading(file);
    EXPECT_EQ(reading.Read(5),
              "5 0 obj\n<</Title(see endobj here)/Parent 4 0 R%endobj\n/Dest[3 0 R/Fit]>>\nendobj\n");
    // The job copies it whole: the result's item still leads to its page.
    TempDir dir;
    ASSERT_EQ(Append(dir, file, file, false), "");
    const std::string out = ReadFile(dir.File("out.pdf"));
    EXPECT_NE(out.find("(see endobj here)/Parent 4 0 R%endobj\n/Dest[3 0 R/Fit]>>"), std::string::npos);
    CPdfDocument result;
    ASSERT_NO_THROW(result.Open(dir.File("out.pdf")));
    EXPECT_FALSE(result.WasRebuilt());
}

TEST(CPdfRawReaderTest, AStreamWhoseLengthMissesItsEndstreamIsCopiedWithItsTrueLength)
{
    // Content 4 states a length too short, too long, or through an object
    // that holds a wrong one; its data is 18 bytes, then CR LF "endstream".
    const std::string data = "BT/F1 5 Tf(x)Tj ET";
    for (const std::string length : {"/Length 5", "/Length 200", "/Length 7 0 R"}) {
        SCOPED_TRACE(length);
        const std::string file =
            PdfBuilder()
                .Object(1, "<</Type/Catalog/Pages 2 0 R>>")
                .Object(2, "<</Type/Pages/Kids[3 0 R]/Count 1>>")
                .Object(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 9 9]/Resources<<>>/Contents 4 0 R>>")
                .Object(4, "<<" + length + ">>stream\r\n" + data + "\r\nendstream")
                .Object(7, "3")
                .Trailer("/Root 1 0 R")
                .Build();
        RawReading reading(file);
        EXPECT_EQ(reading.Read(4), "4 0 obj\n<</Length 18>>stream\r\n" + data + "\r\nendstream\nendobj\n");
        // First input and second: the result's own length is right, and
        // the result opens without a repair.
        for (const bool first : {true, false}) {
            TempDir dir;
            ASSERT_EQ(Append(dir, first ? file : MinimalPdf(1), first ? MinimalPdf(1) : file, false), "");
            const std::string out = ReadFile(dir.File("out.pdf"));
            EXPECT_NE(out.find("<</Length 18>>stream\r\n" + data + "\r\nendstream"), std::string::npos);
            CPdfDocument result;
            ASSERT_NO_THROW(result.Open(dir.File("out.pdf")));
            EXPECT_FALSE(result.WasRebuilt());
        }
    }
}

TEST(CPdfRawReaderTest, AStreamWithoutEndstreamGetsTheKeywordBeforeItsEndobj)
{
    const std::string data = "BT/F1 5 Tf(x)Tj ET";
    const std::string file =
        PdfBuilder()
            .Object(1, "<</Type/Catalog/Pages 2 0 R>>")
            .Object(2, "<</Type/Pages/Kids[3 0 R]/Count 1>>")
            .Object(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 9 9]/Resources<<>>/Contents 4 0 R>>")
            .Object(4, "<</Length 5 0 R>>stream\r\n" + data)
            .Object(5, "(five)")
            .Stream(6, "", "six")
            .Trailer("/Root 1 0 R")
            .Build();
    RawReading reading(file);
    // Not up to the next stream's "endstream": this object ends first.
    EXPECT_EQ(reading.Read(4), "4 0 obj\n<</Length 18>>stream\r\n" + data + "\nendstream\nendobj\n");
    EXPECT_EQ(reading.Read(5), "5 0 obj\n(five)\nendobj\n");
    TempDir dir;
    ASSERT_EQ(Append(dir, MinimalPdf(1), file, false), "");
    CPdfDocument result;
    ASSERT_NO_THROW(result.Open(dir.File("out.pdf")));
    EXPECT_FALSE(result.WasRebuilt());
}

TEST(CPdfRawReaderTest, BytesBetweenAWrongLengthsEndstreamAndEndobjAreNotCopied)
{
    // The stated length misses; a reader takes the data up to the first
    // "endstream", and what follows it up to "endobj" is no part of it.
    const std::string data = "BT/F1 5 Tf(x)Tj ET";
    const std::string file = PdfBuilder()
                                 .Object(1, "<</Type/Catalog/Pages 2 0 R>>")
                                 .Object(2, "<</Type/Pages/Kids[3 0 R]/Count 1>>")
                                 .Object(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 9 9]/Resources<<>>/Contents 4 0 R>>")
                                 .Object(4, "<</Length 5>>stream\n" + data + "\nendstream junk)endstream")
                                 .Trailer("/Root 1 0 R")
                                 .Build();
    RawReading reading(file);
    EXPECT_EQ(reading.Read(4), "4 0 obj\n<</Length 18>>stream\n" + data + "\nendstream\nendobj\n");
}

TEST(CPdfRawReaderTest, AValueThatDoesNotCloseIsCopiedAsTheParserReadsIt)
{
    // 4 closes a dictionary it never opened, 5 leaves one open at its
    // "endobj", and 6 (the last object before the table) has no "endobj"
    // at all: readers differ on such text, so the copy writes what this
    // program's checks read.
    std::string file = PdfBuilder()
                           .Object(1, "<</Type/Catalog/Pages 2 0 R>>")
                           .Object(2, "<</Type/Pages/Kids[3 0 R]/Count 1>>")
                           .Object(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 9 9]/Resources<<>>>>")
                           .Object(4, "<</A 1>>>>")
                           .Object(5, "<</A[1 2]/B<</C 3>>")
                           .Object(6, "<</D(six)>>")
                           .Trailer("/Root 1 0 R")
                           .Build();
    const size_t last = file.rfind("endobj");
    file.replace(last, 6, "      ");
    RawReading reading(file);
    EXPECT_EQ(reading.Read(4), "4 0 obj\n<</A 1>>\nendobj\n");
    const std::string five = reading.Read(5);
    EXPECT_EQ(five.rfind("5 0 obj\n<</A[1 2]/B<</C 3>>", 0), 0u) << five;
    EXPECT_EQ(reading.Read(6), "6 0 obj\n<</D<736978>>>\nendobj\n");
    for (const bool first : {true, false}) {
        TempDir dir;
        ASSERT_EQ(Append(dir, first ? file : MinimalPdf(1), first ? MinimalPdf(1) : file, false), "");
        CPdfDocument result;
        ASSERT_NO_THROW(result.Open(dir.File("out.pdf")));
        EXPECT_FALSE(result.WasRebuilt());
    }
}

TEST(CPdfRawReaderTest, AStreamWithNoEndobjAfterItsDataIsNotCutAtAnEndobjInIt)
{
    // The data (its length right) holds an object of its own; after the
    // data's "endstream" the file has no "endobj" at all.
    const std::string data = "\n9 0 obj\n(fake)\nendobj\n";
    std::string file = PdfBuilder()
                           .Object(1, "<</Type/Catalog/Pages 2 0 R>>")
                           .Object(2, "<</Type/Pages/Kids[3 0 R]/Count 1>>")
                           .Object(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 9 9]/Resources<<>>>>")
                           .Object(4, "<</Length " + std::to_string(data.size()) + ">>stream\r\n" + data +
                                          "\r\nendstream")
                           .Trailer("/Root 1 0 R")
                           .Build();
    const size_t last = file.rfind("endobj");
    file.replace(last, 6, "endob?");
    RawReading reading(file);
    EXPECT_EQ(reading.Read(4), "4 0 obj\n<</Length 23>>stream\r\n" + data + "\nendstream\nendobj\n");
}
