#include "ui/CommandLine.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "ui/ReplaceData.h"

namespace {

using Texts = std::vector<std::optional<std::string>>;
const std::nullopt_t none = std::nullopt;

Texts Fields(const ReplaceData& d) {
    return {d.FolderArg, d.FilterArg, d.FindArg, d.ReplaceArg};
}

TEST(ParseCommandLine, FillsTheFourTextsByItsRules) {
    struct Case {
        const char* line;
        Texts expected;
    } cases[] = {
        {"", {none, none, none, none}},
        {"   \t  ", {none, none, none, none}},
        {"\"C:\\My Files\" *.c old new", {"C:\\My Files", "*.c", "old", "new"}},
        // Single characters need quotes; quoted, they count.
        {"C:\\src *.c x y", {"C:\\src", "*.c", none, none}},
        {"C:\\src *.c \"x\" \"y\"", {"C:\\src", "*.c", "x", "y"}},
        // An unquoted slash starts a switch.
        {"C:/src/sub *.c", {"C:", "*.c", none, none}},
        {"-x C:\\src *.h", {"C:\\src", "*.h", none, none}},
        {"/switch C:\\src =value *.h", {"C:\\src", "*.h", none, none}},
        {"a1 b2 c3 d4 e5", {"a1", "b2", "c3", "d4"}},
        {"a1 b2 \"c3 and rest", {"a1", "b2", "c3 and rest", none}},
        {"\"\" a1", {"a1", none, none, none}},
        {"ab=cd ef\"g h\"", {"ab", "ef", "g h", none}},
        {"a=b c\"d e\"", {"d e", none, none, none}},
        {"\"x=1/2 -y\" fg", {"x=1/2 -y", "fg", none, none}},
        {"\"unclosed", {"unclosed", none, none, none}},
        {"\"", {none, none, none, none}},
    };
    for (const Case& c : cases) {
        ReplaceData data;
        ParseCommandLine(c.line, data);
        EXPECT_EQ(Fields(data), c.expected) << c.line;
        EXPECT_FALSE(data.SubfoldersGiven) << c.line;
    }
}

TEST(ParseCommandLine, SubfolderSwitches) {
    struct Case {
        const char* line;
        bool given;
        bool value;
    } cases[] = {
        {"-r- a1", true, false}, {"/R+ a1", true, true}, {"-r+ -r- a1", true, false},
        {"-rx a1", false, true}, {"-r a1", false, true}, {"=r- a1", false, true},
        {"- r-", true, false},   {"-r-/x", true, false},
    };
    for (const Case& c : cases) {
        ReplaceData data;
        ParseCommandLine(c.line, data);
        EXPECT_EQ(data.SubfoldersGiven, c.given) << c.line;
        EXPECT_EQ(data.SubfoldersArg, c.value) << c.line;
    }
}

TEST(ReplaceData, OneInstancePerProcessAndAllFourStartARun) {
    ReplaceData& a = ReplaceData::Instance();
    EXPECT_EQ(&a, &ReplaceData::Instance());
    ReplaceData d;
    d.AddArgument("f", 2);
    d.AddArgument("g", 1);  // dropped: too short
    d.AddArgument("h", 2);
    d.AddArgument("i", 2);
    EXPECT_FALSE(d.HasAllTexts());
    d.AddArgument("j", 2);
    EXPECT_TRUE(d.HasAllTexts());
    EXPECT_EQ(Fields(d), (Texts{"f", "h", "i", "j"}));
}

// Found by fuzz/CommandLine_fuzz.cpp: the cut at a NUL came after the empty-text check, so a
// token that began with one was stored as an empty folder.
TEST(ParseCommandLine, TokenStartingWithNulIsNotStoredEmpty) {
    ReplaceData data;
    ParseCommandLine(std::string_view("\0ab \"\0cd\" ef", 12), data);
    EXPECT_EQ(Fields(data), (Texts{"ef", none, none, none}));
}

}  // namespace
