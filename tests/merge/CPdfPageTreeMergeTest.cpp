// One page tree: every later input's root node hangs under the first's, the
// count is the sum, and pages inherit what they inherited in their own tree.
#include <gtest/gtest.h>

#include "merge/CPdfPageTreeMerge.h"
#include "support/MergeTestKit.h"

namespace {

// Catalog 1, root node 2 (its entries after /Type/Pages), page 3 under it,
// and more objects.
std::string Tree(const std::string& root, const std::vector<std::pair<int, std::string>>& objects = {})
{
    PdfBuilder b;
    b.Object(1, "<</Type/Catalog/Pages 2 0 R>>");
    b.Object(2, "<</Type/Pages" + root + ">>");
    b.Object(3, "<</Type/Page/Parent 2 0 R/Resources<<>>>>");
    for (const auto& [n, body] : objects)
        b.Object(n, body);
    b.Trailer("/Root 1 0 R");
    return b.Build();
}

const char kPlain[] = "/Kids[3 0 R]/Count 1/MediaBox[0 0 9 9]/Resources<<>>";

}  // namespace

TEST(CPdfPageTreeMergeTest, LaterRootsHangUnderTheFirstAndTheCountIsTheSum)
{
    // Sizes 4, 6 and 4: the second input moves up by 3, the third by 8.
    PlannedInputs in({Tree(kPlain), Tree("/Kids 4 0 R/Count 5 0 R", {{4, "[3 0 R]"}, {5, "1"}}), Tree(kPlain)});
    CPdfPageTreeMerge merge;
    in.Run({&merge});
    EXPECT_EQ(Describe(in.Copied(0, 2)), "<</Count i:3 /Kids [3 0 R 5 0 R 10 0 R] /MediaBox [i:0 i:0 i:9 i:9] "
                                         "/Resources <<>> /Type /Pages>>");
    // An indirect count says nothing the walk did not: one page.
    EXPECT_EQ(Describe(At(in.Copied(1, 2), "Parent")), "2 0 R");
    EXPECT_EQ(Describe(At(in.Copied(1, 2), "Count")), "8 0 R");
    EXPECT_EQ(Describe(At(in.Copied(2, 2), "Parent")), "2 0 R");

    // Kids in an object of their own: that array takes the new kid.
    PlannedInputs indirect({Tree("/Kids 4 0 R/Count 5 0 R", {{4, "[3 0 R]"}, {5, "1"}}), Tree(kPlain)});
    CPdfPageTreeMerge second;
    indirect.Run({&second});
    EXPECT_EQ(Describe(indirect.Copied(0, 4)), "[3 0 R 7 0 R]");
    EXPECT_EQ(Describe(At(indirect.Copied(0, 2), "Count")), "i:2");  // the count object itself stays
    EXPECT_EQ(Describe(indirect.Copied(0, 5)), "i:1");
}

TEST(CPdfPageTreeMergeTest, ALaterRootStopsWhatItsPagesWouldInheritFromTheFirst)
{
    const std::string first = Tree("/Kids[3 0 R]/Count 1/Rotate 90/CropBox[1 1 8 8]/MediaBox[0 0 9 9]/Resources<<>>");
    PlannedInputs in({first, Tree("/Kids[3 0 R]/Count 1")});
    CPdfPageTreeMerge merge;
    in.Run({&merge});
    // What they had by default: no rotation, Letter, a crop box as large as
    // any media box, no resources above their root.
    const CPdfObject second = in.Copied(1, 2);
    EXPECT_EQ(Text(At(second, "Rotate")), "0");
    EXPECT_EQ(Describe(At(second, "CropBox")), "[i:-32767 i:-32767 i:32767 i:32767]");
    EXPECT_EQ(Describe(At(second, "MediaBox")), "[i:0 i:0 i:612 i:792]");
    EXPECT_EQ(Describe(At(second, "Resources")), "<<>>");

    // What the second root sets itself, or the first does not set, stays.
    PlannedInputs own({first, Tree("/Kids[3 0 R]/Count 1/Rotate 180/CropBox[0 0 5 5]/MediaBox[0 0 5 5]/Resources<<>>")});
    CPdfPageTreeMerge ownMerge;
    own.Run({&ownMerge});
    EXPECT_EQ(Describe(own.Copied(1, 2)), "<</Count i:1 /CropBox [i:0 i:0 i:5 i:5] /Kids [6 0 R] /MediaBox [i:0 i:0 i:5 i:5] "
                                          "/Parent 2 0 R /Resources <<>> /Rotate i:180 /Type /Pages>>");
    PlannedInputs bare({Tree(kPlain), Tree("/Kids[3 0 R]/Count 1")});
    CPdfPageTreeMerge bareMerge;
    bare.Run({&bareMerge});
    EXPECT_EQ(Describe(bare.Copied(1, 2)), "<</Count i:1 /Kids [6 0 R] /MediaBox [i:0 i:0 i:612 i:792] /Parent 2 0 R "
                                           "/Resources <<>> /Type /Pages>>");
}
