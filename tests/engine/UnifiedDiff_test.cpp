#include "engine/UnifiedDiff.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "tests/support/TempDir.h"
#ifndef _WIN32
#include "tests/support/ShellCommand.h"
#endif

namespace {

TEST(UnifiedDiff, ColoursAsGitShowsThem) {
    EXPECT_EQ(UnifiedDiff("a\nb", "a\nc\n", "x", "y", true),
              "\x1b[1m--- x\x1b[m\n\x1b[1m+++ y\x1b[m\n\x1b[36m@@ -1,2 +1,2 @@\x1b[m\n a\n"
              "\x1b[31m-b\x1b[m\n\\ No newline at end of file\n\x1b[32m+c\x1b[m\n");
}

#ifndef _WIN32
// "3\n4\n5\n" for Numbered(3, 5).
std::string Numbered(int from, int to) {
    std::string text;
    for (int i = from; i <= to; ++i)
        text += std::to_string(i) + "\n";
    return text;
}

// Lines that begin with '-' or '+', the two header lines left out.
int ChangedLines(const std::string& diff) {
    int changed = diff.empty() ? 0 : -2;
    for (std::size_t at = 0; at < diff.size(); at = diff.find('\n', at) + 1)
        changed += diff[at] == '-' || diff[at] == '+';
    return changed;
}

std::string WithoutColour(std::string text) {
    for (std::size_t at; (at = text.find('\x1b')) != std::string::npos;)
        text.erase(at, text.find('m', at) + 1 - at);
    return text;
}

struct Pair {
    std::string from, to;
};

struct ToolsSay {
    std::string diff;       // GNU diff's output
    std::string patched;    // the old text, patched with our diff
    std::string patchSaid;  // anything but "patching file" means offsets, fuzz or failure
};

// All pairs at once, in one shell: starting a process costs more than diffing.
std::vector<ToolsSay> RunTools(const std::vector<Pair>& pairs) {
    TempDir dir;
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        const std::string n = std::to_string(i);
        dir.Write("o" + n, pairs[i].from);
        dir.Write("n" + n, pairs[i].to);
        dir.Write("u" + n, UnifiedDiff(pairs[i].from, pairs[i].to, "OLD", "NEW", false));
    }
    EXPECT_EQ(RunShell("cd " + ShellQuoted(dir.Path()) + " && i=0 && while [ $i -lt " +
                       std::to_string(pairs.size()) +
                       " ]; do diff -u --label OLD --label NEW o$i n$i >d$i;"
                       " if [ -s u$i ]; then patch -F0 -o p$i o$i u$i >s$i 2>&1;"
                       " else cp o$i p$i && : >s$i; fi; i=$((i+1)); done"),
              0);
    std::vector<ToolsSay> said;
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        const std::string n = std::to_string(i);
        said.push_back({dir.Read("d" + n), dir.Read("p" + n), dir.Read("s" + n)});
    }
    return said;
}

std::string PatchShouldSay(std::size_t i, const std::string& diff) {
    const std::string n = std::to_string(i);
    return diff.empty() ? "" : "patching file p" + n + " (read from o" + n + ")\n";
}
#endif

TEST(UnifiedDiff, SameBytesAsDiff) {
#ifdef _WIN32
    GTEST_SKIP() << "compared with GNU diff and patch, POSIX tools";
#else
    if (!HaveProgram("diff") || !HaveProgram("patch"))
        GTEST_SKIP() << "no diff or no patch";
    const std::string ten = Numbered(1, 10), big = Numbered(1, 5000);
    auto edited = [](std::string text, const std::string& from, const std::string& to) {
        return text.replace(text.find(from), from.size(), to);
    };
    const std::vector<Pair> cases = {
        // Equal, empty, one line, lone line ends.
        {"", ""},
        {ten, ten},
        {"", "a\nb\n"},
        {"a\nb\n", ""},
        {"a\n", "b\n"},
        {"\n", ""},
        {"\r", "\r\n"},
        // Changes at the first and the last line, where the context runs short.
        {ten, edited(ten, "1\n", "one\n")},
        {ten, edited(ten, "10\n", "ten\n")},
        {ten, "0\n" + ten + "11\n"},
        {ten, edited(edited(ten, "1\n", ""), "10\n", "")},
        // No line feed at the end of one text or both; CR LF lines.
        {"a\nb", "a\nb\n"},
        {"a\nb\n", "a\nb"},
        {"a\nb", "a\nc"},
        {"a\nb\nc", "A\nb\nc"},
        {"x", "y"},
        {"a\r\nb\r\nc\r\n", "a\r\nB\r\nc\r\n"},
        {"a\r\nb\r\n", "a\nb\r\n"},
        // Seven unchanged lines between changes part two hunks; six join them.
        {Numbered(1, 20), edited(edited(Numbered(1, 20), "\n3\n", "\nthree\n"), "11", "eleven")},
        {Numbered(1, 20), edited(edited(Numbered(1, 20), "\n3\n", "\nthree\n"), "10", "ten")},
        {Numbered(1, 20), edited(edited(Numbered(1, 20), "\n3\n", "\n"), "\n12\n", "\n12\nx\n")},
        // Where diff puts a change among equal lines: as low as it goes, or facing a change.
        {"a\nb\nc\n", "a\nb\nb\nc\n"},
        {"a\nx\nb\nx\n", "a\nx\nb\nx\nx\n"},
        {"a\nb\na\nb\n", "a\nb\n"},
        {"a\nb\nc\na\nb\n", "a\nb\n"},
        {"x\na\na\ny\n", "x\nz\na\ny\n"},
        {"a\na\na\n", "a\nz\na\n"},
        // A block replaced; a long file with few changes.
        {ten, edited(ten, "4\n5\n6\n", "four\n")},
        {big, edited(edited(edited(big, "\n17\n", "\n"), "\n2500\n", "\n2500\nx\n"), "5000", "")},
    };
    const std::vector<ToolsSay> tools = RunTools(cases);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const std::string ours = UnifiedDiff(cases[i].from, cases[i].to, "OLD", "NEW", false);
        EXPECT_EQ(ours, tools[i].diff) << "case " << i;
        EXPECT_EQ(WithoutColour(UnifiedDiff(cases[i].from, cases[i].to, "OLD", "NEW", true)), ours);
    }
#endif
}

// Random texts and random edits: patch must make the new text of the old with our diff, at the
// lines the hunks name, and our diff must change as many lines as diff's (both are shortest
// edits at these sizes).
TEST(UnifiedDiff, RandomEditsApplyAndAreAsShortAsDiffs) {
#ifdef _WIN32
    GTEST_SKIP() << "compared with GNU diff and patch, POSIX tools";
#else
    if (!HaveProgram("diff") || !HaveProgram("patch"))
        GTEST_SKIP() << "no diff or no patch";
    const char* kLines[] = {"a\n", "b\n", "c\n", "a\r\n", "\n", "long line\n"};
    std::mt19937 rng(99);
    auto line = [&] { return std::string(kLines[rng() % 6]); };
    std::vector<Pair> cases(200);
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
    const std::vector<ToolsSay> tools = RunTools(cases);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const std::string ours = UnifiedDiff(cases[i].from, cases[i].to, "OLD", "NEW", false);
        SCOPED_TRACE("case " + std::to_string(i) + ":\n" + ours);
        EXPECT_EQ(tools[i].patched, cases[i].to);
        EXPECT_EQ(tools[i].patchSaid, PatchShouldSay(i, ours));
        EXPECT_EQ(ChangedLines(ours), ChangedLines(tools[i].diff));
    }
#endif
}

}  // namespace
