#include "engine/UnifiedDiff.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <vector>

#include "tests/support/TempDir.h"
#ifndef _WIN32
#include "tests/support/ShellCommand.h"
#endif

namespace {

// What the comparisons with GNU diff use; they run on POSIX only.
#ifndef _WIN32
// "3\n4\n5\n" for Numbered(3, 5).
std::string Numbered(int from, int to) {
    std::string text;
    for (int i = from; i <= to; ++i)
        text += std::to_string(i) + "\n";
    return text;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = std::min(text.find('\n', at), text.size() - 1) + 1;
        lines.push_back(text.substr(at, end - at));
        at = end;
    }
    return lines;
}

// Applies a diff strictly: each hunk at the lines its header names, with its counts, and its
// context and removed lines as the old text has them there.
std::string Apply(const std::string& oldText, const std::string& diff) {
    const std::vector<std::string> old = SplitLines(oldText), lines = SplitLines(diff);
    std::string text;
    std::size_t oldAt = 0, newAt = 0;  // lines taken from the old text, and made
    for (std::size_t i = 2; i < lines.size();) {
        const char* p = lines[i++].c_str();
        auto number = [&p](char before) {
            EXPECT_EQ(*p, before);
            char* end = nullptr;
            std::size_t n = std::strtoul(p + 1, &end, 10);
            p = end;
            return n;
        };
        EXPECT_EQ(std::string(p, 3), "@@ ");
        p += 3;
        std::size_t oldStart = number('-'), oldCount = *p == ',' ? number(',') : 1;
        ++p;
        std::size_t newStart = number('+'), newCount = *p == ',' ? number(',') : 1;
        EXPECT_STREQ(p, " @@\n");
        // An empty range names the line before it.
        oldStart -= oldCount > 0 ? 1 : 0;
        newStart -= newCount > 0 ? 1 : 0;
        for (; oldAt < oldStart && oldAt < old.size(); ++oldAt, ++newAt)
            text += old[oldAt];
        EXPECT_EQ(oldAt, oldStart);
        EXPECT_EQ(newAt, newStart);
        for (; i < lines.size() && lines[i][0] != '@'; ++i) {
            std::string line = lines[i].substr(1);
            const bool noNewline =
                i + 1 < lines.size() && lines[i + 1] == "\\ No newline at end of file\n";
            if (noNewline)
                line.pop_back();
            if (lines[i][0] != '+') {
                EXPECT_EQ(oldAt < old.size() ? old[oldAt++] : "(end)", line) << lines[i];
            }
            if (lines[i][0] != '-') {
                text += line;
                ++newAt;
            }
            i += noNewline;
        }
        EXPECT_EQ(oldAt - oldStart, oldCount);
        EXPECT_EQ(newAt - newStart, newCount);
    }
    for (; oldAt < old.size(); ++oldAt)
        text += old[oldAt];
    return text;
}

// Lines that begin with '-' or '+', the two header lines left out.
int ChangedLines(const std::string& diff) {
    int changed = 0;
    for (const std::string& line : SplitLines(diff))
        changed += line[0] == '-' || line[0] == '+';
    return changed > 2 ? changed - 2 : 0;
}

std::string WithoutColour(std::string text) {
    for (std::size_t at; (at = text.find('\x1b')) != std::string::npos;)
        text.erase(at, text.find('m', at) + 1 - at);
    return text;
}
#endif

TEST(UnifiedDiff, ColoursAsGitShowsThem) {
    EXPECT_EQ(UnifiedDiff("a\nb", "a\nc\n", "x", "y", true),
              "\x1b[1m--- x\x1b[m\n\x1b[1m+++ y\x1b[m\n\x1b[36m@@ -1,2 +1,2 @@\x1b[m\n a\n"
              "\x1b[31m-b\x1b[m\n\\ No newline at end of file\n\x1b[32m+c\x1b[m\n");
}

#ifndef _WIN32
struct Pair {
    std::string from, to;
};

// Writes each pair and runs GNU diff on all of them in one shell; its outputs, in order.
std::vector<std::string> RealDiffs(const std::vector<Pair>& pairs) {
    TempDir dir;
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        dir.Write("o" + std::to_string(i), pairs[i].from);
        dir.Write("n" + std::to_string(i), pairs[i].to);
    }
    std::string loop = "cd " + ShellQuoted(dir.Path()) + " && i=0 && while [ $i -lt " +
                       std::to_string(pairs.size()) +
                       " ]; do diff -u --label OLD --label NEW o$i n$i >d$i; i=$((i+1)); done";
    EXPECT_EQ(RunShell(loop), 0);
    std::vector<std::string> outputs;
    for (std::size_t i = 0; i < pairs.size(); ++i)
        outputs.push_back(dir.Read("d" + std::to_string(i)));
    return outputs;
}
#endif

TEST(UnifiedDiff, SameBytesAsDiff) {
#ifdef _WIN32
    GTEST_SKIP() << "compared with GNU diff, a POSIX tool";
#else
    if (!HaveProgram("diff"))
        GTEST_SKIP() << "no diff";
    const std::string ten = Numbered(1, 10), big = Numbered(1, 5000);
    auto edited = [](std::string text, const std::string& from, const std::string& to) {
        return text.replace(text.find(from), from.size(), to);
    };
    const std::vector<Pair> cases = {
        {"", ""},
        {ten, ten},
        {"", "a\nb\n"},
        {"a\nb\n", ""},
        {"a\n", "b\n"},
        {"\n", ""},
        {"\r", "\r\n"},
        {ten, edited(ten, "1\n", "one\n")},
        {ten, edited(ten, "10\n", "ten\n")},
        {ten, "0\n" + ten + "11\n"},
        {ten, edited(edited(ten, "1\n", ""), "10\n", "")},
        {"a\nb", "a\nb\n"},
        {"a\nb\n", "a\nb"},
        {"a\nb", "a\nc"},
        {"a\nb\nc", "A\nb\nc"},
        {"x", "y"},
        {"a\r\nb\r\nc\r\n", "a\r\nB\r\nc\r\n"},
        {"a\r\nb\r\n", "a\nb\r\n"},
        {Numbered(1, 20), edited(edited(Numbered(1, 20), "\n3\n", "\nthree\n"), "11", "eleven")},
        {Numbered(1, 20), edited(edited(Numbered(1, 20), "\n3\n", "\nthree\n"), "10", "ten")},
        {Numbered(1, 20), edited(edited(Numbered(1, 20), "\n3\n", "\n"), "\n12\n", "\n12\nx\n")},
        {"a\nb\nc\n", "a\nb\nb\nc\n"},
        {"x\na\na\ny\n", "x\nz\na\ny\n"},
        {ten, edited(ten, "4\n5\n6\n", "four\n")},
        {big, edited(edited(edited(big, "\n17\n", "\n"), "\n2500\n", "\n2500\nx\n"), "5000", "")},
    };
    const std::vector<std::string> expected = RealDiffs(cases);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const std::string ours = UnifiedDiff(cases[i].from, cases[i].to, "OLD", "NEW", false);
        EXPECT_EQ(ours, expected[i]) << "case " << i;
        EXPECT_EQ(WithoutColour(UnifiedDiff(cases[i].from, cases[i].to, "OLD", "NEW", true)), ours);
    }
#endif
}

// Random texts and random edits: our diff must give the new text back and change as many
// lines as diff's (both are shortest edits at these sizes).
TEST(UnifiedDiff, RandomEditsApplyAndAreAsShortAsDiffs) {
#ifdef _WIN32
    GTEST_SKIP() << "compared with GNU diff, a POSIX tool";
#else
    if (!HaveProgram("diff"))
        GTEST_SKIP() << "no diff";
    const char* kLines[] = {"a\n", "b\n", "c\n", "a\r\n", "\n", "long line\n"};
    std::mt19937 rng(99);
    auto line = [&] { return std::string(kLines[rng() % 6]); };
    std::vector<Pair> cases(300);
    for (Pair& pair : cases) {
        std::vector<std::string> lines(rng() % 60);
        for (std::string& l : lines)
            l = line();
        for (const std::string& l : lines)
            pair.from += l;
        for (int edits = rng() % 6; edits > 0; --edits) {
            std::size_t at = rng() % (lines.size() + 1);
            if (rng() % 2 && at < lines.size())
                lines.erase(lines.begin() + at);
            else
                lines.insert(lines.begin() + at, line());
        }
        for (const std::string& l : lines)
            pair.to += l;
        for (std::string* text : {&pair.from, &pair.to})
            if (!text->empty() && rng() % 8 == 0)
                text->pop_back();
    }
    const std::vector<std::string> expected = RealDiffs(cases);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const std::string ours = UnifiedDiff(cases[i].from, cases[i].to, "OLD", "NEW", false);
        ASSERT_EQ(Apply(cases[i].from, ours), cases[i].to) << "case " << i << "\n" << ours;
        ASSERT_EQ(ChangedLines(ours), ChangedLines(expected[i])) << "case " << i << "\n" << ours;
    }
#endif
}

}  // namespace
