// The `scrivox` program killed at random moments of a Find over a tree of about 2,000 files: after
// every kill each file is old or new, each backup whole, nothing stray in view; an undo gives each
// changed file back its old content; and the next run finishes the job and leaves no temporary
// file.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "engine/RunReport.h"
#include "framework/WildcardMatch.h"
#include "tests/fault/FaultSupport.h"
#include "tests/support/ReferenceScanner.h"
#include "tests/support/TempDir.h"

namespace {

constexpr char kFind[] = "needle";
constexpr char kReplace[] = "PIN";       // a result holds no "needle", so a finished file stays put
constexpr char kFilter[] = "f*.c;f*.h";  // never matches "Backup of ..."
constexpr int kKillsPerTest = 24;

bool MatchesFilter(const std::string& rel) {
    std::string name = rel.substr(rel.rfind('/') + 1);
    return WildcardMatch("f*.c", name) || WildcardMatch("f*.h", name);
}

std::string FolderPart(const std::string& rel) {
    size_t slash = rel.rfind('/');
    return slash == std::string::npos ? "" : rel.substr(0, slash + 1);
}

// One file's content and every name it has in the tree.
struct Content {
    std::vector<std::string> names;   // hard links; names[0] is where it is restored
    std::vector<std::string> handed;  // names the walk finds: filter matches, or a link
    std::string oldText, newText;
    TreeEntry pristine;  // for contents without a match: never written
    // Whether the run rewrites it: handed over, with a match.
    bool Changes() const { return !handed.empty() && oldText != newText; }
    bool InPlace() const { return names.size() > 1; }
};

// A hard-linked file is rewritten through its own inode: a kill during that copy leaves the new
// content up to some offset and the old content after it.
bool IsCutInPlaceCopy(const std::string& text,
                      const std::string& oldText,
                      const std::string& newText) {
    size_t k = 0;
    while (k < text.size() && k < newText.size() && text[k] == newText[k])
        ++k;
    if (k >= oldText.size())
        return k == text.size();
    return text.compare(k, std::string::npos, oldText, k, std::string::npos) == 0;
}

struct Stats {
    int kills = 0, killedMidRun = 0, leftoverTemps = 0, backupsSeen = 0;
    int filesOld = 0, filesNew = 0, cutCopies = 0;
};

class FaultKilledRun : public ::testing::Test {
protected:
    void SetUp() override {
        tree_ = base_.Join("vol/tree");
        for (const char* folder : {"vol", "config/scrivox", "tmp", "cwd"})
            base_.MakeFolder(folder);
        // On a tmpfs, where flushing costs nothing, a run's time is spent reading and writing,
        // so that is where the kills land. The runs' journal lies beside the tree, on the same
        // file system: it keeps old contents by a second name, as it does for most users.
        mount_ = std::make_unique<ScopedTmpfs>(base_.Join("vol"), "size=256m");
        base_.MakeFolder("vol/tree");
        MakeTree();
    }

    void WriteOptions(bool backups) {
        base_.Write("config/scrivox/user.reg",
                    std::string("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Harrowfen\\Scrivox\\"
                                "Options]\n\"Subfolders\"=\"yes\"\n\"CaseSensitive\"=\"yes\"\n"
                                "\"WholeWords\"=\"no\"\n\"CreateBackups\"=\"") +
                        (backups ? "yes" : "no") + "\"\n\"Action\"=dword:00000001\n");
        backups_ = backups;
    }

    void Add(const std::vector<std::string>& names, const std::string& text) {
        Content c;
        c.names = names;
        c.oldText = text;
        c.newText = ReferenceReplace(text, kFind, kReplace, true, false).output;
        base_.Write("vol/tree/" + names[0], text);
        for (size_t i = 1; i < names.size(); ++i) {
            base_.MakeFolder("vol/tree/" + FolderPart(names[i]));
            ASSERT_EQ(::link(Path(names[0]).c_str(), Path(names[i]).c_str()), 0) << names[i];
        }
        for (const std::string& n : names)
            if (MatchesFilter(n))
                c.handed.push_back(n);
        contents_.push_back(c);
    }

    // About 2,000 files in 40 folders; a few per cent hold the find text. Five of 1 to 4 MiB so
    // that kills land inside reads and writes, three with a second name, one reached through a
    // link from another folder.
    void MakeTree() {
        std::mt19937 rng(20240611);
        std::vector<std::string> folders = {""};
        while (folders.size() < 40) {
            const std::string& parent = folders[rng() % folders.size()];
            if (std::count(parent.begin(), parent.end(), '/') < 3)
                folders.push_back(parent + "d" + std::to_string(folders.size()) + "/");
        }
        for (const std::string& f : folders)
            base_.MakeFolder("vol/tree/" + f);
        const char* words[] = {"alpha ",     "beta\n",   "needl ", "eedle ", "Needle ",
                               "NEEDLE\r\n", "nee dle ", "gamma,", "\t",     "delta"};
        auto text = [&](size_t length, int needles) {
            std::string s;
            while (s.size() < length)
                s += words[rng() % std::size(words)];
            for (int i = 0; i < needles; ++i)
                s.insert(rng() % (s.size() + 1), kFind);
            return s;
        };
        for (int i = 0; i < 1950; ++i) {
            const std::string& folder = folders[rng() % folders.size()];
            const char* ext = i % 3 == 0 ? ".c" : i % 3 == 1 ? ".h" : ".txt";
            std::string name = folder + (i % 3 == 2 ? "g" : "f") + std::to_string(i) + ext;
            Add({name}, text(rng() % 3000, rng() % 100 < 3 ? 1 + int(rng() % 4) : 0));
        }
        const size_t bigSizes[] = {1 << 20, 3 << 19, 2 << 20, 3 << 20, 4 << 20};
        for (size_t k = 0; k < std::size(bigSizes); ++k)
            Add({folders[(k * 7) % folders.size()] + "f_big" + std::to_string(k) + ".c"},
                text(bigSizes[k], int(bigSizes[k] / 30000)));
        Add({folders[3] + "f_hl1.c", folders[7] + "f_hl1b.h"}, text(500, 2));
        Add({folders[5] + "f_hl2.c", folders[5] + "alias2.txt"}, text(2000, 3));
        Add({folders[2] + "f_hl3.c", folders[9] + "alias3.txt"}, text(4 << 20, 120));
        // The link's target lies in a folder where nothing matches the filter.
        Add({"data/real.dat"}, text(2 << 20, 60));
        contents_.back().handed = {"f_link.c"};
        for (int i = 0; i < 5; ++i)
            Add({"data/x" + std::to_string(i) + ".dat"}, text(1000, 1));
        ASSERT_EQ(::symlink("data/real.dat", Path("f_link.c").c_str()), 0);

        for (const auto& [rel, entry] : ListTree(tree_))
            pristine_[rel] = entry;
        for (Content& c : contents_)
            c.pristine = pristine_[c.names[0]];
    }

    std::string Path(const std::string& rel) const { return tree_ + "/" + rel; }

    pid_t Start(const std::string& outFile = "") {
        return Spawn({SCRIVOX_CLI_PATH, "-r+", tree_, kFilter, kFind, kReplace},
                     {{"XDG_CONFIG_HOME", base_.Join("config")},
                      {"XDG_STATE_HOME", base_.Join("vol/state")},
                      {"TMPDIR", base_.Join("tmp")}},
                     base_.Join("cwd"), outFile);
    }

    // What a kill left: every file old or new (a hard-linked one possibly cut in its in-place
    // copy), every backup whole, nothing but hidden temporary files beside them. Returns each
    // content's text.
    std::vector<std::string> CheckAfterKill(Stats& stats) {
        std::vector<std::string> texts;
        auto tree = ListTree(tree_);
        std::set<std::string> expectedBackupPlaces;
        for (const Content& c : contents_)
            if (c.Changes())
                for (const std::string& n : c.handed)
                    expectedBackupPlaces.insert(n);
        for (const auto& [rel, entry] : tree) {
            const std::string name = rel.substr(rel.rfind('/') + 1);
            if (IsRunTempName(name)) {
                EXPECT_EQ(entry.kind, TreeEntry::File) << rel;
                ++stats.leftoverTemps;
            } else if (name.rfind("Backup of ", 0) == 0) {
                const std::string of = FolderPart(rel) + name.substr(10);
                EXPECT_TRUE(backups_ && expectedBackupPlaces.count(of)) << "stray backup " << rel;
                EXPECT_EQ(entry.kind, TreeEntry::File) << rel;
                ++stats.backupsSeen;
            } else {
                auto it = pristine_.find(rel);
                if (it == pristine_.end()) {
                    ADD_FAILURE() << "stray entry " << rel;
                    continue;
                }
                EXPECT_EQ(entry.kind, it->second.kind) << rel;
                EXPECT_EQ(entry.linkTarget, it->second.linkTarget) << rel;
            }
        }
        for (const auto& [rel, entry] : pristine_)
            EXPECT_TRUE(tree.count(rel)) << "missing " << rel;

        for (const Content& c : contents_) {
            auto text = ReadFileBytes(Path(c.names[0]));
            texts.push_back(text.value_or(""));
            if (!text) {
                ADD_FAILURE() << "unreadable " << c.names[0];
                continue;
            }
            for (size_t i = 1; i < c.names.size(); ++i)
                EXPECT_EQ(tree[c.names[i]].inode, tree[c.names[0]].inode)
                    << c.names[i] << " no longer shares " << c.names[0];
            if (!c.Changes()) {
                // Never written, not even rewritten with the same bytes.
                const TreeEntry& now = tree[c.names[0]];
                EXPECT_TRUE(*text == c.oldText && now.inode == c.pristine.inode &&
                            now.mtimeNs == c.pristine.mtimeNs)
                    << c.names[0] << " was written";
                continue;
            }
            for (const std::string& n : c.handed) {
                const std::string backup =
                    FolderPart(n) + "Backup of " + n.substr(FolderPart(n).size());
                if (tree.count(backup)) {
                    EXPECT_TRUE(ReadFileBytes(Path(backup)) == c.oldText)
                        << backup << " is not a whole copy of the original";
                }
            }
            if (*text == c.oldText) {
                ++stats.filesOld;
            } else if (*text == c.newText) {
                ++stats.filesNew;
            } else if (c.InPlace() && IsCutInPlaceCopy(*text, c.oldText, c.newText)) {
                ++stats.cutCopies;
            } else {
                ADD_FAILURE() << c.names[0] << " is neither old nor new (" << text->size()
                              << " bytes; old " << c.oldText.size() << ", new " << c.newText.size()
                              << ")";
            }
        }
        return texts;
    }

    // `scrivox --undo` after a kill: each file the killed run changed has its old content again,
    // the others are as they were; a cut in-place copy is not what the run left, so it stays.
    // Returns each content's text.
    std::vector<std::string> UndoAndCheck(const std::vector<std::string>& texts) {
        const std::string out = base_.Join("undo-out");
        ChildOutcome outcome =
            WaitForChild(Spawn({SCRIVOX_CLI_PATH, "--undo"},
                               {{"XDG_CONFIG_HOME", base_.Join("config")},
                                {"XDG_STATE_HOME", base_.Join("vol/state")},
                                {"TMPDIR", base_.Join("tmp")}},
                               base_.Join("cwd"), out),
                         120);
        std::vector<std::string> after;
        bool cut = false;
        for (size_t i = 0; i < contents_.size(); ++i) {
            const Content& c = contents_[i];
            const std::optional<std::string> text = ReadFileBytes(Path(c.names[0]));
            after.push_back(text.value_or(""));
            const bool wasCut = texts[i] != c.oldText && texts[i] != c.newText;
            cut = cut || wasCut;
            EXPECT_TRUE(text == (wasCut ? texts[i] : c.oldText))
                << c.names[0] << " after the undo: " << (text == c.newText ? "new" : "other");
        }
        // A run killed before it changed anything keeps no journal to undo.
        const std::string report = ReadFileBytes(out).value_or("");
        EXPECT_TRUE(outcome.exited &&
                    (outcome.exitCode == (cut ? 1 : 0) ||
                     (outcome.exitCode == 2 && texts == OldTexts())))
            << report;
        return after;
    }

    std::vector<std::string> OldTexts() const {
        std::vector<std::string> texts;
        for (const Content& c : contents_)
            texts.push_back(c.oldText);
        return texts;
    }

    // A run to its end after whatever `texts` were found: every file finished, the report exact,
    // no temporary file anywhere, nothing written outside the tree. Returns the run's seconds.
    double RunToCompletionAndCheck(const std::vector<std::string>& texts) {
        const std::string out = base_.Join("out");
        const struct timespec start = Now();
        ChildOutcome outcome = WaitForChild(Start(out), 300);
        const double seconds = SecondsSince(start);
        EXPECT_TRUE(outcome.exited && outcome.exitCode == 0) << ReadFileBytes(out).value_or("");
        int64_t files = 0, replacements = 0;
        std::vector<std::string> finished;
        for (size_t i = 0; i < contents_.size(); ++i) {
            ReferenceResult ref = ReferenceReplace(texts[i], kFind, kReplace, true, false);
            files += contents_[i].handed.empty() ? 0 : 1;  // once, however many names match
            if (!contents_[i].handed.empty())
                replacements += ref.replacements;
            finished.push_back(contents_[i].handed.empty() ? texts[i] : ref.output);
        }
        EXPECT_EQ(ReadFileBytes(out), ReplaceReportText(files, replacements) + "\n");

        auto tree = ListTree(tree_);
        for (const auto& [rel, entry] : tree) {
            const std::string name = rel.substr(rel.rfind('/') + 1);
            EXPECT_FALSE(IsRunTempName(name)) << "left behind: " << rel;
            EXPECT_TRUE(pristine_.count(rel) || (backups_ && name.rfind("Backup of ", 0) == 0))
                << "stray entry " << rel;
        }
        for (size_t i = 0; i < contents_.size(); ++i) {
            const Content& c = contents_[i];
            EXPECT_TRUE(ReadFileBytes(Path(c.names[0])) == finished[i])
                << c.names[0] << " unfinished";
            for (size_t k = 1; k < c.names.size(); ++k)
                EXPECT_EQ(tree[c.names[k]].inode, tree[c.names[0]].inode) << c.names[k];
            if (backups_ && c.Changes()) {
                // Of the original; or, where a kill cut an in-place copy, of what the run found.
                const bool cut = texts[i] != c.oldText && texts[i] != c.newText;
                int whole = 0;
                for (const std::string& n : c.handed) {
                    auto b = ReadFileBytes(
                        Path(FolderPart(n) + "Backup of " + n.substr(FolderPart(n).size())));
                    whole += b == c.oldText || (cut && b == texts[i]) ? 1 : 0;
                }
                EXPECT_GE(whole, 1) << "no backup of " << c.names[0];
            }
        }
        EXPECT_EQ(tree["f_link.c"].kind, TreeEntry::Link);
        for (const char* outside : {"tmp", "cwd"})
            EXPECT_TRUE(ListTree(base_.Join(outside)).empty()) << "written into " << outside;
        return seconds;
    }

    // Back to the first state: old contents where they changed, no backups.
    void Restore() {
        for (const Content& c : contents_) {
            if (c.Changes() && ReadFileBytes(Path(c.names[0])) != c.oldText) {
                ASSERT_TRUE(WriteFileBytes(Path(c.names[0]), c.oldText)) << c.names[0];
            }
        }
        for (const auto& [rel, entry] : ListTree(tree_)) {
            if (!pristine_.count(rel)) {
                ASSERT_EQ(::unlink(Path(rel).c_str()), 0) << rel;
            }
        }
    }

    void KillAtRandomMoments(bool backups) {
        WriteOptions(backups);
        std::vector<std::string> oldTexts;
        for (const Content& c : contents_)
            oldTexts.push_back(c.oldText);
        // Whole runs, timed: the kills fall anywhere within such a run.
        std::vector<double> runs;
        for (int i = 0; i < 3; ++i) {
            Restore();
            runs.push_back(RunToCompletionAndCheck(oldTexts));
        }
        std::sort(runs.begin(), runs.end());
        const double duration = runs[1];
        ASSERT_FALSE(HasFailure());

        std::random_device rd;
        const unsigned seed = rd();
        std::mt19937 rng(seed);
        std::uniform_real_distribution<double> delay(0, duration);
        Stats stats;
        for (int kill = 0; kill < kKillsPerTest && !HasFailure(); ++kill) {
            Restore();
            // The undo after the kill must find the killed run's journal or none, not an older one.
            ASSERT_EQ(std::system(("rm -rf '" + base_.Join("vol/state") + "'").c_str()), 0);
            const double at = delay(rng);
            SCOPED_TRACE("kill " + std::to_string(kill) + " at " + std::to_string(at) + " s of " +
                         std::to_string(duration) + " s, seed " + std::to_string(seed));
            pid_t pid = Start();
            struct timespec sleep = {time_t(at), long((at - double(time_t(at))) * 1e9)};
            ::nanosleep(&sleep, nullptr);
            ::kill(pid, SIGKILL);
            ChildOutcome outcome = WaitForChild(pid, 60);
            ++stats.kills;
            stats.killedMidRun += outcome.signal == SIGKILL ? 1 : 0;
            auto texts = CheckAfterKill(stats);
            RunToCompletionAndCheck(UndoAndCheck(texts));
        }
        std::printf(
            "[ kills ] %s, backups %s: %d kills (%d mid-run) over a %.3f s run; files found "
            "old %d, new %d, cut in-place copies %d; %d temporary files and %d backups "
            "left by kills\n",
            mount_->Mounted() ? "tmpfs" : "disk", backups ? "on" : "off", stats.kills,
            stats.killedMidRun, duration, stats.filesOld, stats.filesNew, stats.cutCopies,
            stats.leftoverTemps, stats.backupsSeen);
    }

    TempDir base_;
    std::unique_ptr<ScopedTmpfs> mount_;
    std::string tree_;
    bool backups_ = false;
    std::vector<Content> contents_;
    std::map<std::string, TreeEntry> pristine_;
};

TEST_F(FaultKilledRun, KilledAnywhereWithoutBackups) {
    KillAtRandomMoments(false);
}

TEST_F(FaultKilledRun, KilledAnywhereWithBackups) {
    KillAtRandomMoments(true);
}

// Regression: the new content of a file reached through a link is made beside the link's target;
// what a killed run left there stayed for good when no file of that folder was handed over.
TEST(FaultLeftovers, LeftoverBesideALinksTargetIsRemovedByTheNextRun) {
    TempDir dir;
    dir.Write("data/real.dat", "needle");
    dir.Write("data/.scrivox-AbC123.tmp", "half of a killed run's copy");
    dir.Write(".scrivox-XyZ789.tmp", "another");
    ASSERT_EQ(::symlink("data/real.dat", dir.Join("f_link.c").c_str()), 0);
    JobSettings job;
    job.folder = dir.Path();
    job.filter = kFilter;
    job.findText = kFind;
    job.replaceText = kReplace;
    RunCounts counts = RunJob(job, nullptr);
    EXPECT_EQ(counts.filesProcessed, 1);
    EXPECT_EQ(dir.Read("data/real.dat"), "PIN");
    EXPECT_FALSE(dir.Exists("data/.scrivox-AbC123.tmp"));
    EXPECT_FALSE(dir.Exists(".scrivox-XyZ789.tmp"));
}

// Regression: a file in a folder that takes no new file gets its new content in the temporary
// folder, which no walk passes through; what a killed run left waiting there stayed for good.
TEST(FaultLeftovers, LeftoverInTheTemporaryFolderIsRemovedByTheNextRunThatWaitsThere) {
    TempDir dir, tmp;
    std::optional<uid_t> uid;
    if (::geteuid() == 0) {
        uid = NobodyUid();
        if (!uid)
            GTEST_SKIP() << "no unprivileged user to run as";  // root writes into any folder
    }
    dir.Write("locked/f.c", "needle");
    tmp.Write(".scrivox-AbC123.tmp", "what a killed run left waiting");
    if (uid) {
        for (const std::string& d : {dir.Path(), tmp.Path()})
            ASSERT_EQ(std::system(("chown -R " + std::to_string(*uid) + " '" + d + "'").c_str()),
                      0);
    }
    ASSERT_EQ(::chmod(dir.Join("locked").c_str(), 0555), 0);
    JobSettings job;
    job.folder = dir.Path();
    job.filter = kFilter;
    job.findText = kFind;
    job.replaceText = kReplace;
    ::setenv("TMPDIR", tmp.Path().c_str(), 1);
    auto counts = RunJobInChild(job, 60, uid);
    ::unsetenv("TMPDIR");
    ASSERT_TRUE(counts);
    EXPECT_EQ(counts->filesProcessed, 1);
    EXPECT_EQ(dir.Read("locked/f.c"), "PIN");
    EXPECT_TRUE(ListTree(tmp.Path()).empty());
}

}  // namespace
