#include "ui/CliArguments.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "ui/TouchTime.h"

namespace {

std::optional<UsageError> Parse(std::vector<const char*> args, CliRequest& request) {
    request = CliRequest();
    return ParseCliArguments(static_cast<int>(args.size()), args.data(), request);
}

// What a request says, in one line, for comparing with a table.
std::string Describe(const CliRequest& r) {
    auto flag = [](const std::optional<bool>& b) { return !b ? "?" : *b ? "1" : "0"; };
    std::string s = "texts";
    for (const std::string& t : r.texts)
        s += " [" + t + "]";
    s += std::string(" r") + flag(r.subfolders) + " c" + flag(r.caseSensitive) + " w" +
         flag(r.wholeWords) + " b" + flag(r.createBackups);
    if (r.action)
        s += *r.action == Action::Touch ? " touch" : " find";
    if (r.touchTime)
        s += " at=" + *r.touchTime;
    s += std::string(r.list ? " list" : "") + (r.quiet ? " quiet" : "") +
         (r.noStore ? " nostore" : "") + (r.help ? " help" : "") + (r.version ? " version" : "") +
         (r.dryRun ? " dry" : "") + (r.diff ? " diff" : "") + (r.noUndo ? " noundo" : "") +
         (r.undo ? " undo=" + *r.undo : "") + (r.runs ? " runs" : "");
    s += r.color == ColorWhen::Always ? " always" : r.color == ColorWhen::Never ? " never" : "";
    return s;
}

TEST(CliArguments, EveryOptionBundlesAndTheEndOfOptions) {
    const struct {
        std::vector<const char*> args;
        const char* request;
    } cases[] = {
        {{"d", "*.c", "a", "b"}, "texts [d] [*.c] [a] [b] r? c? w? b?"},
        {{"-iwb", "d", "*.c", "a", "b"}, "texts [d] [*.c] [a] [b] r? c0 w1 b1"},
        {{"--ignore-case", "--case-sensitive", "--whole-words", "--substrings", "--backup",
          "--no-backup", "d"},
         "texts [d] r? c1 w0 b0"},
        {{"-r-", "d", "-r+", "f", "-R-"}, "texts [d] [f] r0 c? w? b?"},  // the last one counts
        {{"--touch", "d", "f"}, "texts [d] [f] r? c? w? b? touch"},
        {{"--touch=@5", "--find", "d"}, "texts [d] r? c? w? b? find"},
        {{"--find", "--touch=2026-01-02 03:04", "d"},
         "texts [d] r? c? w? b? touch at=2026-01-02 03:04"},
        {{"-lq", "--no-store", "--color=never"}, "texts r? c? w? b? list quiet nostore never"},
        {{"--color", "--colour=auto", "-h", "-V"}, "texts r? c? w? b? help version"},
        {{"--color"}, "texts r? c? w? b? always"},
        // After "--", and a lone "-", everything is a text; an empty text is a text too.
        {{"d", "--", "-i", "--list", "-r+", "-", ""},
         "texts [d] [-i] [--list] [-r+] [-] [] r? c? w? b?"},
        {{"-", "d"}, "texts [-] [d] r? c? w? b?"},
        {{"-nl", "--diff", "--no-undo", "d"}, "texts [d] r? c? w? b? list dry diff noundo"},
        {{"--undo", "-n"}, "texts r? c? w? b? dry undo="},
        {{"--undo=20261208-101500-2"}, "texts r? c? w? b? undo=20261208-101500-2"},
        {{"--runs"}, "texts r? c? w? b? runs"},
    };
    for (const auto& c : cases) {
        CliRequest request;
        auto error = Parse(c.args, request);
        EXPECT_FALSE(error) << c.request << ": " << (error ? error->message : "");
        EXPECT_EQ(Describe(request), c.request);
    }
}

TEST(CliArguments, WrongOptionsAreRefusedWithTheirName) {
    const struct {
        std::vector<const char*> args;
        const char* message;
    } cases[] = {
        {{"-y", "d"}, "unknown option '-y'"},
        {{"-iz"}, "unknown option '-z'"},
        {{"--dry"}, "unknown option '--dry'"},
        {{"--list=1"}, "option '--list' takes no value"},
        {{"--color=rainbow"}, "unknown --color value 'rainbow'"},
        {{"-r"}, "unknown option '-r'"},
        {{"-r+x"}, "unknown option '-r'"},
    };
    for (const auto& c : cases) {
        CliRequest request;
        auto error = Parse(c.args, request);
        ASSERT_TRUE(error) << c.message;
        EXPECT_EQ(error->message, c.message);
    }
}

TEST(CliArguments, TextsSuitTheAction) {
    const struct {
        std::vector<std::string> texts;
        Action action;
        const char* message;  // "" when the texts are right
    } cases[] = {
        {{"d", "f", "a", "b"}, Action::Find, ""},
        {{"d", "f", "a", ""}, Action::Find, ""},  // an empty REPLACE deletes
        {{"d", "f"}, Action::Touch, ""},
        {{"d", "f", "a", "b"}, Action::Touch, ""},
        {{"d", "f"}, Action::Find, "missing FIND and REPLACE"},
        {{"d", "f", "a"}, Action::Touch, "missing REPLACE"},
        {{"d", "f", "a", "b", "e"}, Action::Find, "too many texts (5; FOLDER FILTER FIND REPLACE)"},
        {{"", "f"}, Action::Touch, "the folder is empty"},
        {{"d", ""}, Action::Touch, "the filter is empty"},
        {{"d", "f", "", "b"}, Action::Find, "the text to find is empty"},
    };
    for (const auto& c : cases) {
        CliRequest request;
        request.texts = c.texts;
        auto error = CheckCliTexts(request, c.action);
        EXPECT_EQ(error ? error->message : "", c.message);
    }
}

// Local times by the zone's rules on their own date, winter and summer alike; seconds since
// 1970 as they are; anything else refused.
TEST(TouchTime, LocalTimesByTheirDatesRulesAndSecondsSince1970) {
    const char* old = std::getenv("TZ");
    const std::string saved = old ? old : "";
    ::setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    ::tzset();
    const struct {
        const char* text;
        int64_t seconds;  // -1: refused
    } cases[] = {
        {"2021-01-15 12:00", 1610708400},     // winter: one hour ahead of UTC
        {"2021-06-01 12:00:30", 1622541630},  // summer: two
        {"2021-06-01T12:00:30", 1622541630},
        {"@0", 0},
        {"@-86400", -86400},
        {"@1600000000", 1600000000},
        {"2021-04-31 12:00", -1},
        {"2021-06-01 24:00", -1},
        {"2021-06-01", -1},
        {"2021-6-1 12:00", -1},
        {"2021-06-01 12:00:", -1},
        {"@", -1},
        {"@12x", -1},
        {"tomorrow", -1},
    };
    for (const auto& c : cases) {
        TTime t;
        const bool ok = ParseTouchTime(c.text, t);
        EXPECT_EQ(ok, c.seconds != -1) << c.text;
        if (ok && c.seconds != -1) {
            EXPECT_EQ(t, TimeFromUnix(c.seconds, 0)) << c.text;
        }
    }
    if (old)
        ::setenv("TZ", saved.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
}

}  // namespace
