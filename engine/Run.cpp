#include "engine/Run.h"

#include "engine/FileRecurser.h"
#include "engine/Replacer.h"
#include "engine/Toucher.h"

namespace {

// Enough to make the flush per file negligible, few enough descriptors and temporary files.
constexpr size_t kFilesFlushedTogether = 64;

// The walker ends, and its filters with it, before the report is shown.
template <class Processor>
void WalkAndReport(const JobSettings& job, Processor& processor, ReportOwner* reportTo) {
    {
        FileRecurser walker(job.folder, job.filter, job.subfolders, &processor);
        walker.Recurse();
    }
    processor.FinishRun();
    if (reportTo)
        processor.ShowResult(*reportTo);
}

}  // namespace

RunCounts RunJob(const JobSettings& job, ReportOwner* reportTo) {
    RunCounts counts;
    if (job.action == Action::Touch) {
        Toucher toucher(job.touchTime);
        WalkAndReport(job, toucher, reportTo);
        counts.filesProcessed = toucher.FilesProcessed;
        return counts;
    }
    Replacer replacer(job.findText, job.replaceText, job.caseSensitive, job.wholeWords,
                      job.createBackups);
    replacer.HoldFinishedFiles(kFilesFlushedTogether);
    WalkAndReport(job, replacer, reportTo);
    counts.filesProcessed = replacer.FilesProcessed;
    counts.replacementsMade = replacer.ReplacementsMade;
    return counts;
}
