#pragma once

#include <cstdint>
#include <string>

#include "framework/TTime.h"

class ReportOwner;
class RunJournal;
class RunObserver;

enum class Action { Find, Touch };

// What a run does with its walk: changes the files, or only finds what it would change.
enum class RunMode { Run, Preview };

// The settings of one run, as the user gave them: the one record that goes from either front
// end, through the Do! command, to the walk and the processors.
struct JobSettings {
    std::string folder;
    std::string filter;
    bool subfolders = true;
    Action action = Action::Find;
    std::string findText;
    std::string replaceText;
    bool caseSensitive = false;
    bool wholeWords = false;
    bool createBackups = false;
    bool keepDates = false;    // a changed file keeps its last-write time
    bool binaryFiles = false;  // Find takes binary files too
    // The UTC last-write time for Touch, computed once before the run from the picked local
    // date and time (LocalToUtcAtCurrentOffset).
    TTime touchTime;
    RunMode mode = RunMode::Run;
};

struct RunCounts {
    int64_t filesProcessed = 0;
    int64_t replacementsMade = 0;
    int64_t failures = 0;      // files and folders the run could not do
    int64_t filesChanged = 0;  // files whose content (Find) or time (Touch) the run changed
    int64_t binaryLeftAlone = 0;
    bool stopped = false;  // the observer stopped the walk between two files
};

// Builds the action's processor and a walker over the folder, walks, and, when `reportTo` is
// given (an interactive run), shows the report through it. `observer`, when given, hears of each
// file changed or failed as the run goes. `journal`, when given and begun, keeps what an undo
// needs, and is finished before the report, which tells when the run cannot be undone. Returns
// the run's counts.
RunCounts RunJob(const JobSettings& job,
                 ReportOwner* reportTo,
                 RunObserver* observer = nullptr,
                 RunJournal* journal = nullptr);
