// Whole append jobs on small documents built in code: numbering, the page
// tree, failures, and the compact mode's sharing rules. (Raw copying of
// look-alike bytes, junk before the header and generations is judged end to
// end, in test_variants.py.)
#include <gtest/gtest.h>

#include <filesystem>

#include "support/AppendTestKit.h"
#include "base/Messages.h"

namespace {

// One page using font 5; its resources also name 6 (and 7 exists when given).
std::string OnePage(const std::string& five, const std::string& six, const std::string& seven = "",
                    const std::string& count = "1")
{
    std::vector<std::pair<int, std::string>> objects = {{5, five}, {6, six}};
    if (!seven.empty())
        objects.push_back({7, seven});
    return OnePageWith("/Font << /F1 5 0 R >> /Properties << /P6 6 0 R >>", objects, count);
}

const char kFont[] = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>";

}  // namespace

TEST(CPdfFileAppendTest, NumbersSecondDocumentAfterFirstAndJoinsPageTrees)
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

TEST(CPdfFileAppendTest, DamagedInputsGiveTheResultTheirUndamagedFormsGive)
{
    // Font 5 is fetched by no check made on opening: only copying it finds
    // its entry wrong, and the table is rebuilt in the middle of the job.
    const std::string valid = OnePage(kFont, "<< /A 1 >>", "(seven)");
    std::string shifted = valid;
    shifted.insert(shifted.find('\n') + 1, "   ");  // every stated offset 3 short
    const std::pair<const char*, std::string> damaged[] = {
        {"every offset 3 short", shifted},
        {"one entry 3 long", MoveEntry(valid, 5, 3)},
        {"one entry at the next object", MoveEntry(valid, 6, 0, valid.find("7 0 obj"))},
    };
    TempDir dir;
    for (bool compact : {false, true}) {
        ASSERT_EQ(Append(dir, valid, MinimalPdf(2), compact), "");
        const std::string asFirst = ReadFile(dir.File("out.pdf"));
        ASSERT_EQ(Append(dir, MinimalPdf(2), valid, compact), "");
        const std::string asSecond = ReadFile(dir.File("out.pdf"));
        for (const auto& [name, bytes] : damaged) {
            SCOPED_TRACE(std::string(name) + (compact ? " /s" : ""));
            ASSERT_EQ(Append(dir, bytes, MinimalPdf(2), compact), "");
            EXPECT_EQ(ReadFile(dir.File("out.pdf")), asFirst);
            ASSERT_EQ(Append(dir, MinimalPdf(2), bytes, compact), "");
            EXPECT_EQ(ReadFile(dir.File("out.pdf")), asSecond);
        }
    }
}

TEST(CPdfFileAppendTest, APageTreeObjectTheCopyCannotWriteAsItWasReadRefusesTheJob)
{
    // A later input's document information gives way to the first's; here
    // it is the page itself, which would be lost with it.
    const std::string infoIsPage = PdfBuilder()
                                       .Object(1, "<</Type/Catalog/Pages 2 0 R>>")
                                       .Object(2, "<</Type/Pages/Kids[3 0 R]/Count 1>>")
                                       .Object(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 9 9]/Resources<<>>>>")
                                       .Trailer("/Root 1 0 R/Info 3 0 R")
                                       .Build();
    TempDir dir;
    for (const bool compact : {false, true}) {
        SCOPED_TRACE(compact ? "/s" : "plain");
        EXPECT_EQ(Append(dir, MinimalPdf(1), infoIsPage, compact), msg::kDamaged);
        EXPECT_FALSE(std::filesystem::exists(dir.File("out.pdf")));
        // As the first input its information is kept, and so is the page.
        ASSERT_EQ(Append(dir, infoIsPage, MinimalPdf(1), compact), "");
        std::filesystem::remove(dir.File("out.pdf"));
    }
}

TEST(CPdfFileAppendTest, CompactSharesEqualObjectsOnlyWhenWhatTheyReferToIsSharedUnderTheSameNumber)
{
    const std::string a1 = OnePage(kFont, "<< /A 1 >>"), count = OnePage(kFont, "1", "", "6 0 R");
    const std::string cycle = OnePage(kFont, "<< /Other 7 0 R >>", "<< /Other 6 0 R >>");
    const std::string chain = OnePageWith("/A 6 0 R /B 8 0 R", {{6, "<< /N 7 0 R >>"}, {7, "(seven)"}, {8, "(y)"}});
    // Reached from link 4: page 3 (its annotation first), link 5, action 6
    // back to the page, and 7, which names only 6. The page is never shared,
    // so neither is anything that leads to it, 7 included.
    PdfBuilder linked;
    linked.Object(1, "<</Type/Catalog/Pages 2 0 R>>").Object(2, "<</Type/Pages/Kids[3 0 R]/Count 1>>");
    linked.Object(3, "<</Type/Page/Annots[5 0 R 4 0 R]/Parent 2 0 R/MediaBox[0 0 9 9]/Resources<<>>>>");
    linked.Object(4, "<</Type/Annot/Subtype/Link/Rect[0 0 1 1]/P 3 0 R>>");
    linked.Object(5, "<</Type/Annot/Subtype/Link/Rect[0 0 1 1]/A 6 0 R>>");
    linked.Object(6, "<</S/GoTo/D[3 0 R/Fit]/Next 7 0 R>>").Object(7, "<</S/Named/N/NextPage/Next 6 0 R>>");
    const std::string link = linked.Trailer("/Root 1 0 R").Build();
    // Objects of the result: "-" not written (shared), "+" written, else text it holds.
    const struct {
        std::string first, second;
        bool compact;
        std::vector<std::pair<int, std::string>> objects;
    } cases[] = {
        {a1, OnePage(kFont, "<< /A 2 >>"), true, {{5 + 6, "-"}, {6 + 6, "+"}, {3 + 6, "/F1 5 0 R"}, {3 + 6, "/P6 12 0 R"}}},
        {a1, OnePage(kFont, "<<  /A 1 >>"), true, {{6 + 6, "+"}}},  // spacing differs: not equal
        {a1, a1, false, {{5 + 6, "+"}}},                           // without /s nothing is shared
        // The innermost object of a chain differs: nothing of the chain is shared.
        {OnePage(kFont, "<< /N 7 0 R >>", "(x)"), OnePage(kFont, "<< /N 7 0 R >>", "(y)"), true, {{6 + 7, "+"}, {7 + 7, "+"}}},
        // (y) equals the first document's 8, but the first's "7 0 R" names
        // another object: 6 is written, pointing at 8.
        {chain, OnePage(kFont, "<< /N 7 0 R >>", "(y)"), true, {{7 + 8, "-"}, {6 + 8, "/N 8 0 R"}}},
        // Shared under the first document's generation (3).
        {OnePageWith("/Font << /F1 5 3 R >>", {{-5, kFont}}), OnePage(kFont, "(6)"), true, {{3 + 5, "/F1 5 3 R"}}},
        // Cycles end, and are shared only when matched to themselves (not
        // when the first document has the texts under swapped numbers).
        {cycle, cycle, true, {{6 + 7, "-"}, {7 + 7, "-"}}},
        {OnePage(kFont, "<< /Other 6 0 R >>", "<< /Other 7 0 R >>"), cycle, true, {{6 + 7, "+"}, {7 + 7, "+"}}},
        {link, link, true, {{5 + 7, "+"}, {6 + 7, "+"}, {7 + 7, "+"}}},
        // Page-tree nodes and an indirect /Count object are always written.
        {count, count, true, {{2 + 6, "+"}, {3 + 6, "+"}, {6 + 6, "+"}}},
    };
    TempDir dir;
    for (size_t i = 0; i < std::size(cases); ++i) {
        ASSERT_EQ(Append(dir, cases[i].first, cases[i].second, cases[i].compact), "") << "case " << i;
        const std::string out = ReadFile(dir.File("out.pdf"));
        for (const auto& [number, holds] : cases[i].objects) {
            const std::string text = ObjectText(out, number);
            EXPECT_TRUE(holds == "-" ? text.empty() : holds == "+" ? !text.empty() : text.find(holds) != text.npos)
                << "case " << i << ", object " << number << ": " << text;
        }
    }
}

TEST(CPdfFileAppendTest, CompactNeverSharesObjectsThatDifferInMoreThanGenerations)
{
    // One page whose resources name 6; 6 and 7 as given.
    const auto doc = [](const std::string& six, const std::string& seven, bool glued) {
        PdfBuilder b;
        if (glued)
            b.Glued();
        b.Object(1, "<</Type/Catalog/Pages 2 0 R>>").Object(2, "<</Type/Pages/Kids[3 0 R]/Count 1>>");
        b.Object(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 9 9]/Resources<</Font<</F1 5 0 R>>"
                    "/Properties<</P6 6 0 R>>>>>>");
        b.Object(5, kFont).Object(6, six).Object(7, seven);
        return b.Trailer("/Root 1 0 R").Build();
    };
    const std::string large(20000, 'a');
    std::string largeOther = large;
    largeOther[15000] = 'b';
    const struct {
        std::string first, second;
        const char* six;    // "+" written, "-" shared
        const char* seven;
    } cases[] = {
        // Glued after "obj": the reference in 6 still counts, and 7 differs.
        {doc("<</N 7 0 R>>", "(x)", true), doc("<</N 7 0 R>>", "(y)", true), "+", "+"},
        {doc("<</N 7 0 R>>", "(x)", true), doc("<</N 7 0 R>>", "(x)", true), "-", "-"},
        // Bytes that look like a reference inside a string or stream data,
        // or a number where the other has a reference, are not generations.
        {doc("<</T(Ref 12 R)>>", "(x)", false), doc("<</T(Ref 34 R)>>", "(x)", false), "+", "-"},
        {doc("(x)", StreamObject("", "BT (Ref 12 R) Tj ET"), false),
         doc("(x)", StreamObject("", "BT (Ref 34 R) Tj ET"), false), "-", "+"},
        {doc("[5 0 R]", "(x)", false), doc("[5 ]", "(x)", false), "+", "-"},
        // A reference's generation is the only thing that may differ.
        {doc("[5 0 R]", "(x)", true), doc("[5 3 R]", "(x)", false), "-", "-"},
        // Large data, copied straight from the file: equal is shared, and a
        // difference far from where it starts still tells it apart.
        {doc("(x)", StreamObject("", large), true), doc("(x)", StreamObject("", large), false), "-", "-"},
        {doc("(x)", StreamObject("", large), false), doc("(x)", StreamObject("", largeOther), false), "-", "+"},
    };
    TempDir dir;
    for (size_t i = 0; i < std::size(cases); ++i) {
        ASSERT_EQ(Append(dir, cases[i].first, cases[i].second, true), "") << "case " << i;
        const std::string out = ReadFile(dir.File("out.pdf"));
        const int offset = TableSize(cases[i].first) - 1;
        EXPECT_EQ(ObjectText(out, 6 + offset).empty(), cases[i].six[0] == '-') << "case " << i;
        EXPECT_EQ(ObjectText(out, 7 + offset).empty(), cases[i].seven[0] == '-') << "case " << i;
    }
}

TEST(CPdfFileAppendTest, CompactLongReferenceChainsDoNotExhaustTheStack)
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
