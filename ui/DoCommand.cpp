#include "ui/DoCommand.h"

#include "engine/RunJournal.h"
#include "framework/TFolder.h"
#include "settings/TConfigFile.h"
#include "settings/TConfigFileSection.h"

StoredOptions ReadStoredOptions(TConfigFile& store) {
    StoredOptions o;
    TConfigFileSection options(store, kOptionsSection);
    o.subfolders = options.ReadBool("Subfolders", true);
    o.caseSensitive = options.ReadBool("CaseSensitive", true);
    o.wholeWords = options.ReadBool("WholeWords", true);
    o.createBackups = options.ReadBool("CreateBackups", false);
    o.keepDates = options.ReadBool("KeepDates", false);
    o.binaryFiles = options.ReadBool("Binary", false);
    o.action = options.ReadInteger("Action", 1) == 2 ? Action::Touch : Action::Find;
    return o;
}

StoredOptions OptionsOf(const JobSettings& job) {
    StoredOptions o;
    o.subfolders = job.subfolders;
    o.caseSensitive = job.caseSensitive;
    o.wholeWords = job.wholeWords;
    o.createBackups = job.createBackups;
    o.keepDates = job.keepDates;
    o.binaryFiles = job.binaryFiles;
    o.action = job.action;
    return o;
}

void ApplyOptions(const StoredOptions& o, JobSettings& job) {
    job.subfolders = o.subfolders;
    job.caseSensitive = o.caseSensitive;
    job.wholeWords = o.wholeWords;
    job.createBackups = o.createBackups;
    job.keepDates = o.keepDates;
    job.binaryFiles = o.binaryFiles;
    job.action = o.action;
}

std::optional<std::string> CheckDoInputs(const JobSettings& job, bool emptyReplaceDeletes) {
    if (job.folder.empty())
        return "Enter folder.";
    if (job.filter.empty())
        return "Enter filter.";
    if (job.action == Action::Find) {
        if (job.findText.empty())
            return "Enter search string.";
        if (job.replaceText.empty() && !emptyReplaceDeletes)
            return "Enter replace string.";
    }
    // A folder that is not there would only give "No files processed.", as if it held nothing.
    TFolder folder;
    if (!folder.Open(job.folder))
        return "Folder not found.";
    return std::nullopt;
}

void StoreOptions(TConfigFile& store, const StoredOptions& o) {
    // Write results are not looked at: options that cannot be kept are only lost.
    TConfigFileSection options(store, kOptionsSection);
    (void)options.WriteBool("Subfolders", o.subfolders);
    if (o.action == Action::Find) {
        (void)options.WriteBool("CaseSensitive", o.caseSensitive);
        (void)options.WriteBool("WholeWords", o.wholeWords);
        (void)options.WriteBool("CreateBackups", o.createBackups);
        (void)options.WriteInteger("Action", 1);
        // After the options every version stores, so that a new store reads as before.
        (void)options.WriteBool("KeepDates", o.keepDates);
        (void)options.WriteBool("Binary", o.binaryFiles);
    } else {
        (void)options.WriteInteger("Action", 2);
    }
}

DoOutcome DoCommand(const JobSettings& job, const DoHow& how) {
    DoOutcome outcome;
    outcome.refusal = CheckDoInputs(job, how.emptyReplaceDeletes);
    if (outcome.refusal)
        return outcome;
    if (how.store && job.mode == RunMode::Run)
        StoreOptions(*how.store, how.storeAs ? *how.storeAs : OptionsOf(job));
    if (how.afterStoring) {
        outcome.refusal = how.afterStoring();
        if (outcome.refusal)
            return outcome;
    }
    if (!how.keepJournal || job.mode != RunMode::Run) {
        outcome.counts = RunJob(job, how.reportTo, how.observer);
        return outcome;
    }
    RunJournal journal;
    (void)journal.Begin(job);  // a run that cannot be undone still runs, and its report says so
    outcome.counts = RunJob(job, how.reportTo, how.observer, &journal);
    outcome.runId = journal.Id();
    outcome.journalNote = journal.Shortfall();
    return outcome;
}
