// A key with a great many values: the text form keeps every value in the order it was made.
// (How long this takes is measured in bench/store_bench.cpp.)
#include <gtest/gtest.h>

#include <string>

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

}  // namespace
