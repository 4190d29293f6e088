// Whole append jobs on small documents built in code: numbering, the page
// tree, raw copying, failures, and the compact mode's sharing rules.
#include <gtest/gtest.h>

#include <filesystem>

#include "append/AppendTestKit.h"
#include "main/Messages.h"

namespace {

// One page using font 5; its resources also name 6 (and 7 exists when given).
std::string OnePage(const std::string& five, const std::string& six, const std::string& seven = "",
                    const std::string& count = "1")
{
    PdfBuilder b;
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count " + count + " >>");
    b.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Resources << /Font << /F1 5 0 R >> "
                "/Properties << /P6 6 0 R >> >> /Contents 4 0 R >>");
    b.Stream(4, "", "BT /F1 12 Tf 10 10 Td (Hi) Tj ET");
    b.Object(5, five);
    b.Object(6, six);
    if (!seven.empty())
        b.Object(7, seven);
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
    EXPECT_EQ(ObjectText(out, 5), "");  // the second catalog is left out
    EXPECT_EQ(ObjectText(out, 2), "2 0 obj\n<< /Type /Pages /Kids [3 0 R  6 0 R ] /Count  3 >>\nendobj");
    EXPECT_EQ(ObjectText(out, 6).substr(0, 30), "6 0 obj\n<<\r/Parent 2 0 R /Type");
    EXPECT_NE(ObjectText(out, 7).find("/Parent 6 0 R"), std::string::npos);
    EXPECT_EQ(out.substr(out.size() - 5), "%%EOF");
}

TEST(Append, CopiesRawBytesWithEveryReferenceRenumbered)
{
    // Junk before the header, a reference of generation 1, and stream data
    // holding "endobj", "ObjStm" and reference-like bytes.
    const std::string data = "BT (5 0 R endobj ObjStm) Tj ET";
    PdfBuilder b;
    b.Prefix(std::string(300, 'x') + "\n");
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
    EXPECT_NE(out.find("8 0 obj\n<< /Length 30>>\nstream\n" + data + "\nendstream\nendobj\n9 1 obj"), std::string::npos);
    EXPECT_EQ(ObjectText(out, 9), "9 1 obj\n(five) /Title (not 3 0 R)\nendobj");
    EXPECT_NE(out.find("00001 n \r"), std::string::npos);  // the table gives object 9 its generation
}

TEST(Append, FirstRootNodeEditsKeepCountsAndInheritedAttributesRight)
{
    TempDir dir;
    // An indirect /Count is replaced whole by the sum.
    ASSERT_EQ(Append(dir, OnePage(kFont, "1", "", "6 0 R"), MinimalPdf(2), false), "");
    EXPECT_NE(ObjectText(ReadFile(dir.File("out.pdf")), 2).find("/Count  3 >>"), std::string::npos);
    const std::string rotated = OnePageWith("", {{4, "1"}}, "4 0 R /Rotate 90 /CropBox [1 1 8 8]");
    ASSERT_EQ(Append(dir, rotated, MinimalPdf(1), false), "");
    const std::string out = ReadFile(dir.File("out.pdf"));
    EXPECT_NE(ObjectText(out, 2).find("/Count  2 /Rotate"), std::string::npos) << ObjectText(out, 2);
    // The second root stops what its pages would inherit from the first.
    EXPECT_NE(ObjectText(out, 6).find("/Parent 2 0 R\r/Rotate 0\r/CropBox [-32767 -32767 32767 32767] /Type"),
              std::string::npos);
}

TEST(Append, FailureLeavesExistingOutputAndNoTemporaryFile)
{
    TempDir dir;
    dir.Write("out.pdf", "precious");
    EXPECT_EQ(Append(dir, MinimalPdf(1), "not a pdf at all", false), msg::kDamaged);
    EXPECT_EQ(ReadFile(dir.File("out.pdf")), "precious");
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        EXPECT_NE(entry.path().filename().string().substr(0, 8), ".korvel-");
}

TEST(Compact, SharesEqualObjectsOnlyWhenWhatTheyReferToIsSharedUnderTheSameNumber)
{
    TempDir dir;
    ASSERT_EQ(Append(dir, OnePage(kFont, "<< /A 1 >>"), OnePage(kFont, "<< /A 2 >>"), true), "");
    std::string out = ReadFile(dir.File("out.pdf"));
    EXPECT_EQ(ObjectText(out, 5 + 6), "");  // the equal font is not written again
    EXPECT_NE(ObjectText(out, 6 + 6), "");
    EXPECT_NE(ObjectText(out, 3 + 6).find("/F1 5 0 R"), std::string::npos);
    EXPECT_NE(ObjectText(out, 3 + 6).find("/P6 12 0 R"), std::string::npos);
    // Spacing differs: not equal.
    ASSERT_EQ(Append(dir, OnePage(kFont, "<< /A 1 >>"), OnePage(kFont, "<<  /A 1 >>"), true), "");
    EXPECT_NE(ObjectText(ReadFile(dir.File("out.pdf")), 6 + 6), "");
    // The innermost object of a chain differs: nothing of the chain is shared.
    ASSERT_EQ(Append(dir, OnePage(kFont, "<< /N 7 0 R >>", "(x)"), OnePage(kFont, "<< /N 7 0 R >>", "(y)"), true), "");
    out = ReadFile(dir.File("out.pdf"));
    EXPECT_NE(ObjectText(out, 6 + 7), "");
    EXPECT_NE(ObjectText(out, 7 + 7), "");
    // (y) equals the first document's 8, but the first's "7 0 R" names
    // another object: 6 is written, pointing at 8.
    const std::string first = OnePageWith("/A 6 0 R /B 8 0 R", {{6, "<< /N 7 0 R >>"}, {7, "(first seven)"}, {8, "(y)"}});
    ASSERT_EQ(Append(dir, first, OnePage(kFont, "<< /N 7 0 R >>", "(y)"), true), "");
    out = ReadFile(dir.File("out.pdf"));
    EXPECT_EQ(ObjectText(out, 7 + 8), "");
    EXPECT_NE(ObjectText(out, 6 + 8).find("/N 8 0 R"), std::string::npos);
    // Shared under the first document's generation.
    const std::string third = OnePageWith("/Font << /F1 5 3 R >>", {{-5, kFont}});  // generation 3
    ASSERT_EQ(Append(dir, third, OnePage(kFont, "(6)"), true), "");
    EXPECT_NE(ObjectText(ReadFile(dir.File("out.pdf")), 3 + 5).find("/F1 5 3 R"), std::string::npos);
    // Without /s nothing is shared.
    ASSERT_EQ(Append(dir, OnePage(kFont, "1"), OnePage(kFont, "1"), false), "");
    EXPECT_NE(ObjectText(ReadFile(dir.File("out.pdf")), 5 + 6), "");
}

TEST(Compact, CyclesTerminateAndShareOnlyWhenMatchedToThemselves)
{
    TempDir dir;
    const std::string a = OnePage(kFont, "<< /Other 7 0 R >>", "<< /Other 6 0 R >>");
    ASSERT_EQ(Append(dir, a, a, true), "");
    std::string out = ReadFile(dir.File("out.pdf"));
    EXPECT_EQ(ObjectText(out, 6 + 7), "");
    EXPECT_EQ(ObjectText(out, 7 + 7), "");
    // The first document has the texts under swapped numbers.
    ASSERT_EQ(Append(dir, OnePage(kFont, "<< /Other 6 0 R >>", "<< /Other 7 0 R >>"), a, true), "");
    out = ReadFile(dir.File("out.pdf"));
    EXPECT_NE(ObjectText(out, 6 + 7), "");
    EXPECT_NE(ObjectText(out, 7 + 7), "");
}

TEST(Compact, PagesTreeNodesAndTheIndirectCountObjectAreAlwaysWritten)
{
    const std::string doc = OnePage(kFont, "1", "", "6 0 R");
    TempDir dir;
    ASSERT_EQ(Append(dir, doc, doc, true), "");
    const std::string out = ReadFile(dir.File("out.pdf"));
    for (int number : {2, 3, 6})
        EXPECT_NE(ObjectText(out, number + 6), "") << number;
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
