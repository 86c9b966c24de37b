#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class RunObserver;
class TFolder;

// One kept run, as its journal tells it.
struct RunRecord {
    std::string id;
    int64_t time = 0;  // seconds since 1970, UTC
    std::string folder, filter, action, findText, replaceText;
    int64_t files = 0;       // files it changed
    uint64_t keptBytes = 0;  // old content it keeps
    bool ended = false;      // the run ended (else it was stopped: what it did is undoable)
    bool undone = false;
    bool damaged = false;  // its journal cannot be read: it is never restored from
};

// The runs kept in a runs folder, oldest first.
std::vector<RunRecord> ListRuns(const TFolder& runs);
// What the runs in a runs folder keep, oldest first, read from each journal's end alone: what
// dropping old runs to make room needs, at the cost of one small read per run.
struct KeptRun {
    std::string id;
    uint64_t keptBytes = 0;  // old content and the journal itself
};
std::vector<KeptRun> KeptRuns(const TFolder& runs);
// The same in the user's runs folder (RunsFolder()); none when there is none.
std::vector<RunRecord> ListRuns();

struct UndoOutcome {
    std::optional<std::string> refusal;  // nothing was restored: why
    std::string id;
    int64_t restored = 0;  // files given back their old content or time
    int64_t leftChanged = 0;  // left as they are: changed since the run
    int64_t failed = 0;       // could not be restored
};

// Takes back the run `id`, or the latest that is not undone yet when `id` is empty: each file
// the run changed and that is still exactly as the run left it (identity, length, time, and
// the SHA-256 of its content) gets back its old content, permissions, attributes and last-write
// time through a crash-safe replacement; a file changed since is left alone and named to the
// observer. A preview restores nothing and tells what it would. The run is then marked undone.
UndoOutcome UndoRun(const std::string& id, bool preview, RunObserver* observer);
