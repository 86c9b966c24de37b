// Times a Find run over a folder tree against the plain read of the same files.
//
//   find_bench TREE [--filter F] [--repeat N] [--token T] [--replace R] [--absent A]
//              [--case] [--whole] [--scratch DIR] [--state DIR] [--no-journal]
//              [--expect N] [--expect-whole N] [--only SCENARIO]
//
// Scenarios, each repeated N times after one untimed read of the tree to warm the page cache:
//   walk      the folder walk alone, handing each file to a processor that only counts it
//   read      every file the walk hands over, read in the scanner's block size: the read bound
//   none      a Find run for a text that occurs nowhere, over TREE itself (nothing is written)
//   match     a Find run for the token (case and whole words as given), over a fresh copy of
//             TREE in DIR made (and synced) before each timed run
//   whole     a Find run for the token, caseless and whole words only, over another fresh copy
//   preview   the match run as a preview, over TREE itself: the same walk and scan, nothing
//             written; it must count what the match run changed
//   touch     a Touch run over the whole run's copy, right after it
// The runs that change files keep a journal, as the program does, in the state folder DIR
// (default: the scratch folder's path with ".state"), emptied before each; --no-journal runs
// them without, which shows what the journal costs.
//
// --only SCENARIO runs that scenario once over TREE itself, without the warming read or a copy
// (match, whole and touch change TREE), and prints its counts: for counting its system calls.
// Prints a Markdown table; MB are 10^6 bytes of the files the walk handed over.

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/BlockScanner.h"
#include "engine/FileProcessorBase.h"
#include "engine/FileRecurser.h"
#include "engine/Run.h"
#include "engine/RunJournal.h"
#include "framework/TFile.h"
#include "framework/TFileName.h"
#include "framework/TTime.h"

namespace fs = std::filesystem;

namespace {

// Reads each file it is handed and nothing else, so it sees exactly the Find run's file set.
// Without reading it only counts, which leaves the cost of the walk itself.
class ReadOnlyProcessor final : public FileProcessorBase {
public:
    explicit ReadOnlyProcessor(bool read) : read_(read) {}

    bool ProcessFile(const TFileName& file) override {
        if (!read_) {
            ++Files;
            return true;
        }
        TFile in;
        if (!in.OpenRead(file.FullPath()))
            return false;
        long long n;
        while ((n = in.Read(buffer_.get(), kBlock)) > 0)
            Bytes += static_cast<uint64_t>(n);
        (void)in.Close();
        if (n < 0)
            return false;
        ++Files;
        return true;
    }
    void ShowResult(ReportOwner&) override {}

    uint64_t Files = 0;
    uint64_t Bytes = 0;

private:
    static constexpr size_t kBlock = BlockScanner::kDefaultBlockSize;
    const bool read_;
    std::unique_ptr<char[]> buffer_{new char[kBlock]};
};

struct Outcome {
    uint64_t files = 0;
    uint64_t replacements = 0;
    uint64_t failures = 0;
};

struct Row {
    std::string name;
    Outcome outcome;
    std::vector<double> seconds;
};

double Seconds(const std::function<void()>& work) {
    auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

Outcome ReadTree(const std::string& tree, const std::string& filter, bool read,
                 uint64_t* bytes = nullptr) {
    ReadOnlyProcessor reader(read);
    FileRecurser(tree, filter, true, &reader).Recurse();
    if (bytes)
        *bytes = reader.Bytes;
    return {reader.Files, 0, 0};
}

// The journal's folder, for this process and the runs it makes: the program's own variable on
// each system.
void UseStateFolder(const std::string& folder) {
    const std::string path = fs::absolute(folder).string();
#ifdef _WIN32
    ::SetEnvironmentVariableA("LOCALAPPDATA", path.c_str());
#else
    ::setenv("XDG_STATE_HOME", path.c_str(), 1);
#endif
}

// A run as the program makes it: with a journal begun before it, unless there is none to keep.
Outcome Run(const JobSettings& job, bool journaled) {
    RunCounts c;
    if (journaled && job.mode == RunMode::Run) {
        RunJournal journal;
        if (!journal.Begin(job)) {
            std::fprintf(stderr, "no journal: %s\n", journal.Shortfall().c_str());
            std::exit(1);
        }
        c = RunJob(job, nullptr, nullptr, &journal);
    } else {
        c = RunJob(job, nullptr);
    }
    return {uint64_t(c.filesProcessed), uint64_t(c.replacementsMade), uint64_t(c.failures)};
}

void CopyTree(const std::string& from, const std::string& to) {
    fs::remove_all(to);
    fs::copy(from, to, fs::copy_options::recursive);
#ifndef _WIN32
    ::sync();  // the copy's writeback must not land inside the timed run
#endif
}

[[noreturn]] void Usage() {
    std::fprintf(stderr,
                 "usage: find_bench TREE [--filter F] [--repeat N] [--token T] [--replace R]\n"
                 "                  [--absent A] [--case] [--whole] [--scratch DIR] [--state DIR]\n"
                 "                  [--no-journal] [--expect N] [--expect-whole N]\n"
                 "                  [--only walk|read|none|match|whole|preview|touch]\n");
    std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        Usage();
    std::string tree = argv[1];
    std::string filter = "*.c;*.h;*.cpp;*.txt";
    std::string token = "scrivox_token", replacement = "renamed_token", absent = "scrivox_absent";
    std::string scratch, state, only;
    int repeat = 5;
    long long expect = -1, expectWhole = -1;
    bool caseSensitive = false, wholeWords = false, journaled = true;
    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                Usage();
            return argv[++i];
        };
        if (arg == "--filter") filter = value();
        else if (arg == "--repeat") repeat = std::max(1, std::atoi(value().c_str()));
        else if (arg == "--token") token = value();
        else if (arg == "--replace") replacement = value();
        else if (arg == "--absent") absent = value();
        else if (arg == "--scratch") scratch = value();
        else if (arg == "--state") state = value();
        else if (arg == "--only") only = value();
        else if (arg == "--expect") expect = std::atoll(value().c_str());
        else if (arg == "--expect-whole") expectWhole = std::atoll(value().c_str());
        else if (arg == "--case") caseSensitive = true;
        else if (arg == "--whole") wholeWords = true;
        else if (arg == "--no-journal") journaled = false;
        else Usage();
    }
    while (tree.size() > 1 && tree.back() == '/')
        tree.pop_back();
    if (!fs::is_directory(tree))
        Usage();
    if (scratch.empty())
        scratch = tree + ".work";
    if (state.empty())
        state = scratch + ".state";
    UseStateFolder(state);

    JobSettings job;
    job.folder = tree;
    job.filter = filter;
    job.caseSensitive = caseSensitive;
    job.wholeWords = wholeWords;
    job.binaryFiles = true;  // as the other tools do, and as the tree's counts expect
    JobSettings none = job, match = job, whole = job, preview = job, touch = job;
    none.findText = absent;
    none.replaceText = "unused";
    match.findText = whole.findText = preview.findText = token;
    match.replaceText = whole.replaceText = preview.replaceText = replacement;
    whole.caseSensitive = false;
    whole.wholeWords = true;
    preview.mode = RunMode::Preview;
    touch.action = Action::Touch;
    touch.touchTime = TimeFromUnix(1700000000, 0);

    if (!only.empty()) {
        const JobSettings* chosen = only == "none"      ? &none
                                    : only == "match"   ? &match
                                    : only == "whole"   ? &whole
                                    : only == "preview" ? &preview
                                    : only == "touch"   ? &touch
                                                        : nullptr;
        fs::remove_all(state);
        Outcome o;
        if (only == "walk" || only == "read")
            o = ReadTree(tree, filter, only == "read");
        else if (chosen)
            o = Run(*chosen, journaled);
        else
            Usage();
        std::printf("%s: %llu files, %llu replacements, %llu failures\n", only.c_str(),
                    (unsigned long long)o.files, (unsigned long long)o.replacements,
                    (unsigned long long)o.failures);
        return o.failures == 0 ? 0 : 1;
    }

    uint64_t bytes = 0;
    Outcome warm = ReadTree(tree, filter, true, &bytes);  // warms the page cache, sizes the file set

    const char* kept = journaled ? ", journal" : "";
    Row walkRow{"walk only", warm, {}};
    Row readRow{"read (bound)", warm, {}};
    Row noneRow{"find, no match", {}, {}};
    Row matchRow{std::string("find, with matches") + kept, {}, {}};
    Row wholeRow{std::string("replace, whole words caseless") + kept, {}, {}};
    Row previewRow{"preview, with matches", {}, {}};
    Row touchRow{std::string("touch") + kept, {}, {}};
    // A timed run of `job`; a run that changes files starts from an empty state folder, so
    // that each pays the same for its journal.
    auto timed = [&](Row& row, const JobSettings& j) {
        fs::remove_all(state);
        row.seconds.push_back(Seconds([&] { row.outcome = Run(j, journaled); }));
    };
    for (int r = 0; r < repeat; ++r) {
        walkRow.seconds.push_back(Seconds([&] { walkRow.outcome = ReadTree(tree, filter, false); }));
        readRow.seconds.push_back(Seconds([&] { readRow.outcome = ReadTree(tree, filter, true); }));
        timed(noneRow, none);
        timed(previewRow, preview);

        CopyTree(tree, scratch);
        match.folder = scratch;
        timed(matchRow, match);

        CopyTree(tree, scratch);
        whole.folder = touch.folder = scratch;
        timed(wholeRow, whole);
        timed(touchRow, touch);
    }
    fs::remove_all(scratch);
    fs::remove_all(state);

    const std::vector<const Row*> rows = {&walkRow,  &readRow,    &noneRow, &matchRow,
                                          &wholeRow, &previewRow, &touchRow};
    // A benchmark of a run that skipped files or found nothing would measure the wrong thing.
    bool ok = true;
    for (const Row* row : rows)
        if (row->outcome.files != warm.files || row->outcome.failures != 0) {
            std::fprintf(stderr, "%s: %llu files (%llu failed), the walk has %llu\n",
                         row->name.c_str(), (unsigned long long)row->outcome.files,
                         (unsigned long long)row->outcome.failures,
                         (unsigned long long)warm.files);
            ok = false;
        }
    if (noneRow.outcome.replacements != 0) {
        std::fprintf(stderr, "\"%s\" was found in the tree\n", absent.c_str());
        ok = false;
    }
    auto expected = [&](const Row& row, long long want) {
        const uint64_t got = row.outcome.replacements;
        if (want >= 0 ? got == uint64_t(want) : got != 0)
            return;
        std::fprintf(stderr, "%s: %llu replacements of \"%s\", expected %lld\n", row.name.c_str(),
                     (unsigned long long)got, token.c_str(), want);
        ok = false;
    };
    expected(matchRow, expect);
    expected(wholeRow, expectWhole);
    expected(previewRow, static_cast<long long>(matchRow.outcome.replacements));

    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        size_t n = v.size();
        return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    };
    const double mb = double(bytes) / 1e6;
    const double bound = median(readRow.seconds);
    std::printf("%llu files, %.1f MB; filter \"%s\"; %d runs each; case %s, whole words %s;\n"
                "no match: \"%s\"; with matches: \"%s\" -> \"%s\"; journal %s\n\n",
                (unsigned long long)warm.files, mb, filter.c_str(), repeat,
                caseSensitive ? "sensitive" : "insensitive", wholeWords ? "on" : "off",
                absent.c_str(), token.c_str(), replacement.c_str(),
                journaled ? "kept for the runs that change files" : "none");
    std::printf("| Scenario | Replacements | Median s | Min s | Max s | Spread | MB/s | Time vs read |\n");
    std::printf("|---|---:|---:|---:|---:|---:|---:|---:|\n");
    for (const Row* row : rows) {
        double med = median(row->seconds);
        auto [lo, hi] = std::minmax_element(row->seconds.begin(), row->seconds.end());
        std::printf("| %s | %llu | %.3f | %.3f | %.3f | %.0f%% | %.0f | %.2fx |\n", row->name.c_str(),
                    (unsigned long long)row->outcome.replacements, med, *lo, *hi,
                    100 * (*hi - *lo) / med, mb / med, med / bound);
    }
    return ok ? 0 : 1;
}
