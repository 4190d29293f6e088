// The index of written objects under /s: nothing is found before its input
// is committed, candidates come earliest input first, then by number, and
// each keeps the fingerprint learnt of it.
#include <gtest/gtest.h>

#include "copy/CPdfFingerprintIndex.h"

TEST(CPdfFingerprintIndexTest, CandidatesAreCommittedOnesInInputThenNumberOrder)
{
    const fingerprint::Key a{0xABCD}, b{0xABCE}, c{0x1ABCD};
    CPdfFingerprintIndex index;
    EXPECT_TRUE(index.IsEmpty());
    index.Add(0, 9, a);
    index.Add(0, 3, a);
    index.Add(0, 4, b);
    auto found = index.Find(a);
    EXPECT_EQ(found.first, found.second);  // not committed yet
    index.Commit();
    index.Add(1, 1, a);
    index.Add(1, 2, c);
    index.Commit();
    found = index.Find(a);
    std::vector<std::pair<int32_t, int32_t>> seen;
    for (const auto* item = found.first; item != found.second; ++item)
        seen.push_back({item->part, item->number});
    EXPECT_EQ(seen, (std::vector<std::pair<int32_t, int32_t>>{{0, 3}, {0, 9}, {1, 1}}));
    found = index.Find(c);
    ASSERT_EQ(found.second - found.first, 1);
    EXPECT_EQ(found.first->number, 2);
    found = index.Find({0x2ABCD});
    EXPECT_EQ(found.first, found.second);
}

TEST(CPdfFingerprintIndexTest, AnItemKeepsTheFingerprintItLearns)
{
    CPdfFingerprintIndex index;
    index.Add(0, 1, {7});
    index.Add(0, 2, {7});
    index.Commit();
    auto [first, last] = index.Find({7});
    ASSERT_EQ(last - first, 2);
    // Unknown, it may be anything; known, only itself. A hash of 0 is a
    // fingerprint like any other.
    EXPECT_TRUE(first->MayBe({5}) && first->MayBe({0}));
    first->SetFull({5});
    first[1].SetFull({0});
    EXPECT_TRUE(first->KnowsFull() && first[1].KnowsFull());
    EXPECT_TRUE(first->MayBe({5}));
    EXPECT_FALSE(first->MayBe({6}) || first->MayBe({0}));
    EXPECT_TRUE(first[1].MayBe({0}));
    EXPECT_FALSE(first[1].MayBe({5}));
    // What was learnt stays through later inputs' commits.
    index.Add(1, 1, {3});
    index.Commit();
    const auto again = index.Find({7});
    EXPECT_TRUE(again.first->KnowsFull() && again.first->MayBe({5}) && !again.first->MayBe({6}));
}
