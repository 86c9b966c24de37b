#include "framework/WildcardMatch.h"

#include <gtest/gtest.h>

namespace {

TEST(WildcardMatch, FollowsTheDirectorySearchRules) {
    struct Case {
        const char* pattern;
        const char* name;
        bool match;
    } cases[] = {
        {"*.cpp", "a.cpp", true},   {"*.cpp", "A.CPP", true},   {"*.cpp", ".cpp", true},
        {"*.cpp", "a.cppx", false}, {"*.cpp", "a.c", false},    {"*.c", "a.cpp", false},
        {"a?b", "axb", true},       {"a?b", "ab", false},       {"a?b", "axxb", false},
        {"*", "anything", true},    {"*.*", "README", true},    {"*.*", "a.b.c", true},
        {"*.*", ".hidden", true},   {"foo.*", "foo", true},     {"foo.*", "foo.bar", true},
        {"foo.*", "foobar", false}, {"", "a", false},           {" *.h", "a.h", false},
        {" *.h", " a.h", true},     {"a*b*c", "aXbYbZc", true}, {"a*b*c", "aXbYbZ", false},
        {"**a", "ba", true},        {"\xC4*", "\xE4x", false},  {"\xC4*", "\xC4x", true},
        {"m*", "Makefile", true},   {"*e", "Makefile", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(WildcardMatch(c.pattern, c.name), c.match)
            << "pattern '" << c.pattern << "' name '" << c.name << "'";
}

TEST(WildcardMatch, StaysFastOnManyStars) {
    std::string name(5000, 'a');
    EXPECT_FALSE(WildcardMatch("*a*a*a*a*a*a*a*a*b", name));
}

}  // namespace
