#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "engine/BlockScanner.h"
#include "engine/FileProcessorBase.h"
#include "engine/RealPaths.h"
#include "engine/Run.h"
#include "framework/FileIdentity.h"

// The Find action's processor. A file is read once; only a file with a replacement is written:
// its new content goes to a temporary file beside it, the original (as read) is copied to its
// backup when asked, then the new content takes the file's place in one step, if the name
// still leads to the file read (see TFileReplacement). A backup ("Backup of " and a name) is
// never rewritten: it keeps the file as it was before the run that made it.
//
// Flushing each new file to the disk on its own costs more than all the rest of a run, so a
// run lets finished files wait in groups (HoldFinishedFiles): their new content is flushed
// together, then each takes its file's place. A waiting file is still all old, so a killed run
// loses nothing but the waiting work; its temporary files are removed by the next run.
class RunJournal;
class RunObserver;

class Replacer : public FileProcessorBase {
public:
    // Takes the Find settings of the run: texts and options.
    explicit Replacer(const JobSettings& job, size_t blockSize = BlockScanner::kDefaultBlockSize);
    // Puts the waiting files in place.
    ~Replacer();

    // True when the file was processed; a waiting file is counted, and its result known, once
    // it is in place.
    bool ProcessFile(const TFileName& file) override;
    bool ReadsFiles() const override { return true; }
    // Puts the waiting files in place first.
    void ShowResult(ReportOwner& owner) override;
    void FinishRun() override { PutWaitingInPlace(); }

    // Lets up to `files` finished files wait before they are put in place together; 1 (the
    // default) puts each in place before ProcessFile returns.
    void HoldFinishedFiles(size_t files) { holdFiles_ = files < 1 ? 1 : files; }

    // "Backup of " and the file's name, in the file's folder.
    static TFileName BackupName(const TFileName& file);

    const std::string FindText;
    const std::string ReplaceText;
    const bool CaseSensitive;
    const bool WholeWords;
    const bool CreateBackups;
    // Files scanned and finished without failure, changed or not.
    int64_t FilesProcessed = 0;
    // Replacements written into files that were rewritten.
    int64_t ReplacementsMade = 0;
    // Files with a NUL byte among their first 64 KiB (and no UTF-16 mark), left as they are
    // unless BinaryFiles says to take them too.
    int64_t BinaryFilesLeftAlone = 0;
    bool BinaryFiles = false;
    // A changed file keeps its last-write time.
    bool KeepDates = false;
    // Finds what a run would change and counts it as the run would, but writes nothing.
    bool Preview = false;
    // Keeps what an undo needs, when given.
    RunJournal* Journal = nullptr;
    // Told of each file changed or failed, and of each file read; none by default.
    RunObserver* Observer = nullptr;

private:
    struct Finished;
    void RemoveLeftovers(const TFileName& file);
    // Records a finished file in the journal, before it is put in place.
    void Record(Finished& file);
    // Tells the observer why the step failed; false.
    bool Fail(const std::string& path, const char* step);
    bool PutInPlace(Finished& file);
    void PutWaitingInPlace();
    bool IsWaiting(const FileIdentity& identity) const;

    BlockScanner scanner_;
    // Folders whose leftovers are gone: the walk's folder by its serial, a plain path's folder,
    // link targets' folders.
    uint64_t cleanedSerial_ = 0;
    RealPaths realPaths_;
    std::optional<std::string> cleanedPath_;
    std::unordered_set<FileIdentity, FileIdentityHash> cleanedHolders_;
    // The files that took the place of changed ones.
    std::unordered_set<FileIdentity, FileIdentityHash> made_;
    std::unique_ptr<char[]> writeBuffer_;
    size_t holdFiles_ = 1;
    std::vector<std::unique_ptr<Finished>> waiting_;
    uint64_t waitingBytes_ = 0;
};
