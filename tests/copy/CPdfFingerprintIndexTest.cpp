// The index of written objects under /s: nothing is found before its input
// is committed, and candidates come earliest input first, then by number.
#include <gtest/gtest.h>

#include "copy/CPdfFingerprintIndex.h"

TEST(CPdfFingerprintIndexTest, CandidatesAreCommittedOnesInInputThenNumberOrder)
{
    const fingerprint::Fingerprint a{0xABCD}, b{0xABCE}, c{0x1ABCD};
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
