#include "engine/Run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>

#include "framework/win32/WidePath.h"
#endif

#include "engine/FileProcessorBase.h"
#include "engine/RunObserver.h"
#include "framework/PathSyntax.h"
#include "tests/support/FindJob.h"
#include "tests/support/ReferenceScanner.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;

namespace {

class RecordingOwner final : public ReportOwner {
public:
    void ShowMessage(const std::string& text, const std::string& caption) override {
        messages.push_back({text, caption});
    }
    std::vector<std::pair<std::string, std::string>> messages;
};

// Each file a run changed, with its count.
class ChangeRecorder final : public RunObserver {
public:
    void FileChanged(const std::string& path, uint64_t replacements) override {
        files.push_back(path + ":" + std::to_string(replacements));
    }
    std::vector<std::string> files;
};

struct TreeFile {
    enum Kind { Plain, Hidden, ReadOnly };
    std::string rel;  // "/" separated
    std::string content;
    Kind kind = Plain;
};

const char kFind[] = "Tok";
// Holds the find text, so a file handed over twice would change again on a second pass.
const char kReplace[] = "<tok>";

std::string RandomContent(std::mt19937& rng) {
    using namespace std::string_literals;
    // The pieces without the token come first: most files hold none, as in a real tree, which
    // also keeps the number of rewritten files (the slow part) down.
    static const std::string pieces[] = {
        "To",    "ok",   "T ok",  "other", "words",  "\xE4\xC4",    "Tok",      "tok",
        "TOK",   "tOk",  "xTok",  "Tokx",  "Tok_",   "_Tok",        "Tok9",     "9Tok",
        "a.Tok", "Tok.", "(Tok)", "TTok",  "TokTok", "\xE4Tok\xC4", "\0Tok\0"s,
    };
    const size_t choices = rng() % 3 ? 6 : std::size(pieces);
    static const char* const separators[] = {" ", " ", "\n", "\r\n", "\t", ".", ",", ""};
    std::string s;
    if (rng() % 10 == 0)
        return s;
    if (rng() % 20 == 0)
        s.push_back('\0');
    for (int n = static_cast<int>(rng() % 30); n >= 0; --n) {
        s += pieces[rng() % choices];
        if (n > 0 || rng() % 3 == 0)  // often no line end after the last line
            s += separators[rng() % std::size(separators)];
    }
    return s;
}

// About 2,000 files in nested folders: files for the filters, files that match no filter, names
// that two filters match, hidden and read-only ones, a folder named like a file.
std::vector<TreeFile> MakeTree() {
    std::mt19937 rng(4242);
    std::vector<std::string> folders = {""};
    for (size_t i = 0; i < folders.size() && folders.size() < 40; ++i) {
        const size_t depth = std::count(folders[i].begin(), folders[i].end(), '/');
        if (depth >= 4)
            continue;
        for (int k = 2 + static_cast<int>(rng() % 2); k > 0; --k)
            folders.push_back(folders[i] + "d" + std::to_string(folders.size()) + "/");
    }
    folders.push_back("d1/fx5.txt/");  // entered, never handed over itself

    static const char* const extensions[] = {".txt", ".c", ".h", ".dat", ".TXT", ".C", ""};
    std::vector<TreeFile> files;
    int index = 0;
    for (const std::string& folder : folders) {
        for (int n = 30 + static_cast<int>(rng() % 40); n > 0; --n, ++index) {
            TreeFile f;
            const std::string number = std::to_string(index);
            const unsigned pick = rng() % 100;
            if (pick < 70) {
                f.rel = (rng() % 10 ? "f" : "F") + number;
                f.rel += extensions[rng() % std::size(extensions)];
            } else if (pick < 85) {
                f.rel = "n" + number + extensions[rng() % std::size(extensions)];
            } else if (pick < 92) {
                f.rel = ".f" + number + ".txt";
                f.kind = TreeFile::Hidden;
            } else {
                f.rel = "f" + number + (pick % 2 ? ".txt" : ".c");
                f.kind = TreeFile::ReadOnly;
            }
            f.rel = folder + f.rel;
            f.content = RandomContent(rng);
            files.push_back(f);
        }
    }
    return files;
}

void WriteTree(const TempDir& dir, const std::vector<TreeFile>& files) {
    for (const TreeFile& f : files) {
        dir.Write(f.rel, f.content);
        const std::string path = dir.Join(f.rel);
        if (f.kind == TreeFile::ReadOnly)
            fs::permissions(
                path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                fs::perm_options::remove);
#ifdef _WIN32
        if (f.kind == TreeFile::Hidden) {
            ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_HIDDEN));
        }
#endif
    }
}

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// Runs with backups take only names beginning with f, so that no backup made during the walk
// ("Backup of ...") can be found by a later search and the outcome does not depend on the
// directory's order. Runs without backups create no file in the tree and take any name.
const char kFilterAny[] = "*.txt;*.c;f*5.*";
const char kFilterF[] = "f*.txt;f*.c;f*5.*";

// How many of the filters above match the file (the walk hands it over once if any does).
int FiltersMatching(const TreeFile& f, bool onlyF) {
    if (f.kind != TreeFile::Plain)
        return 0;
    const std::string name = Lower(f.rel.substr(f.rel.rfind('/') + 1));
    const bool f0 = name[0] == 'f';
    const std::string stem = name.substr(0, name.find('.'));
    return ((f0 || !onlyF) && EndsWith(name, ".txt")) + ((f0 || !onlyF) && EndsWith(name, ".c")) +
           (f0 && stem.back() == '5');
}

std::string BackupRel(const std::string& rel) {
    const size_t slash = rel.rfind('/') + 1;
    return rel.substr(0, slash) + "Backup of " + rel.substr(slash);
}

std::set<std::string> FilesIn(const std::string& root) {
    std::set<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        if (!e.is_regular_file())
            continue;
        std::string rel = e.path().string().substr(root.size() + 1);
        std::replace(rel.begin(), rel.end(), kPathSeparator, '/');
        names.insert(rel);
    }
    return names;
}

JobSettings Job(const std::string& folder,
                const std::string& filter,
                bool caseSensitive,
                bool wholeWords,
                bool createBackups) {
    JobSettings job = FindJob(kFind, kReplace, caseSensitive, wholeWords, createBackups);
    job.folder = folder;
    job.filter = filter;
    job.binaryFiles = true;  // the content holds NUL bytes: scanned all the same
    return job;
}

TEST(FindRun, TreeMatchesReferenceForEveryOptionCombination) {
    const std::vector<TreeFile> tree = MakeTree();
    ASSERT_GT(tree.size(), 1800u);
    ASSERT_LT(tree.size(), 3200u);

    // One tree, put back as it was after each run: making files is what a run of this test
    // spends its time on, and rewriting the changed ones is much cheaper.
    TempDir dir;
    WriteTree(dir, tree);
    std::map<std::string, const TreeFile*> original;
    for (const TreeFile& f : tree)
        original[f.rel] = &f;

    for (int options = 0; options < 8; ++options) {
        const bool caseSensitive = options & 1, wholeWords = options & 2, backups = options & 4;
        SCOPED_TRACE(std::string("caseSensitive ") + (caseSensitive ? "on" : "off") +
                     ", wholeWords " + (wholeWords ? "on" : "off") + ", backups " +
                     (backups ? "on" : "off"));

        RunCounts expected;
        std::map<std::string, std::string> expectedFiles;
        int matchedTwiceAndChanged = 0;
        for (const TreeFile& f : tree) {
            const int filters = FiltersMatching(f, backups);
            expectedFiles[f.rel] = f.content;
            if (filters == 0)
                continue;
            ReferenceResult r =
                ReferenceReplace(f.content, kFind, kReplace, caseSensitive, wholeWords);
            expected.filesProcessed += 1;
            expected.replacementsMade += r.replacements;
            if (r.replacements == 0)
                continue;
            expectedFiles[f.rel] = r.output;
            if (backups)
                expectedFiles[BackupRel(f.rel)] = f.content;
            matchedTwiceAndChanged += filters > 1;
        }
        // The tree exercises what it is meant to: files that two filters find are changed once.
        ASSERT_GT(expected.replacementsMade, 500);
        ASSERT_GT(matchedTwiceAndChanged, 10);

        // A preview of the same run writes nothing and tells the same counts and files.
        JobSettings job =
            Job(dir.Path(), backups ? kFilterF : kFilterAny, caseSensitive, wholeWords, backups);
        ChangeRecorder previewed, changed;
        job.mode = RunMode::Preview;
        const RunCounts preview = RunJob(job, nullptr, &previewed);
        ASSERT_EQ(FilesIn(dir.Path()).size(), tree.size()) << "the preview made files";
        job.mode = RunMode::Run;
        RunCounts got = RunJob(job, nullptr, &changed);
        EXPECT_EQ(got.filesProcessed, expected.filesProcessed);
        EXPECT_EQ(got.replacementsMade, expected.replacementsMade);
        EXPECT_EQ(preview.filesProcessed, got.filesProcessed);
        EXPECT_EQ(preview.replacementsMade, got.replacementsMade);
        EXPECT_EQ(preview.filesChanged, got.filesChanged);
        std::sort(previewed.files.begin(), previewed.files.end());
        std::sort(changed.files.begin(), changed.files.end());
        EXPECT_EQ(previewed.files, changed.files);

        // Exactly the expected files, no stray backup, each with the expected content. Then
        // the tree is put back: what the run made goes, what it changed gets its old content.
        int reported = 0;
        auto report = [&](const std::string& what) {
            if (reported++ < 10)
                ADD_FAILURE() << what;
        };
        std::set<std::string> present = FilesIn(dir.Path());
        for (const auto& entry : expectedFiles)
            if (!present.count(entry.first))
                report("missing " + entry.first);
        for (const std::string& rel : present) {
            const std::string actual = dir.Read(rel);
            auto want = expectedFiles.find(rel);
            if (want == expectedFiles.end())
                report("unexpected file " + rel);
            else if (actual != want->second)
                report("content of " + rel + "\nexpected \"" + want->second + "\"\ngot      \"" +
                       actual + "\"");
            auto it = original.find(rel);
            if (it == original.end())
                fs::remove(dir.Join(rel));
            else if (actual != it->second->content)
                dir.Write(rel, it->second->content);
        }
        EXPECT_EQ(reported, 0) << "differences in total";
    }
}

TEST(FindRun, RunsAreIndependentAndReportThroughTheOwner) {
    TempDir dir;
    dir.Write("a.txt", "Tok Tok");
    dir.Write("sub/b.txt", "tok");
    dir.Write("sub/c.txt", "none");
    RecordingOwner owner;

    RunCounts first = RunJob(Job(dir.Path(), "*.txt", false, true, false), &owner);
    EXPECT_EQ(first.filesProcessed, 3);
    EXPECT_EQ(first.replacementsMade, 3);
    ASSERT_EQ(owner.messages.size(), 1u);
    EXPECT_EQ(owner.messages[0].first, "3 files processed.\n3 replacements made.");
    EXPECT_EQ(owner.messages[0].second, "Replace");

    // The second run starts from zero; "<tok>" is found once in each changed file.
    RunCounts second = RunJob(Job(dir.Path(), "*.txt", true, true, false), &owner);
    EXPECT_EQ(second.filesProcessed, 3);
    EXPECT_EQ(second.replacementsMade, 0);
    ASSERT_EQ(owner.messages.size(), 2u);
    EXPECT_EQ(owner.messages[1].first, "3 files processed.\nNo replacements made.");

    // Without an owner nothing is shown, and the counts still come back.
    RunCounts third = RunJob(Job(dir.Path(), "a.txt", false, false, false), nullptr);
    EXPECT_EQ(third.filesProcessed, 1);
    EXPECT_EQ(third.replacementsMade, 2);
    EXPECT_EQ(owner.messages.size(), 2u);
    EXPECT_EQ(dir.Read("a.txt"), "<<tok>> <<tok>>");
}

TEST(FindRun, TrailingSeparatorVisitsTheSameFiles) {
    for (bool trailing : {false, true}) {
        TempDir dir;
        dir.Write("a.c", "Tok");
        dir.Write("x/y/b.c", "Tok Tok");
        dir.Write("x/y/b.h", "Tok");
        const std::string folder = dir.Path() + (trailing ? std::string(1, kPathSeparator) : "");
        RunCounts got = RunJob(Job(folder, "*.c", true, false, true), nullptr);
        EXPECT_EQ(got.filesProcessed, 2) << "trailing " << trailing;
        EXPECT_EQ(got.replacementsMade, 3) << "trailing " << trailing;
        EXPECT_EQ(dir.Read("x/y/b.c"), "<tok> <tok>");
        EXPECT_EQ(dir.Read("x/y/Backup of b.c"), "Tok Tok");
        EXPECT_EQ(dir.Read("x/y/b.h"), "Tok");
    }
}

TEST(FindRun, MissingFolderIsAnEmptyRun) {
    TempDir dir;
    RecordingOwner owner;
    RunCounts got = RunJob(Job(dir.Join("no such folder"), "*.*", false, false, false), &owner);
    EXPECT_EQ(got.filesProcessed, 0);
    EXPECT_EQ(got.replacementsMade, 0);
    ASSERT_EQ(owner.messages.size(), 1u);
    EXPECT_EQ(owner.messages[0].first, "No files processed.\nNo replacements made.");
    EXPECT_EQ(owner.messages[0].second, "Replace");
}

}  // namespace

namespace {

// Regression: a backup matches the same filters as its file, and a later run rewrote it (and
// backed it up in turn), so that it no longer held the original.
TEST(FindRun, BackupsAreNeverRewrittenByLaterRuns) {
    TempDir dir;
    dir.Write("b.txt", "Tok b");
    RunJob(Job(dir.Path(), "b.txt", true, true, true), nullptr);
    ASSERT_EQ(dir.Read("Backup of b.txt"), "Tok b");
    RunCounts later = RunJob(Job(dir.Path(), "*.txt", true, true, true), nullptr);
    EXPECT_EQ(later.filesProcessed, 1);
    EXPECT_EQ(later.replacementsMade, 0);
    EXPECT_EQ(dir.Read("Backup of b.txt"), "Tok b");
    EXPECT_FALSE(dir.Exists("Backup of Backup of b.txt"));
    JobSettings touch = Job(dir.Path(), "*.txt", true, true, true);
    touch.action = Action::Touch;
    touch.touchTime = TimeFromUnix(1600000000, 0);        // Windows takes no time before 1601
    EXPECT_EQ(RunJob(touch, nullptr).filesProcessed, 2);  // Touch takes backups too
}

}  // namespace

namespace {

// Regression: a file replaced under its own name can come back in the same directory search;
// a replace text that holds the find text would then be replaced again, and the backup would
// lose the original.
TEST(FindRun, FileReplacedDuringItsSearchIsHandledOnce) {
    TempDir dir;
    for (int i = 0; i < 40; ++i)
        dir.Write("f" + std::to_string(i) + ".txt", "tok");
    JobSettings job = Job(dir.Path(), "*.txt", false, true, true);
    job.replaceText = "TOK";  // still a match, case ignored
    RunCounts got = RunJob(job, nullptr);
    EXPECT_EQ(got.filesProcessed, 40);
    EXPECT_EQ(got.replacementsMade, 40);
    for (int i = 0; i < 40; ++i)
        EXPECT_EQ(dir.Read("Backup of f" + std::to_string(i) + ".txt"), "tok");
}

}  // namespace

namespace {

TEST(FindRun, NamesOfAnyScriptAreFoundReplacedAndBackedUp) {
    TempDir dir;
    const std::string folder =
        "\xC3\x9Cn\xC3\xAF-\xE6\x96\x87\xE4\xBB\xB6\xE5\xA4\xB9";  // Ünï-文件夹
    const std::string name = "na\xC3\xAFve-\xE3\x83\x95\xE3\x82\xA1\xE3\x82\xA4\xE3\x83\xAB.txt";
    dir.Write(folder + "/" + name, "Tok");
    RunCounts got = RunJob(Job(dir.Path(), "*.txt", true, true, true), nullptr);
    EXPECT_EQ(got.filesProcessed, 1);
    EXPECT_EQ(got.replacementsMade, 1);
    EXPECT_EQ(dir.Read(folder + "/" + name), "<tok>");
    EXPECT_EQ(dir.Read(folder + "/Backup of " + name), "Tok");
}

#ifdef _WIN32
// Names that Windows' path parsing would change (a trailing dot or blank is dropped, "nul.c" is
// a device) are files like any other when listed: each is read, replaced and backed up as
// itself, never as the name the parsing makes of it.
TEST(FindRun, NamesThatPathParsingWouldChangeAreTakenLiterally) {
    TempDir dir;
    const std::string names[] = {"a.c", "a.c.", "a.c ", "nul.c"};
    // The test's folder is removed by path, which these names defeat: they go first.
    struct Remover {
        std::vector<std::wstring> paths;
        ~Remover() {
            for (const std::wstring& path : paths)
                DeleteFileW(path.c_str());
        }
    } remover;
    for (const std::string& name : names) {
        const std::wstring path = L"\\\\?\\" + WidePath(dir.Join(name));
        remover.paths.push_back(path);
        remover.paths.push_back(L"\\\\?\\" + WidePath(dir.Join("Backup of " + name)));
        HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            GTEST_SKIP() << "the file system takes no name \"" << name << "\"";
        const std::string content = "Tok " + name;
        DWORD written = 0;
        WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
        CloseHandle(h);
    }
    RunCounts got = RunJob(Job(dir.Path(), "a.c*;nul.c", true, true, true), nullptr);
    EXPECT_EQ(got.filesProcessed, 4);
    EXPECT_EQ(got.replacementsMade, 4);
    for (const std::string& name : names) {
        const std::string path = "\\\\?\\" + dir.Join(name);
        EXPECT_EQ(ReadWholeFile(path), "<tok> " + name) << name;
        EXPECT_EQ(ReadWholeFile("\\\\?\\" + dir.Join("Backup of " + name)), "Tok " + name) << name;
    }
}
#endif

}  // namespace
