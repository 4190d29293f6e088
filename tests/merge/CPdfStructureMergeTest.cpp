// Tagged inputs joined into one structure tree: where each input's elements
// hang, the keys that reach them, their language, and the names joined.
#include <gtest/gtest.h>

#include "merge/CPdfStructureMerge.h"
#include "support/MergeTestKit.h"

namespace {

struct Tags {
    std::string top = "Document";  // the role of the root's one element 5
    std::string lang = "(en)";     // the catalog's; "" for none
    std::string root;              // more entries of the root 4
    std::string kids = "5 0 R";    // the root's /K
    bool tagged = true;            // false: no tree, but the page keeps its key
};

// Page 3 (key 0) with a link annotation 7 (key 1), both naming element 6
// under element 5 under the root 4; the parent tree is 8.
std::string Tagged(const Tags& t)
{
    PdfBuilder b;
    b.Object(1, "<</Type/Catalog/Pages 2 0 R" + std::string(t.tagged ? "/StructTreeRoot 4 0 R/MarkInfo<</Marked true>>" : "") +
                    (t.lang.empty() ? "" : "/Lang" + t.lang) + ">>");
    b.Object(2, "<</Type/Pages/Kids[3 0 R]/Count 1>>");
    b.Object(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 9 9]/Resources<<>>/StructParents 0/Annots[7 0 R]>>");
    if (t.tagged) {
        b.Object(4, "<</Type/StructTreeRoot/K " + t.kids + "/ParentTree 8 0 R/ParentTreeNextKey 2" + t.root + ">>");
        b.Object(5, "<</Type/StructElem/S/" + t.top + "/P 4 0 R/K[6 0 R]>>");
        b.Object(6, "<</S/Custom/P 5 0 R/Pg 3 0 R/K[0<</Type/OBJR/Obj 7 0 R>>]/ID(x)>>");
        b.Object(8, "<</Nums[0[6 0 R]1 6 0 R]>>");
    }
    b.Object(7, "<</Type/Annot/Subtype/Link/Rect[0 0 1 1]/StructParent 1>>");
    b.Trailer("/Root 1 0 R");
    return b.Build();
}

std::string Key(PlannedInputs& in, size_t part, int number, const char* key)
{
    return Describe(At(in.Copied(part, number), key));
}

}  // namespace

TEST(CPdfStructureMergeTest, LaterDocumentElementsHangUnderTheFirstsWithTheirKeysMoved)
{
    // Sizes 9: the second input's objects move up by 8, the third's by 16;
    // the new objects start at 25.
    Tags fr;
    fr.lang = "(fr)";
    PlannedInputs in({Tagged({}), Tagged(fr), Tagged({})});
    CPdfStructureMerge merge;
    in.Run({&merge});
    EXPECT_EQ(Key(in, 0, 4, "K"), "5 0 R");
    EXPECT_EQ(Key(in, 0, 4, "ParentTree"), "25 0 R");
    EXPECT_EQ(Key(in, 0, 4, "ParentTreeNextKey"), "i:6");
    EXPECT_EQ(Key(in, 0, 5, "K"), "[6 0 R 13 0 R 21 0 R]");
    EXPECT_EQ(Key(in, 1, 5, "P"), "5 0 R");
    EXPECT_EQ(Key(in, 1, 5, "Lang"), "<6672>");  // (fr): read as in its own input
    EXPECT_EQ(Key(in, 2, 5, "Lang"), "null");    // the first's language already
    EXPECT_EQ(Describe(At(in.New(25), "Nums")),
              "[i:0 [6 0 R] i:1 6 0 R i:2 [14 0 R] i:3 14 0 R i:4 [22 0 R] i:5 22 0 R]");
    EXPECT_EQ(Key(in, 0, 3, "StructParents"), "i:0");
    EXPECT_EQ(Key(in, 1, 3, "StructParents"), "i:2");
    EXPECT_EQ(Key(in, 2, 7, "StructParent"), "i:5");
    for (size_t part : {0, 1, 2})
        EXPECT_TRUE(in.Plan().IsDropped(part, 8));
    EXPECT_TRUE(in.Plan().IsDropped(1, 4));
    EXPECT_FALSE(in.Plan().HasEdits(0, 1));  // marked already
    EXPECT_TRUE(merge.GetUntagged().empty());
}

TEST(CPdfStructureMergeTest, InputsWithoutADocumentElementGetAPartAndUntaggedOnesLoseTheirKeys)
{
    Tags sect;
    sect.top = "Sect";
    Tags none;
    none.tagged = false;
    PlannedInputs in({Tagged(sect), Tagged(sect), Tagged(none)});
    CPdfStructureMerge merge;
    in.Run({&merge});
    // The untagged input has 8 entries: new objects start at 24, the parent
    // tree, then the /Document element 25 and the second's part 26.
    EXPECT_EQ(Key(in, 0, 4, "K"), "25 0 R");
    EXPECT_EQ(Key(in, 0, 5, "P"), "25 0 R");
    EXPECT_EQ(Describe(in.New(25)), "<</K [5 0 R 26 0 R] /P 4 0 R /S /Document /Type /StructElem>>");
    EXPECT_EQ(Describe(in.New(26)), "<</K [13 0 R] /P 25 0 R /S /Part /Type /StructElem>>");
    EXPECT_EQ(Key(in, 1, 5, "P"), "26 0 R");
    EXPECT_EQ(Key(in, 2, 3, "StructParents"), "null");
    EXPECT_EQ(Key(in, 2, 7, "StructParent"), "null");
    EXPECT_EQ(merge.GetUntagged(), std::vector<size_t>{2});

    // An element written into the root itself names its new part.
    Tags direct;
    direct.kids = "[<</S/Sect/P 4 0 R/K 6 0 R>>]";
    PlannedInputs inner({Tagged({}), Tagged(direct)});
    CPdfStructureMerge innerMerge;
    inner.Run({&innerMerge});
    EXPECT_EQ(Describe(At(inner.New(18), "K")), "[<</K 14 0 R /P 18 0 R /S /Sect>>]");

    // Only the first is tagged: its tree stays, the others lose their keys.
    PlannedInputs first({Tagged({}), Tagged(none)});
    CPdfStructureMerge firstMerge;
    first.Run({&firstMerge});
    EXPECT_FALSE(first.Plan().HasEdits(0, 4));
    EXPECT_FALSE(first.Plan().IsDropped(0, 8));
    EXPECT_EQ(Key(first, 1, 3, "StructParents"), "null");
    EXPECT_EQ(firstMerge.GetUntagged(), std::vector<size_t>{1});
}

TEST(CPdfStructureMergeTest, AnUntaggedFirstDocumentGetsANewRootAndMarkInfo)
{
    Tags none;
    none.tagged = false;
    none.lang = "";
    PlannedInputs in({Tagged(none), Tagged({})});
    CPdfStructureMerge merge;
    in.Run({&merge});
    // 8 entries, then 9: the second moves up by 7. Its leftover key goes;
    // the second's keys start at 0.
    EXPECT_EQ(Key(in, 0, 3, "StructParents"), "null");
    EXPECT_EQ(Key(in, 1, 3, "StructParents"), "i:0");
    EXPECT_EQ(Key(in, 0, 1, "StructTreeRoot"), "17 0 R");
    EXPECT_EQ(Key(in, 0, 1, "MarkInfo"), "<</Marked true>>");
    EXPECT_EQ(Describe(in.New(17)), "<</K [18 0 R] /ParentTree 16 0 R /ParentTreeNextKey i:2 /Type /StructTreeRoot>>");
    EXPECT_EQ(Describe(in.New(18)), "<</K [12 0 R] /P 17 0 R /S /Document /Type /StructElem>>");
    EXPECT_EQ(Key(in, 1, 5, "P"), "18 0 R");
    EXPECT_EQ(Key(in, 1, 5, "Lang"), "<656e>");  // the result has no language of its own
    EXPECT_EQ(merge.GetUntagged(), std::vector<size_t>{0});
}

TEST(CPdfStructureMergeTest, RolesAndIdsThatAnEarlierInputUsesOtherwiseTakeFreeNames)
{
    Tags a, b;
    a.root = "/RoleMap<</Custom/H1/Shared/P>>/IDTree<</Names[(x)6 0 R]>>/ClassMap<</Cls<</O/Layout/Placement/Block>>>>";
    b.root = "/RoleMap<</Custom/P/Shared/P>>/IDTree<</Kids[<</Names[(x)6 0 R(y)6 0 R]>>]>>"
             "/ClassMap<</Cls<</O/Layout/Placement/Inline>>>>";
    PlannedInputs in({Tagged(a), Tagged(b)});
    CPdfStructureMerge merge;
    in.Run({&merge});
    EXPECT_EQ(Key(in, 0, 4, "RoleMap"), "<</Custom /H1 /Custom-2 /P /Shared /P>>");
    EXPECT_EQ(Key(in, 1, 6, "S"), "/Custom-2");
    EXPECT_EQ(Key(in, 0, 6, "S"), "/Custom");
    EXPECT_EQ(Key(in, 0, 4, "ClassMap"), "<</Cls <</O /Layout /Placement /Block>> /Cls-2 <</O /Layout /Placement /Inline>>>>");
    // The joined ID tree (after the parent tree 17); x of the second is x-2.
    EXPECT_EQ(Key(in, 0, 4, "IDTree"), "18 0 R");
    EXPECT_EQ(Describe(At(in.New(18), "Names")), "[<78> 6 0 R <782d32> 14 0 R <79> 14 0 R]");
    EXPECT_EQ(Key(in, 1, 6, "ID"), "<782d32>");
    EXPECT_EQ(Key(in, 0, 6, "ID"), "(x)");
}
