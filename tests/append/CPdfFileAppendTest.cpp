// Whole append jobs on small documents built in code: numbering, the page
// tree, raw copying, failures, and the compact mode's sharing rules.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>

#include "append/AppendTestKit.h"
#include "main/Messages.h"
#include "object/ObjectTestKit.h"

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

// A root node 2 (with rootKeys) over node 3 (with nodeKeys) over pages 4 and
// 5; page 5 sets everything itself; object 7 is seven. Compact, as producers write.
std::string InheritingTree(const std::string& rootKeys, const std::string& nodeKeys, const std::string& seven = "(7)")
{
    return PdfBuilder()
        .Object(1, "<</Type/Catalog/Pages 2 0 R>>")
        .Object(2, "<</Type/Pages/Kids[3 0 R]/Count 2" + rootKeys + ">>")
        .Object(3, "<</Type/Pages/Parent 2 0 R/Kids[4 0 R 5 0 R]/Count 2" + nodeKeys + ">>")
        .Object(4, "<</Type/Page/Parent 3 0 R/Contents 6 0 R>>")
        .Object(5, "<</Type/Page/Parent 3 0 R/MediaBox[0 0 50 50]/Rotate 0/Resources<</M/Five>>/Contents 6 0 R>>")
        .Stream(6, "", "0 g 5 5 20 20 re f")
        .Object(7, seven)
        .Trailer("/Root 1 0 R")
        .Build();
}

// Per page, in order, the inheritable attributes as the PDF rules give them,
// found by walking down from the catalog (not by the catalog loader). A crop
// box that holds any media box means the same as none, no rotation the same
// as 0, and no media box (a fault readers forgive) US Letter: the forms the
// second root's stops take.
std::vector<std::string> EffectivePages(const std::string& path)
{
    CPdfDocument doc;
    doc.Open(path);
    CPdfXRef& xref = *doc.GetXRef();
    const char* keys[] = {"Resources", "MediaBox", "CropBox", "Rotate"};
    std::vector<std::string> pages;
    std::function<void(const CPdfObject&, std::vector<std::string>, int)> walk = [&](const CPdfObject& node,
                                                                                    std::vector<std::string> values,
                                                                                    int depth) {
        ASSERT_EQ(node.GetKind(), OBJ_DICTIONARY);
        ASSERT_LT(depth, 10);
        for (size_t k = 0; k < std::size(keys); ++k) {
            CPdfObject value;
            node.GetDictionary()->Lookup(keys[k], value);
            if (value.GetKind() != OBJ_NULL)
                values[k] = std::string(keys[k]) + " " + Describe(value);
        }
        if (values[2] == "CropBox [i:-32767 i:-32767 i:32767 i:32767]")
            values[2].clear();
        if (values[1].empty())
            values[1] = "MediaBox [i:0 i:0 i:612 i:792]";
        if (values[3].empty())
            values[3] = "Rotate i:0";
        CPdfObject kids;
        node.GetDictionary()->Lookup("Kids", kids);
        if (kids.GetKind() != OBJ_ARRAY) {
            pages.push_back(values[0] + " " + values[1] + " " + values[2] + " " + values[3]);
            return;
        }
        for (int32_t i = 0; i < kids.GetArray()->GetSize(); ++i) {
            CPdfObject kid;
            kids.GetArray()->Get(i, kid);
            walk(kid, values, depth + 1);
        }
    };
    CPdfObject catalog, root;
    xref.FetchObject(xref.GetRootNum(), xref.GetRootGen(), catalog);
    catalog.GetDictionary()->Lookup("Pages", root);
    walk(root, std::vector<std::string>(std::size(keys)), 0);
    return pages;
}

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

TEST(Append, EveryPageKeepsTheAttributesItInheritedInItsInput)
{
    // Resources, boxes and rotation on the intermediate node, under a root
    // setting others (a), under a root setting none (b), or resources on the
    // root only (c, whose page 4 has nothing of its own).
    const std::map<std::string, std::string> docs = {
        {"a", InheritingTree("/Resources<</M/RootA>>/MediaBox[0 0 400 400]/CropBox[1 1 300 300]/Rotate 90",
                             "/Resources 7 0 R/MediaBox[0 0 200 100]/Rotate 180", "<</M/NodeA>>")},
        {"b", InheritingTree("", "/Resources<</M/NodeB>>/MediaBox[0 0 120 240]/Rotate 270")},
        {"c", InheritingTree("/Resources<</M/RootC>>", "")}};
    TempDir dir;
    dir.Write("b.pdf", docs.at("b"));
    EXPECT_EQ(EffectivePages(dir.File("b.pdf"))[0], "Resources <</M /NodeB>> MediaBox [i:0 i:0 i:120 i:240]  Rotate i:270");
    for (const auto& [first, second] : std::vector<std::pair<std::string, std::string>>{
             {"a", "b"}, {"b", "a"}, {"a", "c"}, {"c", "a"}, {"a", "a"}, {"c", "b"}}) {
        for (bool compact : {false, true}) {
            SCOPED_TRACE(first + " " + second + (compact ? " /s" : ""));
            ASSERT_EQ(Append(dir, docs.at(first), docs.at(second), compact), "");
            std::vector<std::string> expected = EffectivePages(dir.File("a.pdf"));
            for (const std::string& page : EffectivePages(dir.File("b.pdf")))
                expected.push_back(page);
            EXPECT_EQ(EffectivePages(dir.File("out.pdf")), expected);
        }
    }
}

TEST(Append, DamagedInputsGiveTheResultTheirUndamagedFormsGive)
{
    // Font 5 is fetched by no check made on opening: only copying it finds
    // its entry wrong, and the table is rebuilt in the middle of the job.
    const std::string valid = OnePage(kFont, "<< /A 1 >>", "(seven)");
    std::string shifted = valid;
    shifted.insert(shifted.find('\n') + 1, "   ");  // every stated offset 3 short
    const std::string body = valid.substr(0, valid.rfind("startxref"));
    const std::pair<const char*, std::string> damaged[] = {
        {"every offset 3 short", shifted},
        {"one entry 3 long", MoveEntry(valid, 5, 3)},
        {"one entry at the next object", MoveEntry(valid, 6, 0, valid.find("7 0 obj"))},
        {"no startxref", body + "%%EOF\n"},
        {"junk after %%EOF", valid + std::string(5000, '\x01')},
        {"junk before the header", std::string(2048, '\n') + valid},
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

TEST(Append, ArgumentsNameInputsOutputAndSwitch)
{
    const struct {
        std::vector<std::string> args;
        std::string parsed;  // "in1,in2,... > output [/s]" or the failure
    } cases[] = {
        {{"a", "b"}, "a,b > temp.tmp"},
        {{"a", "b", "/s"}, "a,b > temp.tmp /s"},
        {{"a", "b", "o"}, "a,b > o"},
        {{"a", "b", ""}, "a,b > temp.tmp"},
        {{"a", "b", "o", "/s"}, "a,b > o /s"},
        {{"a", "b", "o", "x"}, "a,b > o /s"},  // any fourth argument, as ever
        {{"a", "b", "c.pdf", "o.pdf"}, "a,b,c.pdf > o.pdf"},
        {{"a", "b", "c", "O.Pdf"}, "a,b,c > O.Pdf"},
        {{"a", "b", "c", "d", "o"}, "a,b,c,d > o"},
        {{"a", "b", "c", "o", "/s"}, "a,b,c > o /s"},
        {{"a", "a", "a", "o.pdf"}, "a,a,a > o.pdf"},
        {{"a"}, msg::kWrongParameters},
        {{"a", ""}, msg::kWrongParameters},
        {{"a", "/s", "c", "o", "/s"}, msg::kWrongParameters},
        {{"a", "b", "c", "o", "/s", "/s"}, msg::kWrongParameters},
        {{"a", "b", "c", "", "/s"}, msg::kWrongParameters},
        {{"a", "", "c", "o.pdf"}, msg::kWrongParameters},
    };
    for (const auto& c : cases) {
        std::vector<std::string> all = {"korvel"};
        all.insert(all.end(), c.args.begin(), c.args.end());
        std::vector<char*> argv;
        for (auto& s : all)
            argv.push_back(s.data());
        CPdfFileAppend job;
        std::string parsed;
        try {
            job.ParseArguments(static_cast<int>(argv.size()), argv.data());
            for (const std::string& name : job.GetInputNames())
                parsed += (parsed.empty() ? "" : ",") + name;
            parsed += " > " + job.GetOutputName() + (job.IsCompact() ? " /s" : "");
        } catch (const CPdfException& e) {
            parsed = e.GetMessageText();
        }
        EXPECT_EQ(parsed, c.parsed) << c.args.size();
    }
}
