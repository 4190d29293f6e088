// Page labels: one flat number tree in which every page keeps the label it
// had in its own input.
#include <gtest/gtest.h>

#include "merge/CPdfPageLabelMerge.h"
#include "support/MergeTestKit.h"

namespace {

// pages pages (objects 10, 11, ...); labels: the catalog's /PageLabels
// value ("" for none), more objects beside.
std::string Labelled(int pages, const std::string& labels, const std::vector<std::pair<int, std::string>>& objects = {})
{
    PdfBuilder b;
    std::string kids;
    for (int p = 0; p < pages; ++p) {
        kids += std::to_string(10 + p) + " 0 R ";
        b.Object(10 + p, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 9 9]/Resources<<>>>>");
    }
    b.Object(1, "<</Type/Catalog/Pages 2 0 R" + (labels.empty() ? "" : "/PageLabels" + labels) + ">>");
    b.Object(2, "<</Type/Pages/Kids[" + kids + "]/Count " + std::to_string(pages) + ">>");
    for (const auto& [n, body] : objects)
        b.Object(n, body);
    b.Trailer("/Root 1 0 R");
    return b.Build();
}

}  // namespace

TEST(CPdfPageLabelMergeTest, EveryPageKeepsItsLabelInOneFlatTree)
{
    // Three pages: ranges split over kids, a label of its own object, a
    // range beyond its pages; then two pages without labels; then two whose
    // labels start on their second page.
    const std::string first = Labelled(3, "<</Kids[3 0 R 4 0 R]>>", {{3, "<</Limits[0 1]/Nums[0 5 0 R]>>"},
                                                                     {4, "<</Limits[2 9]/Nums[2<</S/D/P(A-)>>9<</S/R>>]>>"},
                                                                     {5, "<</S/r>>"}});
    PlannedInputs in({first, Labelled(2, ""), Labelled(2, "<</Nums[1<</S/a>>]>>")});
    CPdfPageLabelMerge merge;
    in.Run({&merge});
    const int64_t tree = in.Numbering().GetEndNumber() - 1;
    EXPECT_EQ(Describe(At(in.Copied(0, 1), "PageLabels")), std::to_string(tree) + " 0 R");
    EXPECT_EQ(Describe(in.New(tree)), "<</Nums [i:0 5 0 R i:2 <</P <412d> /S /D>> i:3 <</S /D>> i:5 <</S /D>> "
                                      "i:6 <</S /a>>]>>");
    EXPECT_TRUE(in.Plan().IsDropped(0, 3));
    EXPECT_TRUE(in.Plan().IsDropped(0, 4));
    EXPECT_FALSE(in.Plan().IsDropped(0, 5));
}

TEST(CPdfPageLabelMergeTest, NoTreeIsWrittenWhenNoInputHasLabels)
{
    PlannedInputs in({Labelled(1, ""), Labelled(2, "null"), Labelled(1, "7 0 R")});
    CPdfPageLabelMerge merge;
    in.Run({&merge});
    EXPECT_FALSE(in.Plan().HasEdits(0, 1));
    PlannedInputs alone({Labelled(1, "")});
    CPdfPageLabelMerge aloneMerge;
    alone.Run({&aloneMerge});
    EXPECT_FALSE(alone.Plan().HasEdits(0, 1));
}
