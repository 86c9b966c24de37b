#pragma once

#include <cstdint>
#include <string>

#include "engine/FileProcessorBase.h"
#include "engine/RealPaths.h"
#include "framework/TTime.h"

// The Touch action's processor: gives every file the same last-write time and changes nothing
// else about it, neither its content and length nor its other times and attributes.
class RunJournal;
class RunObserver;

class Toucher : public FileProcessorBase {
public:
    explicit Toucher(TTime time) : Time(time) {}

    // False, and the file not counted, when it has gone, is no longer a regular file, is held
    // open by another program (Windows), or cannot take the time. A name the walk has just
    // seen as a regular file is not checked again (see SetLastWriteTime).
    bool ProcessFile(const TFileName& file) override;
    void ShowResult(ReportOwner& owner) override;
    // Puts what the journal holds on the disk.
    void FinishRun() override;

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
    RealPaths realPaths_;
    int unsynced_ = 0;
};
