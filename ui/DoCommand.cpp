#include "ui/DoCommand.h"

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

std::optional<std::string> CheckDoInputs(const DoInputs& in) {
    if (in.folder.empty())
        return "Enter folder.";
    if (in.filter.empty())
        return "Enter filter.";
    if (in.action == Action::Find) {
        if (in.findText.empty())
            return "Enter search string.";
        if (in.replaceText.empty())
            return "Enter replace string.";
    }
    return std::nullopt;
}

void StoreOptions(TConfigFile& store, const DoInputs& in) {
    // Write results are not looked at: options that cannot be kept are only lost.
    TConfigFileSection options(store, kOptionsSection);
    (void)options.WriteBool("Subfolders", in.subfolders);
    if (in.action == Action::Find) {
        (void)options.WriteBool("CaseSensitive", in.caseSensitive);
        (void)options.WriteBool("WholeWords", in.wholeWords);
        (void)options.WriteBool("CreateBackups", in.createBackups);
        (void)options.WriteInteger("Action", 1);
        // After the options every version stores, so that a new store reads as before.
        (void)options.WriteBool("KeepDates", in.keepDates);
        (void)options.WriteBool("Binary", in.binaryFiles);
    } else {
        (void)options.WriteInteger("Action", 2);
    }
}

JobSettings JobFor(const DoInputs& in) {
    JobSettings job;
    job.folder = in.folder;
    job.filter = in.filter;
    job.subfolders = in.subfolders;
    job.action = in.action;
    job.findText = in.findText;
    job.replaceText = in.replaceText;
    job.caseSensitive = in.caseSensitive;
    job.wholeWords = in.wholeWords;
    job.createBackups = in.createBackups;
    job.keepDates = in.keepDates;
    job.binaryFiles = in.binaryFiles;
    job.touchTime = in.touchTime;
    return job;
}

DoOutcome DoCommand(const DoInputs& in, TConfigFile& store, ReportOwner* reportTo) {
    DoOutcome outcome;
    outcome.refusal = CheckDoInputs(in);
    if (outcome.refusal)
        return outcome;
    StoreOptions(store, in);
    outcome.counts = RunJob(JobFor(in), reportTo);
    return outcome;
}
