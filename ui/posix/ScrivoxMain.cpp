// scrivox: the unattended run from a POSIX shell. Given a folder, a filter, a find text and a
// replace text it does what the Windows program does when started with those four texts: it runs
// the stored action with the stored options, keeps the options and the four texts' histories,
// and then prints the report.
#include <cstdio>
#include <iostream>
#include <string>

#include "engine/FileProcessorBase.h"
#include "framework/LocalTime.h"
#include "framework/RegistryKey.h"
#include "settings/History.h"
#include "settings/TRegConfigFile.h"
#include "ui/CommandLine.h"
#include "ui/DoCommand.h"
#include "ui/ReplaceData.h"

namespace {

constexpr int kUsageError = 2;
constexpr int kStoreLocked = 2;

const char kUsage[] =
    "usage: scrivox [-r+|-r-] FOLDER FILTER FIND REPLACE\n"
    "\n"
    "Runs the stored action on every file in FOLDER (and, with Subfolders, every folder below\n"
    "it) whose name matches FILTER, wildcard patterns separated by \";\" such as \"*.c;*.h\".\n"
    "  Find   replaces every FIND with REPLACE (both at least one character);\n"
    "  Touch  sets each file's last-write time to now; FIND and REPLACE are then not used.\n"
    "Hidden files (names beginning with \".\") and files you may not write are skipped.\n"
    "\n"
    "  -r+  -r-   walk the folders below FOLDER, or not (stored for the next run)\n"
    "  --         ends the switches, so that a text may begin with \"-\"\n"
    "\n"
    "The options live in ${XDG_CONFIG_HOME:-~/.config}/scrivox/user.reg, under\n"
    "[HKEY_CURRENT_USER\\Software\\Harrowfen\\Scrivox\\Options]:\n"
    "  \"Action\"=dword:00000001   1 Find, 2 Touch\n"
    "  \"Subfolders\"=\"yes\"        walk the folders below (default yes)\n"
    "  \"CaseSensitive\"=\"yes\"     letters must match in case (default yes)\n"
    "  \"WholeWords\"=\"yes\"        only where no letter, digit or _ adjoins (default yes)\n"
    "  \"CreateBackups\"=\"no\"      copy each changed file to \"Backup of NAME\" first (default no)\n"
    "The Windows program writes the same options; each run writes those it used.\n";

// The report goes to standard output; the caption is the dialog's business.
class StdoutReport final : public ReportOwner {
public:
    void ShowMessage(const std::string& text, const std::string&) override {
        std::cout << text << '\n' << std::flush;
    }
};

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

}  // namespace

int main(int argc, char** argv) {
    ReplaceData& data = ReplaceData::Instance();
    ParseArguments(argc - 1, argv + 1, data);
    if (!data.HasAllTexts()) {
        std::fputs(kUsage, stderr);
        return kUsageError;
    }

    // The store file is read once and written at most twice: before the run and after it.
    RegistrySession session;
    TRegConfigFile store(kProgramStoreName);
    StoredOptions options = ReadStoredOptions(store);
    WarnAboutStoreFile(session);

    DoInputs in;
    in.folder = *data.FolderArg;
    in.filter = *data.FilterArg;
    in.findText = *data.FindArg;
    in.replaceText = *data.ReplaceArg;
    in.subfolders = data.SubfoldersGiven ? data.SubfoldersArg : options.subfolders;
    in.caseSensitive = options.caseSensitive;
    in.wholeWords = options.wholeWords;
    in.createBackups = options.createBackups;
    in.action = options.action;
    if (in.action == Action::Touch && !LocalToUtcAtCurrentOffset(LocalNow(), in.touchTime)) {
        std::cerr << "scrivox: cannot read the clock\n";
        return 1;
    }

    // DoCommand's steps, with the options on disk before the run starts, so that a run stopped
    // midway still leaves them. Options and histories that cannot be kept are only lost, but a
    // lock held too long may be another run at work on the same tree: then nothing is run.
    const std::optional<std::string> refusal = CheckDoInputs(in);
    if (!refusal) {
        StoreOptions(store, in);
        if (!session.Commit() && session.Problem() == RegistryProblem::Locked) {
            const std::string path = session.FilePath();
            std::cerr << "scrivox: cannot store the options in " << path
                      << ": another program has held its lock (" << path
                      << ".lock) for more than 10 seconds; nothing was run\n";
            return kStoreLocked;
        }
        StdoutReport report;
        (void)RunJob(JobFor(in), &report);
    }

    // Each text goes to the top of its list's history, as the dialog's lists do on closing.
    const std::optional<std::string>* texts[] = {&data.FolderArg, &data.FilterArg, &data.FindArg,
                                                 &data.ReplaceArg};
    const char* names[] = {"Folder", "Filter", "Find", "Replace"};
    for (int i = 0; i < 4; ++i) {
        History history(store, std::string(kHistorySectionPrefix) + names[i]);
        history.Load();
        history.AddToTop(**texts[i]);
        history.Save();
    }
    (void)session.Commit();

    if (refusal) {
        std::cerr << *refusal << '\n';
        return kUsageError;
    }
    return 0;
}
