#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/FileProcessorBase.h"
#include "engine/RealPaths.h"
#include "framework/FileIdentity.h"
#include "framework/TTime.h"

// The Touch action's processor: gives every file the same last-write time and changes nothing
// else about it, neither its content and length nor its other times and attributes.
class RunJournal;
class RunObserver;
class TFolder;

class Toucher : public FileProcessorBase {
public:
    explicit Toucher(TTime time) : Time(time) {}

    // False, and the file not counted, when it has gone, is no longer a regular file, is held
    // open by another program (Windows), or cannot take the time. A name the walk has just
    // seen as a regular file is not checked again (see SetLastWriteTime).
    // With a journal, the files of one folder are touched together, when the walk leaves the
    // folder or after kGroup of them: a file waiting so counts as done here, and is told to the
    // observer (and counted) once it is.
    bool ProcessFile(const TFileName& file) override;
    void FolderDone() override;
    void ShowResult(ReportOwner& owner) override;
    // Puts what the journal holds on the disk.
    void FinishRun() override;

    // Files touched together, their journal entries handed to the system in one write.
    static constexpr size_t kGroup = 256;
    // The journal is put on the disk at most this often during a run, and at its end. A killed
    // run loses no entry: each is handed to the system before its file's time is set. A power
    // failure can lose the entries of the files touched since the last time, which then keep
    // their new time and cannot be undone; their content is never at risk.
    static constexpr int64_t kSyncEveryMs = 250;

    // The UTC last-write time, fixed for the run.
    const TTime Time;
    // Files whose last-write time was set.
    int64_t FilesProcessed = 0;
    // Counts and tells what a run would touch, but touches nothing.
    bool Preview = false;
    // Told of each file touched or failed; none by default.
    RunObserver* Observer = nullptr;
    // Keeps each file's old time for an undo, when given.
    RunJournal* Journal = nullptr;

private:
    struct Waiting {
        std::string path;  // as handed over
        FileIdentity identity;
        FileStamp stamp;  // as the journal keeps it: the time is set only while it still holds
    };

    // Sets the time of one file and tells the observer.
    bool Touch(const TFileName& file);
    // Writes the waiting files' entries, then sets their times.
    void TouchWaiting();

    RealPaths realPaths_;
    const TFolder* waitingIn_ = nullptr;
    std::vector<Waiting> waiting_;
    int64_t lastSync_ = -1;  // milliseconds on a steady clock
};
