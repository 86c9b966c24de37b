// The set a walk keeps of the files it handed over: a file is new exactly once, on any device,
// however many there are and in whatever order their numbers come.
#include "framework/IdentitySet.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <utility>

namespace {

TEST(IdentitySet, AgreesWithAnOrderedSetOverManyDevicesAndNumbers) {
    IdentitySet set;
    std::set<std::pair<uint64_t, uint64_t>> reference;
    std::mt19937_64 random(7);
    // Runs of consecutive numbers, as file systems give them, and scattered ones; device 0 and
    // number 0 are identities like any other.
    const uint64_t devices[] = {0, 2049, 0xFFFFFFFFFFFFFFFFull, 66311};
    for (int i = 0; i < 200000; ++i) {
        FileIdentity id;
        id.device = devices[random() % 4];
        id.index = i % 3 == 0 ? random() : (random() % 50000);
        const bool added = reference.insert({id.device, id.index}).second;
        ASSERT_EQ(set.Insert(id), added) << id.device << " " << id.index;
    }
    EXPECT_EQ(set.Size(), reference.size());
    for (const auto& [device, index] : reference) {
        FileIdentity id;
        id.device = device;
        id.index = index;
        ASSERT_TRUE(set.Contains(id));
    }
    FileIdentity unknown;
    unknown.device = 12345;
    unknown.index = 1;
    EXPECT_FALSE(set.Contains(unknown));
    unknown.device = 2049;
    unknown.index = 50001;
    EXPECT_FALSE(set.Contains(unknown));

    set.Clear();
    EXPECT_EQ(set.Size(), 0u);
    FileIdentity zero;
    EXPECT_FALSE(set.Contains(zero));
    EXPECT_TRUE(set.Insert(zero));
    EXPECT_FALSE(set.Insert(zero));
}

}  // namespace
