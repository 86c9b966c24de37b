// The name index and the named list under it, each checked against a plain model on long
// random runs of additions, removals and lookups.
#include "framework/NamedList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "framework/NameIndex.h"

namespace {

using std::string;

// Few distinct hashes in a table that stays small: long runs that wrap around its end, where a
// removal has to move the right entries back.
TEST(NameIndex, ClusteredHashesSurviveEveryRemoval) {
    // Whatever the table's size, these hashes' home is a few entries before its end.
    constexpr uint32_t kNearTheEnd = UINT32_MAX - 5;
    for (uint32_t spread : {1u, 3u, 40u}) {
        std::mt19937 random(spread);
        NameIndex index;
        std::map<uint32_t, uint32_t> model;  // position -> hash
        for (int step = 0; step < 20000; ++step) {
            const uint32_t position = random() % 48;
            auto is = [position](uint32_t p) { return p == position; };
            const uint32_t hash = model.count(position)
                                      ? model[position]
                                      : kNearTheEnd + static_cast<uint32_t>(random() % spread);
            if (random() % 2 == 0) {
                if (!model.count(position)) {
                    index.Insert(hash, position);
                    model[position] = hash;
                }
            } else {
                const uint32_t erased = index.Erase(hash, is);
                EXPECT_EQ(erased, model.count(position) ? position : NameIndex::kNone);
                model.erase(position);
            }
            for (const auto& [p, h] : model)
                ASSERT_EQ(index.Find(h, [p = p](uint32_t q) { return q == p; }), p)
                    << "spread " << spread << " step " << step;
        }
    }
}

struct Item {
    string name;
    int payload;
    friend const string& NameOf(const Item& item) { return item.name; }
};

// What a list should hold: its items in the order they were added, removed ones taken out.
struct Model {
    std::vector<Item> items;

    const Item* Find(const string& name) const {
        for (const Item& item : items)
            if (RegistryNameEqual()(item.name, name))
                return &item;
        return nullptr;
    }
    std::vector<Item> Listed(bool sorted) const {
        std::vector<Item> listed = items;
        if (sorted)
            std::sort(listed.begin(), listed.end(), [](const Item& a, const Item& b) {
                return RegistryNameLess()(a.name, b.name);
            });
        return listed;
    }
};

template <bool kSorted>
void RunAgainstModel(unsigned seed) {
    std::mt19937 random(seed);
    // Names that differ only in case, prefixes of each other, and bytes above 0x7f.
    const string letters = "aAbB_\xe9";
    auto randomName = [&] {
        string name;
        for (size_t n = 1 + random() % 3; n > 0; --n)
            name += letters[random() % letters.size()];
        return name;
    };
    NamedList<Item, kSorted> list;
    Model model;
    for (int step = 0; step < 30000; ++step) {
        const string name = randomName();
        const Item* expected = model.Find(name);
        switch (random() % 5) {
            case 0:
            case 1:
                if (!expected) {
                    const int payload = step;
                    EXPECT_EQ(list.Add(std::make_unique<Item>(Item{name, payload})).payload,
                              payload);
                    model.items.push_back(Item{name, payload});
                }
                break;
            case 2: {
                EXPECT_EQ(list.Remove(name), expected != nullptr) << name;
                auto at = std::find_if(model.items.begin(), model.items.end(), [&](const Item& i) {
                    return RegistryNameEqual()(i.name, name);
                });
                if (at != model.items.end())
                    model.items.erase(at);
                break;
            }
            case 3: {
                const Item* found = list.Find(name);
                ASSERT_EQ(found != nullptr, expected != nullptr) << name;
                if (found) {
                    EXPECT_EQ(found->payload, expected->payload);
                }
                break;
            }
            default:
                // Listing now and then, so that it happens with gaps and out-of-order additions.
                if (random() % 8 == 0) {
                    const std::vector<Item> listed = model.Listed(kSorted);
                    ASSERT_EQ(list.Size(), listed.size()) << "step " << step;
                    for (size_t i = 0; i < listed.size(); ++i) {
                        ASSERT_EQ(list.At(i).name, listed[i].name) << "step " << step;
                        ASSERT_EQ(list.At(i).payload, listed[i].payload);
                    }
                }
        }
    }
}

TEST(NamedList, KeepsTheOrderOfAdditionThroughRemovals) {
    RunAgainstModel<false>(1);
    RunAgainstModel<false>(2);
}

TEST(NamedList, SortedListsListInNameOrderWhateverTheOrderOfAddition) {
    RunAgainstModel<true>(3);
    RunAgainstModel<true>(4);
}

}  // namespace
