// Name trees read from any shape an input has and written anew as one
// sorted, balanced tree; attached files joined across inputs through it.
#include <gtest/gtest.h>

#include "merge/CPdfAttachmentMerge.h"
#include "merge/CPdfNameDictionaryMerge.h"
#include "merge/CPdfNameTree.h"
#include "support/MergeTestKit.h"

namespace {

// Catalog 1 (names: its /Names value), page tree 2, page 3, more objects.
std::string Doc(const std::string& names, const std::vector<std::pair<int, std::string>>& objects = {})
{
    PdfBuilder b;
    b.Object(1, "<</Type/Catalog/Pages 2 0 R" + (names.empty() ? "" : "/Names" + names) + ">>");
    b.Object(2, "<</Type/Pages/Kids[3 0 R]/Count 1>>");
    b.Object(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 9 9]/Resources<<>>>>");
    for (const auto& [n, body] : objects)
        b.Object(n, body);
    b.Trailer("/Root 1 0 R");
    return b.Build();
}

// The keys and values of a tree read from part, "key=value;" each.
std::string ReadTree(PlannedInputs& in, size_t part, const std::string& root, std::vector<int32_t>& nodes)
{
    const CPdfValueWriter writer([&in, part](int64_t n) { return in.Plan().OutputTarget(part, n); });
    std::vector<CPdfNameTree::Entry> entries;
    CPdfNameTree::Read(in.Plan().GetParts()[part], writer, ParseOne(root), entries, nodes);
    std::string out;
    for (const auto& e : entries)
        out += e.key + "=" + e.value + ";";
    return out;
}

// The /Names array of a written leaf, "key=value;" each.
std::string Pairs(const CPdfObject& leaf)
{
    const CPdfObject names = At(leaf, "Names");
    std::string out;
    for (int32_t i = 0; names.GetKind() == OBJ_ARRAY && i + 1 < names.GetArray()->GetSize(); i += 2)
        out += Text(At(names, std::to_string(i))) + "=" + Describe(At(names, std::to_string(i + 1))) + ";";
    return out;
}

// A tree planned and written alone.
struct TreeMerge : CPdfDocumentMerge {
    std::vector<CPdfNameTree::Entry> entries;
    CPdfNameTree tree;
    std::string root;
    void Plan(CPdfMergePlan& plan) override { root = tree.Plan(plan, std::move(entries)); }
    void Write(CPdfMergeOutput& output) override { tree.Write(output); }
};

}  // namespace

TEST(CPdfNameTreeTest, ReadsEveryNodeOnceWhateverTheTreeLooksLike)
{
    // Kids in order, a kid named twice and a kid naming its parent read
    // once, keys written as names taken too, references in output numbers.
    PlannedInputs in({Doc(""), Doc("", {{4, "<</Kids[5 0 R 6 0 R 6 0 R]>>"},
                                        {5, "<</Names[(b)7 0 R/c[3 0 R/Fit]]/Kids[4 0 R]>>"},
                                        {6, "<</Names[(d)(x)(odd)]>>"},
                                        {7, "<</Type/Filespec>>"}})});
    std::vector<int32_t> nodes;
    EXPECT_EQ(ReadTree(in, 1, "4 0 R", nodes), "b=10 0 R;c=[6 0 R/Fit];d=<78>;");
    EXPECT_EQ(nodes, (std::vector<int32_t>{4, 6, 5}));
    nodes.clear();
    EXPECT_EQ(ReadTree(in, 1, "<</Names[(z)1]>>", nodes), "z=1;");
    EXPECT_TRUE(nodes.empty());
    EXPECT_EQ(ReadTree(in, 1, "99 0 R", nodes), "");
}

TEST(CPdfNameTreeTest, WritesSortedLeavesUnderAsManyLevelsAsTheyNeed)
{
    PlannedInputs in({Doc("")});
    TreeMerge merge;
    const size_t n = CPdfNameTree::kNodeSize;
    for (size_t i = 2 * n + 5; i-- > 0;)
        merge.entries.push_back({"k" + std::string(1, char('a' + i / 26 / 26 % 26)) + char('a' + i / 26 % 26) +
                                     char('a' + i % 26),
                                 std::to_string(i)});
    in.Run({&merge});
    // The root first (4), then its three leaves.
    EXPECT_EQ(merge.root, "4 0 R");
    EXPECT_EQ(Describe(in.New(4)), "<</Kids [5 0 R 6 0 R 7 0 R]>>");
    EXPECT_EQ(Text(At(in.New(5), "Limits/0")) + " " + Text(At(in.New(5), "Limits/1")), "kaaa kaex");
    EXPECT_EQ(Text(At(in.New(7), "Limits/0")) + " " + Text(At(in.New(7), "Limits/1")), "kajw kaka");
    EXPECT_EQ(Pairs(in.New(7)), "kajw=i:256;kajx=i:257;kajy=i:258;kajz=i:259;kaka=i:260;");

    // None: one empty root; n * n + 1: three levels.
    PlannedInputs empty({Doc("")}), big({Doc("")});
    TreeMerge none, deep;
    for (size_t i = 0; i <= n * n; ++i)
        deep.entries.push_back({std::to_string(1000000 + i), "null"});
    empty.Run({&none});
    big.Run({&deep});
    EXPECT_EQ(Describe(empty.New(4)), "<</Names []>>");
    EXPECT_EQ(Describe(big.New(4)), "<</Kids [5 0 R 6 0 R]>>");
    EXPECT_EQ(Describe(At(big.New(6), "Kids")), "[" + std::to_string(7 + n) + " 0 R]");
}

TEST(CPdfNameTreeTest, AttachedFilesOfEveryInputAreListedAndNoNameIsLost)
{
    const std::string a = Doc("<</EmbeddedFiles 4 0 R/JavaScript 6 0 R>>",
                              {{4, "<</Names[(a.txt)5 0 R]>>"}, {5, "<</Type/Filespec/F(a.txt)>>"}, {6, "<<>>"}});
    const std::string b = Doc(" 5 0 R", {{4, "<</Names[(a.txt)6 0 R(b.txt)6 0 R]>>"},
                                        {5, "<</EmbeddedFiles 4 0 R>>"},
                                        {6, "<</Type/Filespec/F(b.txt)>>"}});
    PlannedInputs in({a, b});
    CPdfNameDictionaryMerge names;
    CPdfAttachmentMerge files(names);
    in.Run({&files, &names});
    // New objects after both inputs' (7 + 7 - 1 = 13 numbers): the tree's root.
    EXPECT_EQ(Describe(At(in.Copied(0, 1), "Names")), "<</EmbeddedFiles 13 0 R /JavaScript 6 0 R>>");
    EXPECT_EQ(Pairs(in.New(13)), "a.txt=5 0 R;a.txt-2=12 0 R;b.txt=12 0 R;");
    EXPECT_TRUE(in.Plan().IsDropped(0, 4));
    EXPECT_TRUE(in.Plan().IsDropped(1, 4));

    // The first document's names object of its own is edited key by key;
    // with no later files nothing changes.
    PlannedInputs own({b, a});
    CPdfNameDictionaryMerge ownNames;
    CPdfAttachmentMerge ownFiles(ownNames);
    own.Run({&ownFiles, &ownNames});
    EXPECT_EQ(Describe(own.Copied(0, 5)), "<</EmbeddedFiles 13 0 R>>");
    EXPECT_EQ(Pairs(own.New(13)), "a.txt=6 0 R;a.txt-2=11 0 R;b.txt=6 0 R;");
    PlannedInputs alone({a, Doc("")});
    CPdfNameDictionaryMerge aloneNames;
    CPdfAttachmentMerge aloneFiles(aloneNames);
    alone.Run({&aloneFiles, &aloneNames});
    EXPECT_FALSE(alone.Plan().HasEdits(0, 1));
    EXPECT_FALSE(alone.Plan().IsDropped(0, 4));
}
