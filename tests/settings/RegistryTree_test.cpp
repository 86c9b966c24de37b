#include "framework/RegistryTree.h"

#include <gtest/gtest.h>

#include <random>

#include "framework/RegistryKey.h"

namespace {

using std::string;

const string kHeader = "REGEDIT4\n\n";
const string kSection = "[HKEY_CURRENT_USER\\S]\n";

// What the damaged or hand-made text (below the section header unless it brings its own)
// reads as, formatted again.
TEST(RegistryTree, ReadsWhatItCanAndLeavesOutTheRest) {
    struct Case {
        const char* what;
        string text;
        string expected;  // the lines of section S; "-" when S itself should be missing
    } cases[] = {
        {"all forms", kSection + "\"a\"=\"x\"\n\"b\"=dword:0000002a\n\"c\"=hex:01,ff\n@=\"d\"\n",
         "\"a\"=\"x\"\n\"b\"=dword:0000002a\n\"c\"=hex:01,ff\n@=\"d\"\n"},
        {"escapes", kSection + "\"q\\\"\\\\\"=\"C:\\\\x \\\"y\\\" \\n\"\n",
         "\"q\\\"\\\\\"=\"C:\\\\x \\\"y\\\" \\\\n\"\n"},
        {"no REGEDIT4 line", "[HKEY_CURRENT_USER\\S]\n\"a\"=\"x\"\n", "\"a\"=\"x\"\n"},
        {"CR LF and blanks", "REGEDIT4\r\n\r\n  [HKEY_CURRENT_USER\\S] \r\n \"a\" = \"x\" \r\n",
         "\"a\"=\"x\"\n"},
        {"byte-order mark", "\xEF\xBB\xBF" + kSection + "\"a\"=\"x\"\n", "\"a\"=\"x\"\n"},
        {"letter case", kSection + "\"b\"=DWORD:0000000A\n\"c\"=HEX:0A\n",
         "\"b\"=dword:0000000a\n\"c\"=hex:0a\n"},
        {"continued hex", kSection + "\"c\"=hex:01,02,\\\n  03,\\\n  04\n\"d\"=\"x\"\n",
         "\"c\"=hex:01,02,03,04\n\"d\"=\"x\"\n"},
        {"other types", kSection + "\"m\"=hex(7):61,00,00\n\"n\"=hex(0):\n",
         "\"m\"=hex(7):61,00,00\n\"n\"=hex(0):\n"},
        {"last of duplicates", kSection + "\"a\"=\"1\"\n\"A\"=\"2\"\n", "\"a\"=\"2\"\n"},
        {"garbage lines", kSection + "junk\n;comment\n= \"x\"\n\"a\"=\"x\"\n\x01\x02\xff\n",
         "\"a\"=\"x\"\n"},
        {"unterminated texts", kSection + "\"a\"=\"x\n\"b\n\"c\"=\"x\"y\n\"d\"=\"ok\"\n",
         "\"d\"=\"ok\"\n"},
        {"bad numbers",
         kSection + "\"a\"=dword:123456789\n\"b\"=dword:xyz\n\"c\"=dword:\n"
                    "\"d\"=hex:0g\n\"e\"=hex:123\n\"f\"=hex(zz):00\n\"g\"=hex(1:00\n"
                    "\"h\"=hex:01,,02\n\"i\"=dword:1\n",
         "\"i\"=dword:00000001\n"},
        {"a trailing comma", kSection + "\"a\"=hex:01,\n", "\"a\"=hex:01\n"},
        {"a continuation never swallows the next section",
         kSection + "\"a\"=hex:01,\\\n[HKEY_CURRENT_USER\\T]\n\"b\"=\"x\"\n",
         "\"a\"=hex:01\n\n[HKEY_CURRENT_USER\\T]\n\"b\"=\"x\"\n"},
        {"deletions are not understood", kSection + "\"a\"=-\n", ""},
        {"values before any section", "\"a\"=\"x\"\n" + kSection, ""},
        {"values below a broken header stay out of the previous section",
         kSection + "\"a\"=\"1\"\n[HKEY_CURRENT_USER\\T\n\"b\"=\"2\"\n", "\"a\"=\"1\"\n"},
        {"a header with an empty name", kSection + "[HKEY_CURRENT_USER\\\\T]\n\"b\"=\"2\"\n", ""},
        {"a NUL in a text", kSection + string("\"a\"=\"x\0y\"\n", 10),
         "\"a\"=hex(1):78,00,79,00\n"},
        {"a NUL in a header", string("[HKEY_CURRENT_USER\\S\0]\n\"a\"=\"x\"\n", 31), "-"},
        {"a truncated file", kSection + "\"a\"=\"x\"\n\"b\"=hex:01,0",
         "\"a\"=\"x\"\n\"b\"=hex:01,00\n"},
        {"a huge line", kSection + "\"a\"=\"" + string(1 << 20, 'x') + "\"\n",
         "\"a\"=\"" + string(1 << 20, 'x') + "\"\n"},
        {"too deep a key",
         "[HKEY_CURRENT_USER" +
             [] {
                 string s;
                 for (int i = 0; i < 100000; ++i)
                     s += "\\k";
                 return s;
             }() +
             "]\n\"a\"=\"x\"\n",
         "-"},
    };
    for (const Case& c : cases) {
        RegistryTree tree = RegistryTree::Parse(c.text);
        RegistryTree::Key* s = tree.Find("HKEY_CURRENT_USER\\S");
        if (c.expected == "-") {
            EXPECT_EQ(s, nullptr) << c.what;
            continue;
        }
        ASSERT_NE(s, nullptr) << c.what;
        string formatted = tree.Format();
        EXPECT_EQ(formatted.substr(0, kHeader.size() + kSection.size()), kHeader + kSection)
            << c.what;
        EXPECT_EQ(formatted.substr(kHeader.size() + kSection.size()), c.expected + "\n") << c.what;
    }
}

TEST(RegistryTree, EveryTreeSurvivesItsTextForm) {
    RegistryTree tree;
    bool created;
    RegistryTree::Key* k = tree.FindOrCreate("HKEY_CURRENT_USER\\a]b[\\Caf\xe9 \xff", created);
    ASSERT_NE(k, nullptr);
    const struct {
        const char* name;
        uint32_t type;
        string data;
    } values[] = {
        {"", kRegString, string("default", 8)},
        {"text \"quoted\" \\ \xff\xfe", kRegString, string("\x80\\\"\xc3\x28\t", 7)},
        {"no nul", kRegString, "abc"},
        {"line breaks", kRegString, string("a\r\nb", 5)},
        {"inner nul", kRegString, string("a\0b", 4)},
        {"empty text", kRegString, string("", 1)},
        {"no data", kRegString, ""},
        {"dword", kRegDword, string("\xff\xff\xff\xff", 4)},
        {"short dword", kRegDword, "\x01"},
        {"binary", kRegBinary, string("\0\xff", 2)},
        {"empty binary", kRegBinary, ""},
        {"multi", 7, string("a\0b\0\0", 5)},
        {"big type", 0xffffffff, "x"},
        {"@", kRegString, string("at", 3)},
    };
    for (const auto& v : values)
        k->SetValue(v.name, v.type, v.data);
    tree.FindOrCreate("HKEY_CURRENT_USER\\a]b[\\empty", created);
    tree.FindOrCreate("HKEY_LOCAL_MACHINE\\Other", created);

    const string text = tree.Format();
    RegistryTree again = RegistryTree::Parse(text);
    EXPECT_EQ(again.Format(), text);
    RegistryTree::Key* k2 = again.Find("hkey_current_user\\A]B[\\caf\xe9 \xff");
    ASSERT_NE(k2, nullptr);
    ASSERT_EQ(k2->ValueCount(), std::size(values));
    for (size_t i = 0; i < std::size(values); ++i) {
        EXPECT_EQ(k2->ValueAt(i).name, values[i].name);
        EXPECT_EQ(k2->ValueAt(i).type, values[i].type) << values[i].name;
        EXPECT_EQ(k2->ValueAt(i).data, values[i].data) << values[i].name;
    }
    EXPECT_NE(again.Find("HKEY_CURRENT_USER\\a]b[\\empty"), nullptr);
    EXPECT_NE(again.Find("HKEY_LOCAL_MACHINE\\Other"), nullptr);
}

TEST(RegistryTree, SubkeysComeInNameOrderIgnoringCase) {
    RegistryTree tree;
    bool created;
    for (const char* name : {"b", "C", "a", "B"})
        tree.FindOrCreate(string("HKEY_CURRENT_USER\\") + name, created);
    EXPECT_FALSE(created);  // "B" is "b"
    EXPECT_EQ(tree.Format(),
              "REGEDIT4\n\n[HKEY_CURRENT_USER\\a]\n\n[HKEY_CURRENT_USER\\b]\n\n"
              "[HKEY_CURRENT_USER\\C]\n\n");
    EXPECT_TRUE(tree.Remove("HKEY_CURRENT_USER\\B"));
    EXPECT_FALSE(tree.Remove("HKEY_CURRENT_USER\\B"));
    EXPECT_EQ(tree.Find("HKEY_CURRENT_USER\\b"), nullptr);
}

TEST(RegistryTree, RandomBytesNeverBreakTheReader) {
    std::mt19937 random(12345);
    const string pieces[] = {"[HKEY_CURRENT_USER\\",
                             "]",
                             "\\",
                             "\"",
                             "=",
                             "hex:",
                             "hex(2):",
                             "dword:",
                             ",",
                             "\\\n",
                             "\n",
                             "\r",
                             "@",
                             "0a",
                             string(1, '\0'),
                             "x"};
    for (int round = 0; round < 2000; ++round) {
        string text;
        int n = static_cast<int>(random() % 60);
        for (int i = 0; i < n; ++i) {
            if (random() % 4 == 0)
                text += static_cast<char>(random() % 256);
            else
                text += pieces[random() % std::size(pieces)];
        }
        // Whatever was read is written so that it reads the same again.
        string once = RegistryTree::Parse(text).Format();
        EXPECT_EQ(RegistryTree::Parse(once).Format(), once) << "input: " << text;
    }
}

}  // namespace
