// Preview, diff and undo from the command line, checked against diff and patch themselves.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/ShellCommand.h"
#include "tests/ui/ScrivoxCliFixture.h"

namespace {

// What `diff -u` prints for one file changed from `before` to the tree's content now.
std::string DiffOf(const TempDir& scratch, const TempDir& tree, const std::string& rel,
                   const std::string& before) {
    scratch.Write("before", before);
    const std::string out = scratch.Join("diff.out");
    RunShell("diff -u --label " + ShellQuoted(rel) + " --label " + ShellQuoted(rel) + " " +
             ShellQuoted(scratch.Join("before")) + " " + ShellQuoted(tree.Join(rel)) + " >" +
             ShellQuoted(out));
    return ReadWholeFile(out);
}

class ScrivoxCliUndo : public ScrivoxCli {
protected:
    void SetUp() override {
        if (!HaveProgram("diff") || !HaveProgram("patch"))
            GTEST_SKIP() << "needs diff and patch";
        tree_.Write("a.c", "int token;\nint other;\n\nreturn token;\n");
        tree_.Write("sub/b.c", "/* token */\n");
        tree_.Write("c.c", "nothing\n");
    }
    TempDir scratch_;
};

TEST_F(ScrivoxCliUndo, PreviewDiffRunAndUndoEndToEnd) {
    const std::string a = tree_.Read("a.c"), b = tree_.Read("sub/b.c");
    // A preview with its diff: diff's own output for each file, nothing written, nothing kept.
    Result r = Run({"-n", "--diff", "--color=never", tree_.Path(), "*.c", "token", "T"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(tree_.Read("a.c"), a);
    Result runs = Run({"--runs"});
    EXPECT_EQ(runs.out, "No runs are kept.\n");

    // The run prints the diff of what it wrote; patch makes the same change from it.
    TempDir copy;
    copy.Write("a.c", a);
    copy.Write("sub/b.c", b);
    copy.Write("c.c", "nothing\n");
    Result run = Run({"--diff", tree_.Path(), "*.c", "token", "T"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, r.out.substr(0, r.out.find("2 files would change.")) +
                           "3 files processed.\n3 replacements made.\n");
    for (const auto& [rel, before] : {std::pair<std::string, std::string>{"a.c", a}, {"sub/b.c", b}})
        EXPECT_NE(r.out.find(DiffOf(scratch_, tree_, rel, before)), std::string::npos) << rel;
    EXPECT_TRUE(r.out.find("2 files would change.\n3 replacements would be made.\n") !=
                std::string::npos)
        << r.out;
    scratch_.Write("run.diff", run.out.substr(0, run.out.find("3 files processed.")));
    EXPECT_EQ(RunShell("patch -s -p0 -d " + ShellQuoted(copy.Path()) + " <" +
                       ShellQuoted(scratch_.Join("run.diff"))),
              0);
    EXPECT_EQ(RunShell("diff -r " + ShellQuoted(copy.Path()) + " " + ShellQuoted(tree_.Path())), 0);

    // The kept run, and its undo when one file changed since.
    runs = Run({"--runs"});
    EXPECT_NE(runs.out.find(" find "), std::string::npos) << runs.out;
    EXPECT_NE(runs.out.find(tree_.Path()), std::string::npos) << runs.out;
    tree_.Write("sub/b.c", "/* edited */\n");
    Result undo = Run({"--undo", "-n", "-l"});
    EXPECT_EQ(undo.exitCode, 1);
    EXPECT_EQ(undo.out, tree_.Join("a.c") +
                            "\n1 file would be restored.\n1 file was left because it changed "
                            "since.\n");
    EXPECT_EQ(undo.err,
              "scrivox: " + tree_.Join("sub/b.c") + ": changed since the run; left as it is\n");
    EXPECT_EQ(tree_.Read("a.c"), "int T;\nint other;\n\nreturn T;\n");
    undo = Run({"--undo"});
    EXPECT_EQ(undo.exitCode, 1);
    EXPECT_EQ(undo.out, "1 file restored.\n1 file was left because it changed since.\n");
    EXPECT_EQ(tree_.Read("a.c"), a);
    EXPECT_EQ(tree_.Read("sub/b.c"), "/* edited */\n");
    undo = Run({"--undo"});
    EXPECT_EQ(undo.exitCode, 2);
    EXPECT_EQ(undo.err, "scrivox: no run to undo\n");
    EXPECT_NE(Run({"--runs"}).out.find("(undone)"), std::string::npos);

    // --no-undo keeps nothing; --undo and --runs take no texts.
    EXPECT_EQ(Run({"--no-undo", tree_.Path(), "*.c", "other", "O"}).exitCode, 0);
    EXPECT_EQ(Run({"--undo"}).exitCode, 2);
    Result wrong = Run({"--undo", tree_.Path()});
    EXPECT_EQ(wrong.exitCode, 2);
    EXPECT_EQ(wrong.err, "scrivox: --undo takes no FOLDER, FILTER or texts; scrivox --runs lists "
                         "the runs that can be undone\n");
}

// Files the diff does not show line by line get a line of their own, as diff gives them.
TEST_F(ScrivoxCliUndo, LargeAndBinaryFilesGetASummaryLine) {
    tree_.Write("big.c", std::string(9u << 20, 'x') + " token\n");
    tree_.Write("bin.c", std::string("token\0\1", 7));
    Result r = Run({"-n", "--diff", "--binary", "--color=never", "-r-", tree_.Path(), "b*.c",
                    "token", "T"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Files big.c and big.c differ (larger than 8 MiB; not shown)\n"),
              std::string::npos)
        << r.out.substr(0, 500);
    EXPECT_NE(r.out.find("Binary files bin.c and bin.c differ\n"), std::string::npos);
    EXPECT_NE(r.out.find("2 files would change.\n"), std::string::npos);
}

// A run whose journal cannot be kept still runs, and says that it cannot be undone.
TEST_F(ScrivoxCliUndo, ARunThatCannotKeepItsJournalRunsAndSaysSo) {
    scratch_.Write("not-a-folder", "");
    state_ = scratch_.Join("not-a-folder");
    Result r = Run({tree_.Path(), "*.c", "token", "T"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "3 files processed.\n3 replacements made.\n");
    EXPECT_EQ(r.err.rfind("scrivox: note: this run cannot be undone: ", 0), 0u) << r.err;
    EXPECT_EQ(tree_.Read("sub/b.c"), "/* T */\n");
}

}  // namespace
