#include "settings/TRegConfigFile.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <functional>
#include <map>

#include "settings/TConfigFileSection.h"
#include "tests/support/ScratchRegistry.h"

namespace {

using std::string;
using Names = std::vector<string>;

TEST(TRegConfigFile, NothingStoredGivesTheOptionDefaultsAndLeavesTheEmptyOptionsKey) {
    ScratchRegistry registry;
    ASSERT_FALSE(registry.Open("Options").IsOpen());
    TRegConfigFile store(registry.Name());
    EXPECT_EQ(store.StoreName(), "Software\\" + registry.Name());
    TConfigFileSection options(store, "Options");
    EXPECT_TRUE(options.ReadBool("Subfolders", true));
    EXPECT_TRUE(options.ReadBool("CaseSensitive", true));
    EXPECT_TRUE(options.ReadBool("WholeWords", true));
    EXPECT_FALSE(options.ReadBool("CreateBackups", false));
    EXPECT_EQ(options.ReadInteger("Action", 1), 1);

    // HKEY_CURRENT_USER\Software\<name>\Options, empty.
    RegistryKey key;
    ASSERT_TRUE(key.OpenExisting(RegistryKey(RegistryRoot::CurrentUser),
                                 "Software\\" + registry.Name() + "\\Options"));
    uint32_t subkeys = 9, values = 9;
    ASSERT_TRUE(key.QueryInfo(subkeys, values));
    EXPECT_EQ(subkeys + values, 0u);
}

TEST(TRegConfigFile, ReadBoolKnowsEightWordsAndGivesTheDefaultOtherwise) {
    ScratchRegistry registry;
    TRegConfigFile store(registry.Name());
    auto reads = [&](const char* text, bool fallback) {
        EXPECT_TRUE(store.WriteString("Options", "Flag", text));
        return store.ReadBool("Options", "Flag", fallback);
    };
    for (bool fallback : {false, true}) {
        for (const char* yes : {"Yes", "ON", "True", "1", "yes", "tRUE"})
            EXPECT_TRUE(reads(yes, fallback)) << yes;
        for (const char* no : {"No", "off", "FALSE", "0", "nO"})
            EXPECT_FALSE(reads(no, fallback)) << no;
        for (const char* other : {"2", "", "y", " yes", "yes ", "truex", "01"})
            EXPECT_EQ(reads(other, fallback), fallback) << '"' << other << '"';
    }
}

TEST(TRegConfigFile, BoolsAndIntegersKeepTheirRegistryForms) {
    ScratchRegistry registry;
    TRegConfigFile store(registry.Name());
    for (bool value : {true, false}) {
        ASSERT_TRUE(store.WriteBool("Options", "CreateBackups", value));
        EXPECT_EQ(store.ReadBool("Options", "CreateBackups", !value), value);
        StoredValue v = QueryStored(registry.Open("Options"), "CreateBackups");
        EXPECT_EQ(v.type, kRegString);
        EXPECT_EQ(v.data, value ? string("yes", 4) : string("no", 3));
    }
    for (int32_t value : {0, 2, -1, -123456, INT_MAX, INT_MIN, 0x01020304}) {
        ASSERT_TRUE(store.WriteInteger("Options", "Action", value));
        EXPECT_EQ(store.ReadInteger("Options", "Action", 77), value);
        StoredValue v = QueryStored(registry.Open("Options"), "Action");
        EXPECT_EQ(v.type, kRegDword);
        uint32_t u = static_cast<uint32_t>(value);
        EXPECT_EQ(v.data, string({char(u), char(u >> 8), char(u >> 16), char(u >> 24)}));
    }
}

TEST(TRegConfigFile, ReadIntegerTakesExactlyFourBytesOfAnyType) {
    const struct {
        uint32_t type;
        string data;
        int32_t expected;
    } cases[] = {
        {kRegBinary, string("\x05\0\0\0", 4), 5},   {kRegString, string("abc", 4), 0x00636261},
        {kRegDword, string("\x01\0\0\0\0", 5), -7}, {kRegString, string("12345", 6), -7},
        {kRegDword, string("\x01\x02", 2), -7},     {kRegBinary, string(), -7},
    };
    ScratchRegistry registry;
    TRegConfigFile store(registry.Name());
    EXPECT_EQ(store.ReadInteger("S", "Missing", -7), -7);
    RegistryKey key = registry.Open("S");
    for (const auto& c : cases) {
        ASSERT_TRUE(key.SetValue("I", c.type, c.data.data(), uint32_t(c.data.size())));
        EXPECT_EQ(store.ReadInteger("S", "I", -7), c.expected) << c.data.size() << " bytes";
    }
}

TEST(TRegConfigFile, ReadStringGivesTheDefaultWhenTheTextDoesNotFit) {
    const struct {
        const char* stored;  // null: stored as "abc" without its NUL
        size_t size;
        const char* fallback;
        string expected;
    } cases[] = {
        {"abcdef", 100, "dflt", "abcdef"}, {"abcdef", 7, "dflt", "abcdef"},
        {"abcdef", 6, "dflt", "dflt"},     {"abcdef", 6, nullptr, ""},
        {"abcdef", 3, "dflt", "df"},       {"abcdef", 1, "dflt", ""},  // the default is cut
        {nullptr, 4, "d", "abc"},          {nullptr, 3, "d", "d"},     // no room for the NUL
    };
    ScratchRegistry registry;
    TRegConfigFile store(registry.Name());
    char missing[8];
    EXPECT_EQ(store.ReadString("S", "Missing", missing, sizeof missing, nullptr), 0u);
    EXPECT_STREQ(missing, "");
    for (const auto& c : cases) {
        ASSERT_TRUE(c.stored ? store.WriteString("S", "T", c.stored)
                             : registry.Open("S").SetValue("T", kRegString, "abc", 3));
        string buffer(c.size + 1, '#');
        EXPECT_EQ(store.ReadString("S", "T", &buffer[0], c.size, c.fallback), c.expected.size());
        EXPECT_EQ(string(buffer.c_str()), c.expected) << c.size;
        EXPECT_EQ(buffer[c.size], '#') << "wrote past the buffer of " << c.size;
    }
    char own[8] = "mine";  // a caller's buffer may be its own default
    EXPECT_EQ(store.ReadString("S", "T", own, 3, own), 2u);
    EXPECT_STREQ(own, "mi");
}

TEST(TRegConfigFile, EveryOperationButHasSectionMakesItsSectionKey) {
    ScratchRegistry registry;
    TRegConfigFile store(registry.Name());
    char b[64];
    const std::function<void(const string&)> operations[] = {
        [&](const string& s) { store.ReadString(s, "E", b, sizeof b, ""); },
        [&](const string& s) { EXPECT_TRUE(store.WriteString(s, "E", "x")); },
        [&](const string& s) { store.ReadInteger(s, "E", 0); },
        [&](const string& s) { EXPECT_TRUE(store.WriteInteger(s, "E", 1)); },
        [&](const string& s) { store.ReadBool(s, "E", true); },
        [&](const string& s) { EXPECT_TRUE(store.WriteBool(s, "E", true)); },
        [&](const string& s) { store.ReadBytes(s, "E", b, 2); },
        [&](const string& s) { EXPECT_TRUE(store.WriteBytes(s, "E", "ab", 2)); },
        [&](const string& s) { store.ListEntries(s, b, sizeof b); },
        [&](const string& s) { store.DeleteEntry(s, "E"); },
    };
    for (size_t op = 0; op < std::size(operations); ++op) {
        const string s = "Deep\\Section" + std::to_string(op);
        EXPECT_FALSE(store.HasSection(s));
        EXPECT_FALSE(registry.Open(s).IsOpen()) << "HasSection made " << s;
        operations[op](s);
        EXPECT_TRUE(store.HasSection(s)) << s;
    }
}

TEST(TRegConfigFile, ListsCopiesAndDeletes) {
    ScratchRegistry registry;
    TRegConfigFile store(registry.Name());
    ASSERT_TRUE(store.WriteString("A", "Name", "text"));
    ASSERT_TRUE(store.WriteInteger("A", "Number", -3));
    ASSERT_TRUE(store.WriteBytes("B\\Deeper", "Blob", "\0\1\xff", 3));

    char list[64];
    EXPECT_EQ(store.ListEntries("A", list, sizeof list), 12u);
    EXPECT_EQ(string(list, 13), string("Name\0Number\0", 13));
    EXPECT_EQ(store.ListEntries("A", list, 8), 12u);  // too small: only whole names
    EXPECT_EQ(string(list, 6), string("Name\0", 6));
    EXPECT_EQ(store.ListEntries("Nothing", list, sizeof list), 0u);
    EXPECT_EQ(store.SectionNames(), (Names{"A", "B", "Nothing"}));

    char got[4];
    EXPECT_TRUE(store.ReadBytes("B\\Deeper", "Blob", got, 3));
    EXPECT_EQ(string(got, 3), string("\0\1\xff", 3));
    EXPECT_FALSE(store.ReadBytes("B\\Deeper", "Blob", got, 2));
    EXPECT_FALSE(store.ReadBytes("B\\Deeper", "Blob", got, 4));  // a byte would stay undefined

    // Between registry stores the types survive, deeper keys included.
    TRegConfigFile copy(registry.Name() + "Copy");
    copy.CopyAllFrom(store);
    EXPECT_EQ(copy.ReadInteger("A", "Number", 0), -3);
    EXPECT_TRUE(copy.ReadBytes("B\\Deeper", "Blob", got, 3));
    store.CopyAllFrom(store);  // ends, and changes nothing
    EXPECT_EQ(store.SectionNames(), (Names{"A", "B", "Nothing"}));
    RegistryKey software;
    ASSERT_TRUE(software.OpenExisting(RegistryKey(RegistryRoot::CurrentUser), "Software"));
    EXPECT_TRUE(software.DeleteKey(registry.Name() + "Copy"));

    EXPECT_TRUE(store.DeleteEntry("A", "Name"));
    EXPECT_FALSE(store.DeleteEntry("A", "Name"));
    EXPECT_EQ(store.EntryNames("A"), Names{"Number"});
    EXPECT_TRUE(store.DeleteSection("B"));
    EXPECT_FALSE(store.HasSection("B\\Deeper"));
    EXPECT_FALSE(store.DeleteSection("B"));
}

// A store that keeps only texts, for the base class's text forms.
class TextStore : public TConfigFile {
public:
    TextStore() : TConfigFile("memory") {}
    std::map<string, std::map<string, string>> sections;

    size_t ListEntries(const string&, char*, size_t) override { return 0; }
    size_t ListSections(char*, size_t) override { return 0; }
    bool DeleteSection(const string&) override { return false; }
    bool DeleteEntry(const string&, const string&) override { return false; }
    void Flush() override {}
    size_t ReadString(const string& s,
                      const string& e,
                      char* buffer,
                      size_t size,
                      const char* fallback) override {
        auto it = sections[s].find(e);
        bool fits = it != sections[s].end() && it->second.size() < size;
        string text = fits ? it->second : fallback ? fallback : "";
        std::strcpy(buffer, text.c_str());
        return text.size();
    }
    bool WriteString(const string& s, const string& e, const char* text) override {
        sections[s][e] = text;
        return true;
    }
};

TEST(TConfigFile, TextStoresKeepIntegersAsDecimalAndBytesAsHexPairs) {
    const struct {
        const char* text;
        int32_t expected;
    } integers[] = {
        {"42", 42},
        {"  -12abc", -12},
        {"+7", 7},
        {"x", 0},
        {"-", 0},
        {"", -5},
        {"99999999999999", INT_MAX},
        {"-2147483648", INT_MIN},
        {"-99999999999999", INT_MIN},
    };
    TextStore store;
    for (const auto& c : integers) {
        store.sections["S"]["I"] = c.text;
        EXPECT_EQ(store.ReadInteger("S", "I", -5), c.expected) << '"' << c.text << '"';
    }
    ASSERT_TRUE(store.WriteInteger("S", "I", INT_MIN));
    EXPECT_EQ(store.sections["S"]["I"], "-2147483648");

    ASSERT_TRUE(store.WriteBytes("S", "B", "\x00\x7f\xff\xa5", 4));
    EXPECT_EQ(store.sections["S"]["B"], "00 7F FF A5 ");
    char got[5];
    EXPECT_TRUE(store.ReadBytes("S", "B", got, 4));
    EXPECT_EQ(string(got, 4), string("\x00\x7f\xff\xa5", 4));
    EXPECT_FALSE(store.ReadBytes("S", "B", got, 3));
    EXPECT_FALSE(store.ReadBytes("S", "B", got, 5));
    for (const char* bad : {"00 7F FF A", "00 7F FG A5", "00 7F FF A5 x"}) {
        store.sections["S"]["B"] = bad;
        EXPECT_FALSE(store.ReadBytes("S", "B", got, 4)) << bad;
    }
}

}  // namespace
