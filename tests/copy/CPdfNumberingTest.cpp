// Where objects land: the first input keeps its numbers, later ones follow
// its table, shared objects point at the earlier copy under its generation,
// and a reference beyond its table points at the one dangling entry.
#include <gtest/gtest.h>

#include "copy/CPdfNumbering.h"

namespace {

// A table of size entries, all in the file, object n under generation gens[n].
std::vector<XRefEntry> Table(const std::vector<int32_t>& gens)
{
    std::vector<XRefEntry> entries;
    for (int32_t g : gens)
        entries.push_back({100, g, 1});
    entries[0] = {0, 65535, 0};
    return entries;
}

}  // namespace

TEST(CPdfNumberingTest, LaterInputsFollowTheTablesBeforeThemAndNewObjectsFollowAll)
{
    const std::vector<XRefEntry> first = Table({0, 0, 0, 0, 0}), second = Table({0, 0, 2, 0});
    std::vector<XRefEntry> third = Table({0, 0, 0});
    third[2] = {5, 0, 2};  // a member of object stream 5: written under generation 0
    CPdfNumbering numbering;
    numbering.AddInput(first);
    numbering.AddInput(second);
    numbering.AddInput(third);
    EXPECT_EQ(numbering.OutputNumber(0, 4), 4);
    EXPECT_EQ(numbering.OutputNumber(1, 1), 5);
    EXPECT_EQ(numbering.OutputNumber(2, 1), 8);
    EXPECT_EQ(numbering.OutputGeneration(1, 2), 2);
    EXPECT_EQ(numbering.OutputGeneration(2, 2), 0);
    EXPECT_EQ(numbering.GetEndNumber(), 10);
    EXPECT_EQ(numbering.NewObject(), 10);
    EXPECT_EQ(numbering.GetEndNumber(), 11);

    // Planned: the first's references as written, a later one's at its copy
    // under its generation, one beyond the table at nothing.
    EXPECT_EQ(numbering.PlannedTarget(0, 3).number, 3);
    EXPECT_EQ(numbering.PlannedTarget(0, 3).generation, -1);
    EXPECT_EQ(numbering.PlannedTarget(1, 2).number, 6);
    EXPECT_EQ(numbering.PlannedTarget(1, 2).generation, 2);
    EXPECT_LT(numbering.PlannedTarget(1, 4).number, 0);
    EXPECT_LT(numbering.PlannedTarget(1, 0).number, 0);
}

TEST(CPdfNumberingTest, SharedObjectsAndReferencesThatNameNothing)
{
    const std::vector<XRefEntry> first = Table({0, 0, 7, 0}), second = Table({0, 0, 0, 0});
    CPdfNumbering numbering;
    numbering.AddInput(first);
    numbering.AddInput(second);
    // The second's object 2 equals the first's object 2; 3 stands for itself.
    numbering.SetDuplicates(1, {{0, 1, 0}, {1, 1, 0}, {2, 0, 1}, {3, 1, 0}});
    EXPECT_TRUE(numbering.IsShared(1, 2));
    EXPECT_FALSE(numbering.IsShared(1, 3));
    EXPECT_FALSE(numbering.IsShared(0, 2));
    EXPECT_EQ(numbering.OutputTarget(1, 2).number, 2);
    EXPECT_EQ(numbering.OutputTarget(1, 2).generation, 7);
    EXPECT_EQ(numbering.OutputTarget(1, 3).number, 6);

    numbering.PlaceDangling();
    EXPECT_EQ(numbering.GetDanglingNumber(), 7);
    EXPECT_FALSE(numbering.IsDanglingUsed());
    // Object 0 of a later input is no object: kept as written.
    EXPECT_LT(numbering.OutputTarget(1, 0).number, 0);
    EXPECT_FALSE(numbering.IsDanglingUsed());
    EXPECT_EQ(numbering.OutputTarget(1, 9).number, 7);
    EXPECT_EQ(numbering.OutputTarget(1, 9).generation, 0);
    EXPECT_TRUE(numbering.IsDanglingUsed());
    EXPECT_EQ(numbering.OutputTarget(0, 4).number, 7);
}
