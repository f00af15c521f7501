// Sector claims: the first owner keeps a sector, overlaps are found at
// their lowest sector, and the unclaimed stretches between runs.
#include <gtest/gtest.h>

#include "disk/sector_claims.h"

using disk::SectorClaims;

TEST(SectorClaims, TheFirstOwnerKeepsASectorAndOverlapsAreFoundWhereTheyBegin)
{
    SectorClaims claims;
    claims.Add(100, 200, 1);
    claims.Add(150, 300, 2);  // only 200..300 is 2's
    claims.Add(50, 120, 3);   // only 50..100 is 3's
    EXPECT_FALSE(claims.FirstOverlap(0, 50));
    EXPECT_FALSE(claims.FirstOverlap(300, 400));
    EXPECT_FALSE(claims.FirstOverlap(10, 10));
    auto hit = claims.FirstOverlap(40, 60);
    ASSERT_TRUE(hit);
    EXPECT_EQ(hit->first, 50u);
    EXPECT_EQ(hit->end, 60u);
    EXPECT_EQ(hit->owner, 3u);
    hit = claims.FirstOverlap(190, 250);
    ASSERT_TRUE(hit);
    EXPECT_EQ(hit->first, 190u);
    EXPECT_EQ(hit->end, 200u);
    EXPECT_EQ(hit->owner, 1u);
    hit = claims.FirstOverlap(299, 1000);
    ASSERT_TRUE(hit);
    EXPECT_EQ(hit->owner, 2u);
    EXPECT_EQ(hit->end, 300u);
    // One owner's touching runs are joined; a run inside a claimed one adds nothing.
    claims.Add(300, 310, 2);
    claims.Add(120, 130, 9);
    EXPECT_EQ(claims.RunCount(), 3u);
}

TEST(SectorClaims, UnclaimedStretchesLieBetweenRunsAndStopAtTheLimit)
{
    SectorClaims claims;
    claims.Add(10, 20, 1);
    claims.Add(20, 30, 2);  // touching: no gap between them
    claims.Add(40, 50, 1);
    uint64_t first = 0, end = 0;
    ASSERT_TRUE(claims.NextUnclaimed(0, 100, first, end));
    EXPECT_EQ(first, 0u);
    EXPECT_EQ(end, 10u);
    ASSERT_TRUE(claims.NextUnclaimed(10, 100, first, end));
    EXPECT_EQ(first, 30u);
    EXPECT_EQ(end, 40u);
    ASSERT_TRUE(claims.NextUnclaimed(45, 100, first, end));
    EXPECT_EQ(first, 50u);
    EXPECT_EQ(end, 100u);
    EXPECT_FALSE(claims.NextUnclaimed(45, 50, first, end));
    ASSERT_TRUE(claims.NextUnclaimed(35, 45, first, end));
    EXPECT_EQ(first, 35u);
    EXPECT_EQ(end, 40u);
}
