// A key with a great many values, and one with many subkeys made out of name order: the text
// form keeps every value in the order it was made and lists the subkeys by name. (How long this
// takes is measured in bench/store_bench.cpp.)
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "framework/RegistryKey.h"
#include "framework/RegistryTree.h"

namespace {

using std::string;

constexpr char kPath[] = "HKEY_CURRENT_USER\\Software\\Many";
constexpr int kValues = 200000;

// Names that are neither in name order nor in reverse: made order and name order differ.
string NameOf(int i) {
    return "v" + std::to_string((static_cast<long long>(i) * 7919) % kValues);
}

TEST(ManyValues, AKeyWithTwoHundredThousandValuesRoundTripsInOrder) {
    RegistryTree tree;
    bool created = false;
    RegistryTree::Key* key = tree.FindOrCreate(kPath, created);
    ASSERT_NE(key, nullptr);
    for (int i = 0; i < kValues; ++i) {
        const string name = NameOf(i);
        switch (i % 3) {
            case 0:
                key->SetValue(name, kRegString, "t" + std::to_string(i) + '\0');
                break;
            case 1:
                key->SetValue(name, kRegDword, string(reinterpret_cast<const char*>(&i), 4));
                break;
            default:
                key->SetValue(name, kRegBinary, string(static_cast<size_t>(i % 5), '\xab'));
        }
    }
    // Changing a value and setting one again under another case keep their places.
    EXPECT_TRUE(key->SetValue("V0", kRegString, string("first", 6)));
    EXPECT_FALSE(key->SetValue(NameOf(1), kRegDword, string("\x01\0\0\0", 4)));

    const string text = tree.Format();
    RegistryTree again = RegistryTree::Parse(text);
    const RegistryTree::Key* read = again.Find(kPath);
    ASSERT_NE(read, nullptr);
    ASSERT_EQ(read->ValueCount(), size_t(kValues));
    for (size_t i = 0; i < read->ValueCount(); ++i) {
        const RegistryTree::Value& a = key->ValueAt(i);
        const RegistryTree::Value& b = read->ValueAt(i);
        ASSERT_EQ(b.name, NameOf(static_cast<int>(i))) << i;
        ASSERT_EQ(b.type, a.type) << b.name;
        ASSERT_EQ(b.data, a.data) << b.name;
    }
    EXPECT_EQ(read->ValueAt(0).data, string("first", 6));
    for (int i : {0, 1, 4711, kValues - 1}) {
        string upper = NameOf(i);
        upper[0] = 'V';
        EXPECT_EQ(read->FindValue(upper), &read->ValueAt(static_cast<size_t>(i)));
    }
    EXPECT_EQ(again.Format(), text);
}

TEST(ManyValues, SubkeysMadeInReverseAndMixedCaseListInNameOrder) {
    RegistryTree tree;
    bool created = false;
    constexpr int kKeys = 20000;
    for (int i = kKeys - 1; i >= 0; --i) {
        char name[16];
        std::snprintf(name, sizeof name, "%c%05d", i % 2 ? 'K' : 'k', i);
        ASSERT_NE(tree.FindOrCreate(string(kPath) + '\\' + name, created), nullptr);
    }
    // Gone again: every third one, as a session's deletions would go.
    for (int i = 0; i < kKeys; i += 3)
        EXPECT_TRUE(tree.Remove(string(kPath) + "\\K" + std::to_string(100000 + i).substr(1)));
    const RegistryTree::Key* parent = tree.Find(kPath);
    ASSERT_NE(parent, nullptr);
    ASSERT_EQ(parent->SubkeyCount(), size_t(kKeys - (kKeys + 2) / 3));
    for (size_t i = 1; i < parent->SubkeyCount(); ++i)
        ASSERT_LT(parent->SubkeyAt(i - 1).Name().substr(1), parent->SubkeyAt(i).Name().substr(1));
    const string text = tree.Format();
    EXPECT_EQ(RegistryTree::Parse(text).Format(), text);
}

}  // namespace
