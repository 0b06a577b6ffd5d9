// The in-memory field index: exact small digests, moves and removals, and its memory bound of
// about 24 bytes a record even after many changes.
#include "paradox/field_index.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>

namespace pq::paradox {
namespace {

std::set<RecordLocation> Found(const FieldIndex& idx, uint32_t digest) {
    std::set<RecordLocation> out;
    idx.Find(digest, [&](RecordLocation l) { out.insert(l); });
    return out;
}

TEST(FieldIndex, DigestsOfSmallFieldsAreTheirBytes) {
    const uint8_t a[] = {0x80, 0x00, 0x00, 0x2A};
    EXPECT_EQ(FieldIndex::Digest(a), 0x8000002Au);
    EXPECT_TRUE(FieldIndex::DigestIsExact(4));
    EXPECT_FALSE(FieldIndex::DigestIsExact(5));
    const uint8_t t1[] = {'a', 'b', 'c', 0, 0}, t2[] = {'a', 'b', 'd', 0, 0};
    EXPECT_NE(FieldIndex::Digest(t1), FieldIndex::Digest(t2));
}

TEST(FieldIndex, AddFindMoveRemove) {
    FieldIndex idx;
    idx.Add(7, MakeLocation(1, 0));
    idx.Add(7, MakeLocation(2, 5));
    idx.Add(8, MakeLocation(1, 1));
    EXPECT_EQ(Found(idx, 7), (std::set<RecordLocation>{MakeLocation(1, 0), MakeLocation(2, 5)}));
    EXPECT_TRUE(idx.Move(7, MakeLocation(2, 5), MakeLocation(3, 0)));
    EXPECT_FALSE(idx.Move(7, MakeLocation(2, 5), MakeLocation(3, 1)));  // no longer there
    EXPECT_FALSE(idx.Remove(8, MakeLocation(1, 0)));                    // wrong digest
    EXPECT_TRUE(idx.Remove(7, MakeLocation(1, 0)));
    EXPECT_EQ(Found(idx, 7), (std::set<RecordLocation>{MakeLocation(3, 0)}));
    EXPECT_EQ(idx.size(), 2u);
    EXPECT_EQ(LocationBlock(MakeLocation(65535, 65535)), 65535);
    EXPECT_EQ(LocationSlot(MakeLocation(65535, 65535)), 65535);
}

TEST(FieldIndex, StaysWithinItsMemoryBoundThroughChurn) {
    FieldIndex idx;
    const uint32_t n = 100000;
    idx.Reserve(n);
    for (uint32_t i = 0; i < n; ++i) idx.Add(i % 5000, MakeLocation(1 + i / 100, i % 100));
    EXPECT_LE(idx.MemoryBytes(), 24u * n);
    // Records change their values over and over: removed entries are reclaimed.
    for (int round = 0; round < 20; ++round)
        for (uint32_t i = 0; i < n; i += 7) {
            const RecordLocation l = MakeLocation(1 + i / 100, i % 100);
            ASSERT_TRUE(idx.Remove((i + round) % 5000, l)) << round << " " << i;
            idx.Add((i + round + 1) % 5000, l);
        }
    EXPECT_EQ(idx.size(), n);
    EXPECT_LE(idx.MemoryBytes(), 24u * n);
    EXPECT_EQ(Found(idx, 12345 % 5000).size(), n / 5000);
}

}  // namespace
}  // namespace pq::paradox
