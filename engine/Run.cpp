#include "engine/Run.h"

#include <cctype>

#include "engine/FileRecurser.h"
#include "engine/Replacer.h"
#include "engine/RunJournal.h"
#include "engine/RunObserver.h"
#include "engine/RunReport.h"
#include "engine/Toucher.h"

namespace {

// Enough to make the flush per file negligible, few enough descriptors and temporary files.
constexpr size_t kFilesFlushedTogether = 64;

// Counts the failures and passes everything on.
class CountingObserver final : public RunObserver {
public:
    explicit CountingObserver(RunObserver* next) : next_(next) {}
    void FileChanged(const std::string& path, uint64_t replacements) override {
        ++changed;
        if (next_)
            next_->FileChanged(path, replacements);
    }
    void Failed(const std::string& path, const std::string& reason) override {
        ++failures;
        if (next_)
            next_->Failed(path, reason);
    }
    void FileLookedAt(uint64_t bytes) override {
        if (next_)
            next_->FileLookedAt(bytes);
    }
    void BinaryLeftAlone(const std::string& path) override {
        if (next_)
            next_->BinaryLeftAlone(path);
    }
    void FolderEntered(const std::string& path) override {
        if (next_)
            next_->FolderEntered(path);
    }
    bool StopWanted() override { return next_ && next_->StopWanted(); }
    size_t ContentWanted() const override { return next_ ? next_->ContentWanted() : 0; }
    void ChangeShown(const std::string& path,
                     const std::string* oldText,
                     const std::string* newText) override {
        if (next_)
            next_->ChangeShown(path, oldText, newText);
    }
    int64_t failures = 0;
    int64_t changed = 0;

private:
    RunObserver* next_;
};

// The report, after "Stopped." when the run was stopped, and below it why the run cannot be
// undone, when it cannot.
class NotedReport final : public ReportOwner {
public:
    NotedReport(ReportOwner& owner, bool stopped, const std::string& note)
        : owner_(owner), stopped_(stopped), note_(note) {}
    void ShowMessage(const std::string& said, const std::string& caption) override {
        const std::string text = stopped_ ? std::string(kStoppedLine) + "\n" + said : said;
        if (note_.empty()) {
            owner_.ShowMessage(text, caption);
            return;
        }
        std::string note = note_;
        note[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(note[0])));
        owner_.ShowMessage(text + "\n\n" + note + ".", caption);
    }

private:
    ReportOwner& owner_;
    const bool stopped_;
    const std::string note_;
};

// The walker ends, and its filters with it, before the report is shown; so does the journal.
// Gives whether the walk was stopped.
template <class Processor>
bool WalkAndReport(const JobSettings& job,
                   Processor& processor,
                   ReportOwner* reportTo,
                   RunJournal* journal,
                   const CountingObserver& counting) {
    bool stopped = false;
    {
        FileRecurser walker(job.folder, job.filter, job.subfolders, &processor);
        walker.Observer = processor.Observer;
        walker.Recurse();
        stopped = walker.Stopped();
    }
    processor.FinishRun();
    if (journal)
        journal->Finish(counting.changed);
    if (reportTo) {
        NotedReport report(*reportTo, stopped, journal ? journal->Shortfall() : std::string());
        processor.ShowResult(report);
    }
    return stopped;
}

}  // namespace

RunCounts RunJob(const JobSettings& job,
                 ReportOwner* reportTo,
                 RunObserver* observer,
                 RunJournal* journal) {
    RunCounts counts;
    CountingObserver counting(observer);
    if (job.mode == RunMode::Preview)
        journal = nullptr;  // nothing to take back
    // One that could not begin still tells the report why.
    RunJournal* keeping = journal && journal->IsOpen() ? journal : nullptr;
    if (job.action == Action::Touch) {
        Toucher toucher(job.touchTime);
        toucher.Observer = &counting;
        toucher.Preview = job.mode == RunMode::Preview;
        toucher.Journal = keeping;
        counts.stopped = WalkAndReport(job, toucher, reportTo, journal, counting);
        counts.filesProcessed = toucher.FilesProcessed;
        counts.failures = counting.failures;
        counts.filesChanged = counting.changed;
        return counts;
    }
    Replacer replacer(job);
    replacer.Observer = &counting;
    replacer.HoldFinishedFiles(kFilesFlushedTogether);
    replacer.Journal = keeping;
    counts.stopped = WalkAndReport(job, replacer, reportTo, journal, counting);
    counts.filesProcessed = replacer.FilesProcessed;
    counts.replacementsMade = replacer.ReplacementsMade;
    counts.failures = counting.failures;
    counts.filesChanged = counting.changed;
    counts.binaryLeftAlone = replacer.BinaryFilesLeftAlone;
    return counts;
}
