// scrivox: the unattended run from a POSIX shell. Given a folder, a filter, a find text and a
// replace text it does what the Windows program does when started with those four texts: it runs
// the stored action with the stored options, keeps the options and the texts' histories, and
// prints the report. Options change this one run (see CliArguments.h).
#include <cstdio>
#include <iostream>
#include <string>

#include "framework/FileError.h"
#include "framework/LocalTime.h"
#include "framework/RegistryKey.h"
#include "framework/TFolder.h"
#include "settings/History.h"
#include "settings/TRegConfigFile.h"
#include "ui/CliArguments.h"
#include "ui/DoCommand.h"
#include "ui/TouchTime.h"
#include "ui/posix/CliHelp.h"
#include "ui/posix/CliOutput.h"
#include "ui/posix/CliRuns.h"
#include "version.h"

namespace {

// Exit codes: the run finished with every file done; the run finished but some failed;
// nothing was run.
constexpr int kDone = 0;
constexpr int kSomeFailed = 1;
constexpr int kNothingRun = 2;

int Refuse(const std::string& message, const std::string& hint = "") {
    std::cerr << "scrivox: " << message << (hint.empty() ? "" : "; " + hint) << '\n';
    return kNothingRun;
}

// A store file that cannot be read leaves the stored options at their defaults; the run goes
// on, and the user hears why.
void WarnAboutStoreFile(const RegistrySession& session) {
    const std::string path = session.FilePath();
    switch (session.Problem()) {
        case RegistryProblem::NotRegularFile:
            std::cerr << "scrivox: warning: " << path
                      << " is not a regular file of at most 16 MiB; its settings are ignored\n";
            break;
        case RegistryProblem::Unreadable:
            if (path.empty())
                std::cerr << "scrivox: warning: no home folder to keep settings in; the defaults "
                             "are used\n";
            else
                std::cerr << "scrivox: warning: " << path
                          << " cannot be read; its settings are ignored\n";
            break;
        default:
            break;
    }
}

// The run's settings: the stored options (or the defaults, without a store), what the options
// of this run change, and the texts.
JobSettings JobFor(const CliRequest& request, const StoredOptions& stored) {
    JobSettings job;
    ApplyOptions(stored, job);
    job.folder = request.texts[0];
    job.filter = request.texts[1];
    if (request.texts.size() == 4) {
        job.findText = request.texts[2];
        job.replaceText = request.texts[3];
    }
    job.subfolders = request.subfolders.value_or(job.subfolders);
    job.caseSensitive = request.caseSensitive.value_or(job.caseSensitive);
    job.wholeWords = request.wholeWords.value_or(job.wholeWords);
    job.createBackups = request.createBackups.value_or(job.createBackups);
    job.keepDates = request.keepDates.value_or(job.keepDates);
    job.binaryFiles = request.binaryFiles.value_or(job.binaryFiles);
    job.action = request.action.value_or(job.action);
    job.mode = request.dryRun ? RunMode::Preview : RunMode::Run;
    return job;
}

// Each text goes to the top of its list's history, as the dialog's lists do on closing; an
// empty one adds nothing, as an empty edit field does not.
void KeepHistories(TRegConfigFile& store, const std::vector<std::string>& texts) {
    const char* names[] = {"Folder", "Filter", "Find", "Replace"};
    for (size_t i = 0; i < texts.size() && i < 4; ++i) {
        if (texts[i].empty())
            continue;
        History history(store, std::string(kHistorySectionPrefix) + names[i]);
        history.Load();
        history.AddToTop(texts[i]);
        history.Save();
    }
}

// The refusals that need the stored action (FIND and REPLACE may be left out for Touch): the
// texts, the time, the folder. Gives the exit code when the run cannot go on.
std::optional<int> CheckBeforeTheRun(const CliRequest& request, const StoredOptions& stored) {
    const Action action = request.action.value_or(stored.action);
    if (std::optional<UsageError> error = CheckCliTexts(request, action))
        return Refuse(error->message, error->hint);
    TTime time;
    if (action == Action::Touch && request.touchTime && !ParseTouchTime(*request.touchTime, time))
        return Refuse("bad time '" + *request.touchTime + "'",
                      "give 'YYYY-MM-DD HH:MM[:SS]' (local time) or '@SECONDS' (since 1970, UTC)");
    ClearFileError();
    TFolder folder;
    if (!folder.Open(request.texts[0]))
        return Refuse("cannot walk '" + request.texts[0] + "': " + LastFileErrorText());
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
    CliRequest request;
    if (std::optional<UsageError> error = ParseCliArguments(argc - 1, argv + 1, request))
        return Refuse(error->message, error->hint);
    if (request.help) {
        std::fputs(kCliHelp, stdout);
        return kDone;
    }
    if (request.version) {
        std::printf("scrivox %s\n", SCRIVOX_VERSION_TEXT);
        return kDone;
    }
    // The kept runs are not the stored options: neither is read or written.
    if (request.runs || request.undo) {
        if (std::optional<UsageError> error = CheckCliTexts(request, Action::Find))
            return Refuse(error->message, error->hint);
        return request.runs ? ListRunsCommand(request) : UndoCommand(request);
    }

    // The store file is read once and written at most twice: before the run and after it.
    // Without a store nothing is read or written: the defaults and this run's options.
    std::optional<RegistrySession> session;
    std::optional<TRegConfigFile> store;
    StoredOptions stored;
    if (!request.noStore) {
        session.emplace();
        store.emplace(kProgramStoreName);
        stored = ReadStoredOptions(*store);
        WarnAboutStoreFile(*session);
    }
    // Nothing is stored when nothing is run: the reads above made the options' keys.
    std::optional<int> refused = CheckBeforeTheRun(request, stored);
    if (refused) {
        if (session)
            session->Abandon();
        return *refused;
    }
    JobSettings job = JobFor(request, stored);
    if (job.action == Action::Touch &&
        !(request.touchTime ? ParseTouchTime(*request.touchTime, job.touchTime)
                            : LocalToUtcAtCurrentOffset(LocalNow(), job.touchTime))) {
        if (session)
            session->Abandon();
        return Refuse("cannot read the clock");
    }

    // The options are on disk before the run starts, so that a run stopped midway still leaves
    // them; what is stored are the options as they were, but for Subfolders, which -r+ and -r-
    // set. Options and histories that cannot be kept are only lost, but a lock held too long
    // may be another run at work on the same tree: then nothing is run.
    StoredOptions storeAs = stored;
    storeAs.subfolders = job.subfolders;
    DoHow how;
    how.store = store ? &*store : nullptr;
    how.storeAs = storeAs;
    how.emptyReplaceDeletes = true;
    how.keepJournal = !request.noUndo;
    how.afterStoring = [&]() -> std::optional<std::string> {
        if (!session || session->Commit() || session->Problem() != RegistryProblem::Locked)
            return std::nullopt;
        const std::string path = session->FilePath();
        return "cannot store the options in " + path + ": another program has held its lock (" +
               path + ".lock) for more than 10 seconds; nothing was run";
    };
    RunCounts counts;
    {
        CliOutput output(request, job.action, job.folder);
        how.observer = &output;
        const DoOutcome outcome = DoCommand(job, how);
        if (outcome.refusal)
            return Refuse(*outcome.refusal);
        counts = outcome.counts;
        output.Report(counts);
        if (!outcome.journalNote.empty())
            std::cerr << "scrivox: note: " << outcome.journalNote << '\n';
    }
    if (store) {
        KeepHistories(*store, request.texts);
        (void)session->Commit();
    }
    return counts.failures > 0 ? kSomeFailed : kDone;
}
