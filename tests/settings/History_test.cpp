#include "settings/History.h"

#include <gtest/gtest.h>

#include <climits>

#include "settings/TRegConfigFile.h"
#include "tests/support/ScratchRegistry.h"

namespace {

using std::string;
using Items = std::vector<string>;

const char* const kSection = "History Lists\\Folder";

Items Numbered(int n, const string& prefix = "item") {
    Items items;
    for (int i = 0; i < n; ++i)
        items.push_back(prefix + std::to_string(i));
    return items;
}

void Store(TConfigFile& store, int count, const Items& values) {
    ASSERT_TRUE(store.WriteInteger(kSection, "Count", count));
    for (size_t i = 0; i < values.size(); ++i) {
        if (!values[i].empty()) {
            ASSERT_TRUE(
                store.WriteString(kSection, "Value" + std::to_string(i), values[i].c_str()));
        }
    }
}

Items Loaded(TConfigFile& store) {
    History history(store, kSection);
    history.Load();
    return history.Items();
}

TEST(History, LoadTakesValuesUpToCountInStoredOrder) {
    struct Case {
        const char* what;
        int count;
        Items stored;
        Items expected;
    } cases[] = {
        {"nothing", 0, {}, {}},
        {"one", 1, {"C:\\Data"}, {"C:\\Data"}},
        {"a missing value is skipped", 5, {"a", "b", "", "d", "e"}, {"a", "b", "d", "e"}},
        {"values above the count stay unread", 2, {"a", "b", "c"}, {"a", "b"}},
        {"a count above the values", 9, {"a", "b"}, {"a", "b"}},
        {"a negative count loads nothing", -1, {"a", "b"}, {}},
        {"the smallest count", INT_MIN, {"a"}, {}},
        {"a damaged count of two billion ends", INT_MAX, {"a", "b"}, {"a", "b"}},
        {"duplicates stay", 3, {"x", "X", "x"}, {"x", "X", "x"}},
        // Regression: a text the program ran with must not vanish at the next start.
        {"texts longer than the lists take come back whole", 1, {string(300, 'z')},
         {string(300, 'z')}},
        {"beyond the longest path they do not", 2, {string(kHistoryTextSize, 'z'), "b"}, {"b"}},
    };
    for (const Case& c : cases) {
        ScratchRegistry registry;
        TRegConfigFile store(registry.Name());
        Store(store, c.count, c.stored);
        EXPECT_EQ(Loaded(store), c.expected) << c.what;
    }
}

TEST(History, AddToTopMovesTheFirstEqualEntryWithItsNewLetterCase) {
    struct Case {
        Items before;
        const char* text;
        Items after;
    } cases[] = {
        {{}, "a", {"a"}},
        {{"a", "b", "c"}, "d", {"d", "a", "b", "c"}},
        {{"a", "b", "c"}, "a", {"a", "b", "c"}},
        {{"a", "C:\\Old", "c"}, "c:\\old", {"c:\\old", "a", "c"}},
        {{"x", "X", "y"}, "x", {"x", "X", "y"}},  // only the first one goes
        {{"a", "C:\\Caf\xe9"}, "c:\\CAF\xe9", {"c:\\CAF\xe9", "a"}},
    };
    ScratchRegistry registry;
    TRegConfigFile store(registry.Name());
    for (const Case& c : cases) {
        History history(store, kSection);
        history.Items() = c.before;
        history.AddToTop(c.text);
        EXPECT_EQ(history.Items(), c.after) << c.text;
    }
    // The list control may bring its own idea of equal texts.
    History exact(store, kSection, [](const string& a, const string& b) { return a == b; });
    exact.Items() = {"a", "A"};
    exact.AddToTop("A");
    EXPECT_EQ(exact.Items(), (Items{"A", "a"}));
}

TEST(History, SaveWritesCountAndTheFirstItems) {
    struct Case {
        const char* what;
        Items items;
        size_t max;
        int count;
        Items values;  // expected Value0..; "" for none
    } cases[] = {
        {"empty", {}, 25, 0, {}},
        {"one", {"C:\\Data"}, 25, 1, {"C:\\Data"}},
        {"26 items keep 25", Numbered(26), 25, 25, Numbered(25)},
        {"an empty item is counted, not written", {"a", "", "c"}, 25, 3, {"a", "", "c"}},
        {"a smaller maximum", {"a", "b", "c"}, 2, 2, {"a", "b"}},
    };
    for (const Case& c : cases) {
        ScratchRegistry registry;
        TRegConfigFile store(registry.Name());
        History history(store, kSection);
        history.Items() = c.items;
        history.Save(c.max);
        EXPECT_EQ(store.ReadInteger(kSection, "Count", -1), c.count) << c.what;
        Items names;
        for (size_t i = 0; i < c.values.size(); ++i) {
            if (!c.values[i].empty())
                names.push_back("Value" + std::to_string(i));
        }
        EXPECT_EQ(store.EntryNames(kSection).size(), names.size() + 1) << c.what;
        for (size_t i = 0; i < c.values.size(); ++i) {
            char text[300];
            store.ReadString(kSection, "Value" + std::to_string(i), text, sizeof text, "");
            EXPECT_EQ(text, c.values[i]) << c.what << " Value" << i;
        }
    }
}

TEST(History, SavingLessThanWasStoredLeavesTheValuesAboveAlone) {
    ScratchRegistry registry;
    TRegConfigFile store(registry.Name());
    Store(store, 30, Numbered(30, "old"));
    History history(store, kSection);
    history.Load();
    ASSERT_EQ(history.Items(), Numbered(30, "old"));
    history.AddToTop("new");
    history.Save();
    EXPECT_EQ(store.ReadInteger(kSection, "Count", -1), 25);
    Items expected = Numbered(24, "old");
    expected.insert(expected.begin(), "new");
    EXPECT_EQ(Loaded(store), expected);
    char text[16];
    for (int i = 25; i < 30; ++i) {
        store.ReadString(kSection, "Value" + std::to_string(i), text, sizeof text, "");
        EXPECT_EQ(string(text), "old" + std::to_string(i));
    }
}

}  // namespace
