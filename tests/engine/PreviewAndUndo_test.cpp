// On random trees of the kinds of files people keep (text with CRLF, binary, UTF-16, empty,
// hidden, of two names), for every option combination and for Touch: a preview counts and names
// exactly what the run then changes, and the run's undo gives every byte and time back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "engine/Run.h"
#include "engine/RunHistory.h"
#include "engine/RunJournal.h"
#include "engine/RunObserver.h"
#include "framework/FileIdentity.h"
#include "framework/FileTimes.h"
#include "tests/support/TempDir.h"

namespace {

class Names final : public RunObserver {
public:
    void FileChanged(const std::string& path, uint64_t replacements) override {
        files.push_back(path + ":" + std::to_string(replacements));
    }
    std::vector<std::string> files;
};

// Every file's content and last-write time under the folder, by relative path.
struct Snapshot {
    std::map<std::string, std::pair<std::string, int64_t>> files;
    bool operator==(const Snapshot& other) const { return files == other.files; }
};

void Take(const TempDir& dir, const std::vector<std::string>& names, Snapshot& s) {
    s.files.clear();
    for (const std::string& n : names) {
        FileStamp stamp;
        if (GetFileStamp(dir.Join(n), stamp))
            s.files[n] = {dir.Read(n), stamp.lastWrite};
    }
}

std::vector<std::string> MakeTree(const TempDir& dir, unsigned seed) {
    std::mt19937 rng(seed);
    const char* pieces[] = {"cat ", "Cat", "cats\r\n", "CAT\n", "concat ", "dog ", "\n", "c a t"};
    std::vector<std::string> names;
    for (int i = 0; i < 60; ++i) {
        std::string text;
        for (int k = rng() % 30; k > 0; --k)
            text += pieces[rng() % std::size(pieces)];
        const std::string folder = std::string(i % 3 ? "" : "sub/") + (i % 7 ? "" : "deep/");
        std::string name = folder + "f" + std::to_string(i) + ".txt";
        switch (i % 6) {
            case 1:  // binary: a NUL among the text
                text.insert(text.size() / 2, std::string("\0\1", 2));
                break;
            case 2: {  // UTF-16 LE with its mark
                std::string wide = "\xFF\xFE";
                for (char c : text)
                    wide += std::string{c, '\0'};
                text = wide;
                break;
            }
            case 3:
                name = folder + ".hidden" + std::to_string(i) + ".txt";
                break;
            default:
                break;
        }
        dir.Write(name, text);
        names.push_back(name);
    }
#ifdef _WIN32
    EXPECT_TRUE(CreateHardLinkA(dir.Join("second.txt").c_str(), dir.Join(names[0]).c_str(),
                                nullptr));
#else
    EXPECT_EQ(::link(dir.Join(names[0]).c_str(), dir.Join("second.txt").c_str()), 0);
#endif
    names.push_back("second.txt");
    // Old times, so that a time put back wrongly shows.
    for (const std::string& n : names) {
        const TTime old = TimeFromUnix(1234567890 + static_cast<int>(rng() % 1000), 0);
        EXPECT_TRUE(SetLastWriteTime(dir.Join(n), old));
    }
    return names;
}

class PreviewAndUndo : public ::testing::Test {
protected:
    PreviewAndUndo() {
#ifdef _WIN32
        ::SetEnvironmentVariableA("LOCALAPPDATA", state_.Path().c_str());
#else
        ::setenv("XDG_STATE_HOME", state_.Path().c_str(), 1);
#endif
    }
    TempDir state_;
};

TEST_F(PreviewAndUndo, EveryOptionCombinationAndTouchOnRandomTrees) {
    // A tree of its own for each: the runs undone leave it as it was, so one tree would do, but
    // more trees find more.
    for (int options = 0; options < 17; ++options) {
        const unsigned seed = 1000 + static_cast<unsigned>(options);
        TempDir dir;
        const std::vector<std::string> names = MakeTree(dir, seed);
        Snapshot before, after;
        Take(dir, names, before);
        {
            JobSettings job;
            job.folder = dir.Path();
            job.filter = "*.txt";
            job.findText = "cat";
            job.replaceText = options & 8 ? "" : "feline";
            job.caseSensitive = options & 1;
            job.wholeWords = options & 2;
            job.binaryFiles = options & 4;
            job.keepDates = options & 8;
            job.createBackups = options == 5;
            job.subfolders = options != 6;
            if (options == 16) {
                job.action = Action::Touch;
                job.touchTime = TimeFromUnix(1700000000, 0);
            }
            SCOPED_TRACE("seed " + std::to_string(seed) + ", options " + std::to_string(options));

            Names previewed, changed;
            job.mode = RunMode::Preview;
            const RunCounts preview = RunJob(job, nullptr, &previewed);
            Take(dir, names, after);
            ASSERT_TRUE(after == before) << "the preview wrote";

            job.mode = RunMode::Run;
            RunJournal journal;
            ASSERT_TRUE(journal.Begin(job)) << journal.Shortfall();
            const RunCounts run = RunJob(job, nullptr, &changed, &journal);
            EXPECT_EQ(preview.filesProcessed, run.filesProcessed);
            EXPECT_EQ(preview.replacementsMade, run.replacementsMade);
            EXPECT_EQ(preview.filesChanged, run.filesChanged);
            EXPECT_EQ(preview.binaryLeftAlone, run.binaryLeftAlone);
            std::sort(previewed.files.begin(), previewed.files.end());
            std::sort(changed.files.begin(), changed.files.end());
            EXPECT_EQ(previewed.files, changed.files);
            ASSERT_GT(run.filesChanged, 0);

            const UndoOutcome undo = UndoRun(journal.Id(), false, nullptr);
            ASSERT_FALSE(undo.refusal) << *undo.refusal;
            EXPECT_EQ(undo.restored, run.filesChanged);
            Take(dir, names, after);
            EXPECT_TRUE(after == before) << "the undo left a difference";
            if (job.createBackups) {  // backups are the user's to keep; the undo leaves them
                for (const std::string& n : names) {
                    const size_t slash = n.rfind('/') + 1;  // 0 without one
                    std::remove(dir.Join(n.substr(0, slash) + "Backup of " + n.substr(slash)).c_str());
                }
            }
        }
    }
}

}  // namespace
