// Whole append jobs on small documents built in code: numbering, the page
// tree, raw copying, failures, and the compact mode's sharing rules.
#include <gtest/gtest.h>

#include <filesystem>

#include "append/AppendTestKit.h"
#include "main/Messages.h"

namespace {

// A one-page document whose page uses font object 5 and refers to object 6
// from its resources; 5 and 6 are given by the caller.
std::string OnePage(const std::string& font, const std::string& six, const std::string& extra = "")
{
    PdfBuilder b;
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    b.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Resources << /Font << /F1 5 0 R >> "
                "/Properties << /P6 6 0 R >> >> /Contents 4 0 R >>");
    b.Stream(4, "", "BT /F1 12 Tf 10 10 Td (Hi) Tj ET");
    b.Object(5, font);
    b.Object(6, six);
    if (!extra.empty())
        b.Object(7, extra);
    b.Trailer("/Root 1 0 R");
    return b.Build();
}

const char kFont[] = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>";

}  // namespace

TEST(Append, NumbersSecondDocumentAfterFirstAndJoinsPageTrees)
{
    TempDir dir;
    ASSERT_EQ(Append(dir, MinimalPdf(1), MinimalPdf(2), false), "");
    const std::string out = ReadFile(dir.File("out.pdf"));
    // T1 = 5, T2 = 7: 11 entries; the second document's objects move up by 4.
    EXPECT_EQ(TableSize(out), 11);
    EXPECT_NE(out.find("/Size 11\n"), std::string::npos);
    EXPECT_EQ(ObjectText(out, 5), "");  // second catalog: free
    EXPECT_EQ(ObjectText(out, 2), "2 0 obj\n<< /Type /Pages /Kids [3 0 R  6 0 R ] /Count  3 >>\nendobj");
    EXPECT_EQ(ObjectText(out, 6).substr(0, 30), "6 0 obj\n<<\r/Parent 2 0 R /Type");
    EXPECT_NE(ObjectText(out, 7).find("/Parent 6 0 R"), std::string::npos);
    CPdfDocument doc;
    doc.Open(dir.File("out.pdf"));
    EXPECT_EQ(out.substr(out.size() - 5), "%%EOF");
}

TEST(Append, RewritesReferencesOfEveryGenerationAndKeepsStreamDataWhole)
{
    // A stream whose data holds "endobj", "ObjStm" and reference-like bytes:
    // the object is copied whole, its data untouched.
    const std::string data = "BT (5 0 R endobj ObjStm) Tj ET";
    PdfBuilder b;
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    b.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 9 9] /Resources << /X 5 1 R >> /Contents 4 0 R >>");
    b.Stream(4, "", data);
    b.Object(5, "(five) /Title (not 3 0 R)", 1);
    b.Trailer("/Root 1 0 R");
    TempDir dir;
    ASSERT_EQ(Append(dir, MinimalPdf(1), b.Build(), false), "");
    const std::string out = ReadFile(dir.File("out.pdf"));
    EXPECT_NE(ObjectText(out, 7).find("/X 9 1 R"), std::string::npos);
    EXPECT_EQ(ObjectText(out, 8).substr(0, 7), "8 0 obj");
    EXPECT_NE(out.find(data + "\nendstream\nendobj\n9 1 obj"), std::string::npos);
    EXPECT_EQ(ObjectText(out, 9), "9 1 obj\n(five) /Title (not 3 0 R)\nendobj");
    EXPECT_NE(out.find("00001 n \r"), std::string::npos);  // the table gives object 9 its generation
}

TEST(Append, JunkBeforeTheHeaderShiftsNothing)
{
    PdfBuilder b;
    b.Prefix(std::string(300, 'x') + "\n");
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    b.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 9 9] /Resources << >> >>");
    b.Trailer("/Root 1 0 R");
    TempDir dir;
    ASSERT_EQ(Append(dir, b.Build(), b.Build(), false), "");
    const std::string out = ReadFile(dir.File("out.pdf"));
    EXPECT_EQ(ObjectText(out, 3).substr(0, 7), "3 0 obj");
    EXPECT_EQ(ObjectText(out, 6).substr(0, 7), "6 0 obj");
}

TEST(Append, IndirectCountOfFirstRootIsReplacedByTheSum)
{
    PdfBuilder b;
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 4 0 R >>");
    b.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 9 9] /Resources << >> >>");
    b.Object(4, "1");
    b.Trailer("/Root 1 0 R");
    TempDir dir;
    ASSERT_EQ(Append(dir, b.Build(), MinimalPdf(2), false), "");
    const std::string root = ObjectText(ReadFile(dir.File("out.pdf")), 2);
    EXPECT_NE(root.find("/Count  3 >>"), std::string::npos) << root;
}

TEST(Append, FirstRootRotationDoesNotTurnTheSecondDocumentsPages)
{
    PdfBuilder b;
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 /Rotate 90 >>");
    b.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 9 9] /Resources << >> >>");
    b.Trailer("/Root 1 0 R");
    TempDir dir;
    ASSERT_EQ(Append(dir, b.Build(), MinimalPdf(1), false), "");
    EXPECT_NE(ObjectText(ReadFile(dir.File("out.pdf")), 5).find("/Parent 2 0 R\r/Rotate 0 /Type /Pages"),
              std::string::npos);
    ASSERT_EQ(Append(dir, MinimalPdf(1), b.Build(), false), "");
    EXPECT_EQ(ObjectText(ReadFile(dir.File("out.pdf")), 6).find("/Rotate 0"), std::string::npos);
}

TEST(Append, FailureLeavesExistingOutputAndNoTemporaryFile)
{
    TempDir dir;
    dir.Write("out.pdf", "precious");
    EXPECT_EQ(Append(dir, MinimalPdf(1), "not a pdf at all", false), msg::kDamaged);
    EXPECT_EQ(ReadFile(dir.File("out.pdf")), "precious");
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        files += entry.path().filename().string().find(".korvel-") == 0;
    EXPECT_EQ(files, 0);
}

TEST(Compact, SharesAnEqualFontAndPointsReferencesAtTheFirstCopy)
{
    const std::string a = OnePage(kFont, "<< /A 1 >>");
    const std::string b = OnePage(kFont, "<< /A 2 >>");
    TempDir dir;
    ASSERT_EQ(Append(dir, a, b, true), "");
    const std::string out = ReadFile(dir.File("out.pdf"));
    EXPECT_EQ(ObjectText(out, 5 + 6), "");           // the second font is not written
    EXPECT_NE(ObjectText(out, 6 + 6), "");           // object 6 differs: written
    const std::string page = ObjectText(out, 3 + 6);
    EXPECT_NE(page.find("/F1 5 0 R"), std::string::npos) << page;
    EXPECT_NE(page.find("/P6 12 0 R"), std::string::npos) << page;
    // Without /s nothing is shared.
    ASSERT_EQ(Append(dir, a, b, false), "");
    EXPECT_NE(ObjectText(ReadFile(dir.File("out.pdf")), 5 + 6), "");
}

TEST(Compact, ObjectsDifferingOnlyInSpacingAreNotShared)
{
    TempDir dir;
    ASSERT_EQ(Append(dir, OnePage(kFont, "<< /A 1 >>"), OnePage(kFont, "<<  /A 1 >>"), true), "");
    EXPECT_NE(ObjectText(ReadFile(dir.File("out.pdf")), 6 + 6), "");
}

TEST(Compact, AnObjectIsSharedOnlyWhenWhatItRefersToIsSharedUnderTheSameNumber)
{
    // 6 refers to 7. Innermost differs: neither is shared.
    TempDir dir;
    ASSERT_EQ(Append(dir, OnePage(kFont, "<< /Next 7 0 R >>", "(x)"), OnePage(kFont, "<< /Next 7 0 R >>", "(y)"),
                     true),
              "");
    std::string out = ReadFile(dir.File("out.pdf"));
    EXPECT_NE(ObjectText(out, 6 + 7), "");
    EXPECT_NE(ObjectText(out, 7 + 7), "");
    // Equal texts, but the referenced object is matched to a different
    // number in the first document: the first document's "7 0 R" names
    // another object, so 6 must be written.
    PdfBuilder first;
    first.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    first.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    first.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 9 9] /Resources << /A 6 0 R /B 8 0 R >> >>");
    first.Object(6, "<< /Next 7 0 R >>");
    first.Object(7, "(first seven)");
    first.Object(8, "(y)");
    first.Trailer("/Root 1 0 R");
    ASSERT_EQ(Append(dir, first.Build(), OnePage(kFont, "<< /Next 7 0 R >>", "(y)"), true), "");
    out = ReadFile(dir.File("out.pdf"));
    EXPECT_EQ(ObjectText(out, 7 + 8), "");  // (y) shared with first's 8
    EXPECT_NE(ObjectText(out, 6 + 8), "");  // but 6 is written, pointing at 8
    EXPECT_NE(ObjectText(out, 6 + 8).find("/Next 8 0 R"), std::string::npos);
}

TEST(Compact, CyclesTerminateAndShareOnlyWhenMatchedToThemselves)
{
    TempDir dir;
    const std::string a = OnePage(kFont, "<< /Other 7 0 R >>", "<< /Other 6 0 R >>");
    ASSERT_EQ(Append(dir, a, a, true), "");
    std::string out = ReadFile(dir.File("out.pdf"));
    EXPECT_EQ(ObjectText(out, 6 + 7), "");
    EXPECT_EQ(ObjectText(out, 7 + 7), "");
    // The same cycle in the second document, but the first document has the
    // texts under swapped numbers: not shared.
    const std::string swapped = OnePage(kFont, "<< /Other 6 0 R >>", "<< /Other 7 0 R >>");
    ASSERT_EQ(Append(dir, swapped, a, true), "");
    out = ReadFile(dir.File("out.pdf"));
    EXPECT_NE(ObjectText(out, 6 + 7), "");
    EXPECT_NE(ObjectText(out, 7 + 7), "");
}

TEST(Compact, PagesTreeNodesAndTheIndirectCountObjectAreAlwaysWritten)
{
    PdfBuilder b;
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 4 0 R >>");
    b.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 9 9] /Resources << >> >>");
    b.Object(4, "1");
    b.Trailer("/Root 1 0 R");
    const std::string doc = b.Build();
    TempDir dir;
    ASSERT_EQ(Append(dir, doc, doc, true), "");
    const std::string out = ReadFile(dir.File("out.pdf"));
    EXPECT_NE(ObjectText(out, 2 + 4), "");
    EXPECT_NE(ObjectText(out, 3 + 4), "");
    EXPECT_NE(ObjectText(out, 4 + 4), "");
    CPdfDocument result;
    ASSERT_NO_THROW(result.Open(dir.File("out.pdf")));
}

TEST(Compact, LongReferenceChainsDoNotExhaustTheStack)
{
    constexpr int kChain = 100000;
    PdfBuilder b;
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    b.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 9 9] /Resources << /X 10 0 R >> >>");
    for (int i = 10; i < 10 + kChain; ++i)
        b.Object(i, i + 1 < 10 + kChain ? "<< /N " + std::to_string(i + 1) + " 0 R >>" : "(end)");
    b.Trailer("/Root 1 0 R");
    const std::string doc = b.Build();
    TempDir dir;
    ASSERT_EQ(Append(dir, doc, doc, true), "");
    const std::string out = ReadFile(dir.File("out.pdf"));
    const int offset = TableSize(doc) - 1;
    EXPECT_EQ(ObjectText(out, 10 + offset), "");
    EXPECT_EQ(ObjectText(out, 10 + kChain - 1 + offset), "");
    EXPECT_NE(ObjectText(out, 3 + offset).find("/X 10 0 R"), std::string::npos);
}
