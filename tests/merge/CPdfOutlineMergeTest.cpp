// The joined outline: later inputs' top-level items hang under one root,
// linked both ways, with the root's /Last and /Count following.
#include <gtest/gtest.h>

#include "merge/CPdfOutlineMerge.h"
#include "support/MergeTestKit.h"

namespace {

// Catalog 1 (with `outlines` after /Pages), page tree 2, page 3, and more
// objects; written as producers write them, no space after names.
std::string Doc(const std::string& outlines, const std::vector<std::pair<int, std::string>>& objects = {})
{
    PdfBuilder b;
    b.Object(1, "<</Type/Catalog/Pages 2 0 R" + outlines + ">>");
    b.Object(2, "<</Type/Pages/Kids[3 0 R]/Count 1>>");
    b.Object(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 9 9]/Resources<<>>>>");
    for (const auto& [n, body] : objects)
        b.Object(n, body);
    b.Trailer("/Root 1 0 R");
    return b.Build();
}

// Root 4 with items 5 and 6 (titles prefix1, prefix2); count "" states none.
std::string TwoItems(const std::string& prefix, const std::string& count)
{
    return Doc("/Outlines 4 0 R", {{4, "<</Type/Outlines/First 5 0 R/Last\n6 0 R" + count + ">>"},
                                   {5, "<</Title(" + prefix + "1)/Parent 4 0 R/Next 6 0 R/Dest[3 0 R/Fit]>>"},
                                   {6, "<</Title(" + prefix + "2)/Parent 4 0 R/Prev 5 0 R/Dest[3 0 R/Fit]>>"}});
}

std::string Key(PlannedInputs& in, size_t part, int number, const char* key)
{
    return Describe(At(in.Copied(part, number), key));
}

}  // namespace

TEST(CPdfOutlineMergeTest, LaterItemsFollowTheFirstDocumentsUnderItsRoot)
{
    // The second input's objects are numbered from 7 - 1 = 6 on: its items
    // are 11 and 12, its root 10 is left out.
    PlannedInputs in({TwoItems("a", "/Count 2"), TwoItems("b", "/Count -2"), TwoItems("c", "")});
    CPdfOutlineMerge merge;
    in.Run({&merge});
    EXPECT_EQ(Key(in, 0, 4, "First"), "5 0 R");
    EXPECT_EQ(Key(in, 0, 4, "Last"), "18 0 R");
    EXPECT_EQ(Key(in, 0, 4, "Count"), "i:0");  // 2 open, then -2 and nothing
    EXPECT_EQ(Key(in, 0, 6, "Next"), "11 0 R");
    EXPECT_EQ(Key(in, 1, 5, "Prev"), "6 0 R");
    EXPECT_EQ(Key(in, 1, 6, "Next"), "17 0 R");
    EXPECT_EQ(Key(in, 2, 5, "Prev"), "12 0 R");
    for (size_t part : {1, 2}) {
        EXPECT_TRUE(in.Plan().IsDropped(part, 4));
        EXPECT_EQ(Key(in, part, 5, "Parent"), "4 0 R");
        EXPECT_EQ(Key(in, part, 6, "Parent"), "4 0 R");
    }
    EXPECT_EQ(Key(in, 1, 5, "Dest/0"), "9 0 R");
}

TEST(CPdfOutlineMergeTest, WithoutAnOutlineInTheFirstALaterRootBecomesTheOutline)
{
    for (const std::string& first : {Doc(""), Doc("/Outlines<<>>"), Doc("/Outlines null")}) {
        PlannedInputs in({first, Doc(""), TwoItems("b", "")});
        CPdfOutlineMerge merge;
        in.Run({&merge});
        EXPECT_EQ(Key(in, 0, 1, "Outlines"), "10 0 R") << first;
        EXPECT_EQ(Key(in, 0, 1, "Pages"), "2 0 R");
        EXPECT_FALSE(in.Plan().IsDropped(2, 4));
        EXPECT_EQ(Key(in, 2, 4, "Last"), "12 0 R");  // as it was, renumbered
        EXPECT_EQ(Key(in, 2, 4, "Count"), "null");  // none stated, none written
    }
}

TEST(CPdfOutlineMergeTest, AnEmptyRootTakesTheItemsAndUnlinkableOutlinesStayAsTheyAre)
{
    {
        PlannedInputs in({Doc("/Outlines 4 0 R", {{4, "<</Type/Outlines>>"}}), TwoItems("b", "/Count 2")});
        CPdfOutlineMerge merge;
        in.Run({&merge});
        EXPECT_EQ(Key(in, 0, 4, "First"), "9 0 R");
        EXPECT_EQ(Key(in, 0, 4, "Last"), "10 0 R");
        EXPECT_EQ(Key(in, 0, 4, "Count"), "i:2");
    }
    // A later root whose items name its catalog, an item that is no
    // dictionary, or a direct outline with items in the first: nothing is
    // linked to what cannot take a link.
    const std::string unlinkable[] = {
        Doc("/Outlines 4 0 R", {{4, "<</First 1 0 R/Last 1 0 R>>"}}),
        Doc("/Outlines 4 0 R", {{4, "<</First 5 0 R/Last 5 0 R>>"}, {5, "[1 2]"}}),
    };
    for (const std::string& later : unlinkable) {
        PlannedInputs in({TwoItems("a", "/Count 2"), later});
        CPdfOutlineMerge merge;
        in.Run({&merge});
        EXPECT_EQ(Key(in, 0, 4, "Last"), "6 0 R");
        EXPECT_EQ(Key(in, 0, 6, "Next"), "null");
    }
    PlannedInputs in({Doc("/Outlines<</First 4 0 R/Last 4 0 R>>", {{4, "<</Title(x)>>"}}), TwoItems("b", "")});
    CPdfOutlineMerge merge;
    in.Run({&merge});
    EXPECT_EQ(Key(in, 0, 1, "Outlines/First"), "4 0 R");
    EXPECT_EQ(Key(in, 1, 5, "Parent"), "8 0 R");
}

TEST(CPdfOutlineMergeTest, AChainOfItemsThatComesBackOnItselfEndsWhereItDoes)
{
    const std::string loop = Doc("/Outlines 4 0 R", {{4, "<</First 5 0 R/Last 7 0 R/Count 3>>"},
                                                     {5, "<</Title(1)/Parent 4 0 R/Next 6 0 R>>"},
                                                     {6, "<</Title(2)/Parent 4 0 R/Next 5 0 R>>"},
                                                     {7, "<</Title(3)/Parent 4 0 R>>"}});
    PlannedInputs in({TwoItems("a", "/Count 2"), loop});
    CPdfOutlineMerge merge;
    in.Run({&merge});
    EXPECT_EQ(Key(in, 1, 5, "Parent"), "4 0 R");
    EXPECT_EQ(Key(in, 1, 6, "Parent"), "4 0 R");
    EXPECT_EQ(Key(in, 0, 4, "Last"), "13 0 R");
    EXPECT_EQ(Key(in, 0, 4, "Count"), "i:5");
}
