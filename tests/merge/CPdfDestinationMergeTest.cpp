// Named destinations across two documents: which tokens of an object's text
// name a destination, and the merged name tree (kids, limits, order).
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "support/AppendTestKit.h"
#include "merge/CPdfDestinationRenamer.h"

namespace {

std::string Rename(const std::string& text)
{
    // page.1 and page.7 are renamed; anything else stays.
    const CPdfDestinationRenamer renamer([](const std::string& name, std::string& renamed) {
        if (name != "page.1" && name != "page.7")
            return false;
        renamed = name + "-2";
        return true;
    });
    std::string out;
    return renamer.Transform(reinterpret_cast<const uint8_t*>(text.data()), static_cast<uint32_t>(text.size()), out)
               ? out
               : text;
}

// A document of three pages (3, 4, 5) whose name tree holds n0 ... n(count-1),
// name i leading to page i % 3, in leaves of ten under one root.
std::string Named(int count)
{
    PdfBuilder b;
    std::string kids;
    int number = 10;
    for (int first = 0; first < count; first += 10, ++number) {
        std::string names;
        for (int i = first; i < std::min(count, first + 10); ++i)
            names += "(n" + std::to_string(1000 + i) + ")[" + std::to_string(3 + i % 3) + " 0 R/Fit]";
        b.Object(number, "<</Limits[(n" + std::to_string(1000 + first) + ")(n" +
                             std::to_string(1000 + std::min(count, first + 10) - 1) + ")]/Names[" + names + "]>>");
        kids += std::to_string(number) + " 0 R ";
    }
    b.Object(1, "<</Type/Catalog/Pages 2 0 R/Names<</Dests 9 0 R>>>>");
    b.Object(2, "<</Type/Pages/Kids[3 0 R 4 0 R 5 0 R]/Count 3>>");
    for (int p = 3; p <= 5; ++p)
        b.Object(p, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 9 9]/Resources<<>>>>");
    b.Object(9, "<</Kids[" + kids + "]>>");
    b.Trailer("/Root 1 0 R");
    return b.Build();
}

}  // namespace

TEST(CPdfDestinationRenamerTest, OnlyDestinationsAndGoToTargetsAreRenamed)
{
    const std::pair<std::string, std::string> cases[] = {
        {"<</Subtype/Link/Dest(page.1)>>", "<</Subtype/Link/Dest<706167652e312d32>>>"},
        {"<</Subtype/Link/Dest/page.1/Border[0 0 0]>>", "<</Subtype/Link/Dest/page.1-2/Border[0 0 0]>>"},
        {"<</A<</S/GoTo/D(page.7)>>>>", "<</A<</S/GoTo/D<706167652e372d32>>>>>"},
        {"<</A<</D<706167652e37>/S/GoTo>>>>", "<</A<</D<706167652e372d32>/S/GoTo>>>>"},  // /D before /S, hex
        {"<</A<</S/URI/URI(u)/Next[<</S/GoTo/D(page\\0561)>>]>>>>",
         "<</A<</S/URI/URI(u)/Next[<</S/GoTo/D<706167652e312d32>>>]>>>>"},  // along /Next, an escape
        {"<</A<</S/GoToR/F(x.pdf)/D(page.1)>>>>", ""},  // another file's name
        {"<</OCProperties<</D(page.1)>>>>", ""},          // not an action
        {"<</Dest[3 0 R/XYZ 0 0 0]/Contents(/Dest(page.1))>>", ""},
        {"<</Dest(page.2)>>", ""},
        {"<</Length 9>>stream\n/Dest(page.1)\nendstream", ""},  // stream data
        {"<</P 5 0 R/Dest(page.1)>>", "<</P 5 0 R/Dest<706167652e312d32>>>"},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(Rename(text), expected.empty() ? text : expected) << text;
}

TEST(CPdfDestinationMergeTest, OneSortedTreeWithEveryNameOfBoth)
{
    TempDir dir;
    ASSERT_EQ(Append(dir, Named(300), Named(25), false), "");
    // Walk the tree: every leaf's keys ascend and lie within its limits.
    std::vector<std::pair<std::string, int>> entries;  // key, page object
    std::string problems;
    const std::function<void(const CPdfObject&, int)> walk = [&](const CPdfObject& node, int depth) {
        const CPdfObject kids = At(node, "Kids"), pairs = At(node, "Names");
        const std::string lo = Text(At(node, "Limits/0")), hi = Text(At(node, "Limits/1"));
        for (int32_t i = 0; kids.GetKind() == OBJ_ARRAY && depth < 10 && i < kids.GetArray()->GetSize(); ++i)
            walk(At(kids, std::to_string(i)), depth + 1);
        for (int32_t i = 0; pairs.GetKind() == OBJ_ARRAY && i + 1 < pairs.GetArray()->GetSize(); i += 2) {
            const std::string key = Text(At(pairs, std::to_string(i)));
            CPdfObject page;
            At(pairs, std::to_string(i + 1)).GetArray()->GetRaw(0, page);
            if (!entries.empty() && entries.back().first >= key)
                problems += "order at " + key + "; ";
            if (!lo.empty() && (key < lo || key > hi))
                problems += "limits at " + key + "; ";
            entries.push_back({key, page.GetRefNum()});
        }
    };
    walk(Result(dir.File("out.pdf"))["Names/Dests"], 0);
    EXPECT_EQ(problems, "");
    ASSERT_EQ(entries.size(), 325u);
    // The first document's names as they were; the second's renamed, leading
    // to its own pages (T1 = 40: its pages 3, 4, 5 are 42, 43, 44).
    const std::map<std::string, int> all(entries.begin(), entries.end());
    EXPECT_EQ(std::vector({all.at("n1000"), all.at("n1299"), all.at("n1000-2"), all.at("n1014-2")}),
              std::vector({3, 5, 42, 44}));
    EXPECT_EQ(all.count("n1025-2"), 0u);
}

TEST(CPdfDestinationMergeTest, ARenamedNameCountsUpPastNamesTaken)
{
    // The second document defines n1000 (taken by the first) and n1000-2
    // itself: its n1000 becomes n1000-3, and its link follows.
    PdfBuilder b;
    b.Object(1, "<</Type/Catalog/Pages 2 0 R/Names<</Dests<</Names[(n1000)[3 0 R/Fit](n1000-2)[3 0 R/Fit]]>>>>>>");
    b.Object(2, "<</Type/Pages/Kids[3 0 R]/Count 1>>");
    b.Object(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 9 9]/Resources<<>>/Annots[<</Subtype/Link/Dest(n1000)>>]>>");
    TempDir dir;
    ASSERT_EQ(Append(dir, Named(1), b.Trailer("/Root 1 0 R").Build(), false), "");
    const Result result(dir.File("out.pdf"));
    EXPECT_EQ(Text(result["Names/Dests/Names/0"]) + " " + Text(result["Names/Dests/Names/2"]) + " " +
                  Text(result["Names/Dests/Names/4"]),
              "n1000 n1000-2 n1000-3");
    const CPdfObject page = result.Object(3 + TableSize(ReadFile(dir.File("a.pdf"))) - 1);
    EXPECT_EQ(Text(At(page, "Annots/0/Dest")), "n1000-3");
}
