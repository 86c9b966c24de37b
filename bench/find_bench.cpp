// Times a Find run over a folder tree against the plain read of the same files.
//
//   find_bench TREE [--filter F] [--repeat N] [--token T] [--replace R] [--absent A]
//              [--case] [--whole] [--scratch DIR] [--expect N]
//
// Scenarios, each repeated N times after one untimed read of the tree to warm the page cache:
//   walk      the folder walk alone, handing each file to a processor that only counts it
//   read      every file the walk hands over, read in the scanner's block size: the read bound
//   no match  a Find run for a text that occurs nowhere, over TREE itself (nothing is written)
//   match     a Find run for the token, over a fresh copy of TREE in DIR made (and synced)
//             before each timed run
//   touch     a Touch run over that copy, right after the Find run
// Prints a Markdown table; MB are 10^6 bytes of the files the walk handed over.

#ifndef _WIN32
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
    return {reader.Files, 0};
}

[[noreturn]] void Usage() {
    std::fprintf(stderr,
                 "usage: find_bench TREE [--filter F] [--repeat N] [--token T] [--replace R]\n"
                 "                  [--absent A] [--case] [--whole] [--scratch DIR] [--expect N]\n");
    std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        Usage();
    std::string tree = argv[1];
    std::string filter = "*.c;*.h;*.cpp;*.txt";
    std::string token = "scrivox_token", replacement = "renamed_token", absent = "scrivox_absent";
    std::string scratch;
    int repeat = 5;
    long long expect = -1;
    bool caseSensitive = false, wholeWords = false;
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
        else if (arg == "--expect") expect = std::atoll(value().c_str());
        else if (arg == "--case") caseSensitive = true;
        else if (arg == "--whole") wholeWords = true;
        else Usage();
    }
    while (tree.size() > 1 && tree.back() == '/')
        tree.pop_back();
    if (!fs::is_directory(tree))
        Usage();
    if (scratch.empty())
        scratch = tree + ".work";

    JobSettings job;
    job.filter = filter;
    job.caseSensitive = caseSensitive;
    job.wholeWords = wholeWords;
    job.binaryFiles = true;  // as the other tools do, and as the tree's counts expect

    uint64_t bytes = 0;
    Outcome warm = ReadTree(tree, filter, true, &bytes);  // warms the page cache, sizes the file set

    Row walk{"walk only", warm, {}};
    Row read{"read (bound)", warm, {}};
    Row none{"find, no match", {}, {}};
    Row match{"find, with matches", {}, {}};
    Row touch{"touch", {}, {}};
    for (int r = 0; r < repeat; ++r) {
        walk.seconds.push_back(Seconds([&] { walk.outcome = ReadTree(tree, filter, false); }));
        read.seconds.push_back(Seconds([&] { read.outcome = ReadTree(tree, filter, true); }));

        job.folder = tree;
        job.findText = absent;
        job.replaceText = "unused";
        none.seconds.push_back(Seconds([&] {
            RunCounts c = RunJob(job, nullptr);
            none.outcome = {uint64_t(c.filesProcessed), uint64_t(c.replacementsMade)};
        }));

        fs::remove_all(scratch);
        fs::copy(tree, scratch, fs::copy_options::recursive);
#ifndef _WIN32
        ::sync();  // the copy's writeback must not land inside the timed run
#endif
        job.folder = scratch;
        job.findText = token;
        job.replaceText = replacement;
        match.seconds.push_back(Seconds([&] {
            RunCounts c = RunJob(job, nullptr);
            match.outcome = {uint64_t(c.filesProcessed), uint64_t(c.replacementsMade)};
        }));

        JobSettings touchJob = job;
        touchJob.action = Action::Touch;
        touchJob.touchTime = TimeFromUnix(1700000000, 0);
        touch.seconds.push_back(Seconds([&] {
            RunCounts c = RunJob(touchJob, nullptr);
            touch.outcome = {uint64_t(c.filesProcessed), 0};
        }));
    }
    fs::remove_all(scratch);

    // A benchmark of a run that skipped files or found nothing would measure the wrong thing.
    bool ok = true;
    for (const Row* row : {&walk, &read, &none, &match, &touch})
        if (row->outcome.files != warm.files) {
            std::fprintf(stderr, "%s: %llu files, the walk has %llu\n", row->name.c_str(),
                         (unsigned long long)row->outcome.files, (unsigned long long)warm.files);
            ok = false;
        }
    if (none.outcome.replacements != 0) {
        std::fprintf(stderr, "\"%s\" was found in the tree\n", absent.c_str());
        ok = false;
    }
    if (expect >= 0 ? match.outcome.replacements != uint64_t(expect) : match.outcome.replacements == 0) {
        std::fprintf(stderr, "%llu replacements of \"%s\", expected %lld\n",
                     (unsigned long long)match.outcome.replacements, token.c_str(), expect);
        ok = false;
    }

    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        size_t n = v.size();
        return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    };
    const double mb = double(bytes) / 1e6;
    const double bound = median(read.seconds);
    std::printf("%llu files, %.1f MB; filter \"%s\"; %d runs each; case %s, whole words %s;\n"
                "no match: \"%s\"; with matches: \"%s\" -> \"%s\"\n\n",
                (unsigned long long)warm.files, mb, filter.c_str(), repeat,
                caseSensitive ? "sensitive" : "insensitive", wholeWords ? "on" : "off",
                absent.c_str(), token.c_str(), replacement.c_str());
    std::printf("| Scenario | Replacements | Median s | Min s | Max s | Spread | MB/s | Time vs read |\n");
    std::printf("|---|---:|---:|---:|---:|---:|---:|---:|\n");
    for (const Row* row : {&walk, &read, &none, &match, &touch}) {
        double med = median(row->seconds);
        auto [lo, hi] = std::minmax_element(row->seconds.begin(), row->seconds.end());
        std::printf("| %s | %llu | %.3f | %.3f | %.3f | %.0f%% | %.0f | %.2fx |\n", row->name.c_str(),
                    (unsigned long long)row->outcome.replacements, med, *lo, *hi,
                    100 * (*hi - *lo) / med, mb / med, med / bound);
    }
    return ok ? 0 : 1;
}
