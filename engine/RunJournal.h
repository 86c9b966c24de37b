#pragma once

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "engine/Run.h"
#include "framework/FileIdentity.h"
#include "framework/TFile.h"
#include "framework/TFolder.h"

// What a run keeps so that it can be taken back: in the user's state folder, runs/<ID>/, a
// text journal of the run (its time, folder, filters, texts and action, and each changed file's
// path and the stamp of its new content: identity, length, last-write time, SHA-256) and, in
// old/, each changed file's old content: the old file itself under a second name where the
// journal lies on its file system (nothing is copied: the rename that puts the new content in
// place leaves the old content to the journal alone), else a copy. A Touch run keeps each file's
// old last-write time.
//
// The folders are private to the user (0700), the files never readable by anyone who could not
// read the originals, and nothing in them is followed as a link. A file's entry is on the disk
// (Sync) before its new content takes its place, so a killed run stays undoable.
//
// The old content of a file, as the journal keeps it: its number in old/, its own stamp and its
// SHA-256, which an undo checks before it writes anything from it.
struct KeptContent {
    size_t number = 0;  // 0: none kept
    FileStamp stamp;
    std::string hash;
    bool linked = false;  // the old file itself, not a copy: an undo may move it back whole
};

// Kept: the last kMaxRuns runs, at most kMaxBytes of old content and journals in all; the oldest
// go first (a run's own journal is not counted while it runs). A
// run that would pass the limit keeps no more old content from there on, and says so.
class RunJournal {
public:
    static constexpr size_t kMaxRuns = 20;
    static constexpr uint64_t kMaxBytes = uint64_t{1} << 30;

    RunJournal();
    ~RunJournal();
    RunJournal(const RunJournal&) = delete;
    RunJournal& operator=(const RunJournal&) = delete;

    // Begins the journal of `job`. False when no journal can be kept (Shortfall tells why): the
    // run goes on all the same, but cannot be undone. Nothing is written until the run changes
    // its first file: then the journal is made, and old runs dropped to make room for it, so
    // that a run that changes nothing costs no disk round trip.
    bool Begin(const JobSettings& job);
    // Begun, and able to keep the run's changes as far as is known.
    bool IsOpen() const { return runs_.IsOpen() && !failed_; }
    // The run's id once it has begun; empty when the run keeps no journal (none could be
    // written, or it ended without changing anything).
    const std::string& Id() const { return id_; }

    // Find, before the file changes: keeps the old content of the file `in` has open (a second
    // name of it where it can; a copy when `copy` is asked, as for a file rewritten in place,
    // or where no name can be given). False when nothing was kept.
    bool KeepOld(TFile& in, bool copy, uint64_t size, KeptContent& kept);
    // Find: records what the file at `path` will be: its stamp (the time where known) and the
    // SHA-256 of its new content; and where its old content is kept.
    bool AddFind(const KeptContent& kept,
                 const std::string& path,
                 const FileStamp& stamp,
                 bool timeKnown,
                 const std::string& hash);
    // Touch: records that the file at `path` (`stamp` as it was, its old last-write time
    // included) goes to `touched`.
    bool AddTouch(const std::string& path, const FileStamp& stamp, TTime touched);
    // Hands what was recorded to the system, where a killed run cannot lose it; each file's
    // entry goes there before the file changes.
    bool Flush();
    // Puts what was recorded on the disk.
    bool Sync();
    // Ends the journal; a run that changed nothing leaves none.
    void Finish(int64_t filesChanged);
    // Why the run cannot be undone, or not all of it, in lower case and without a full stop
    // ("this run cannot be undone: ..."); empty when it can.
    const std::string& Shortfall() const { return shortfall_; }

private:
    static constexpr size_t kPendingBytes = 64 * 1024;

    // Makes the journal of the run at its first change; false when it cannot be made.
    bool Create();
    bool Write(const std::string& line);

    JobSettings job_;
    std::time_t started_ = 0;
    TFolder runs_, run_, old_;
    TFile journal_;
    std::string pending_;  // lines not yet handed to the system
    std::string id_;
    std::string shortfall_;
    size_t next_ = 0;
    uint64_t keptBytes_ = 0, budget_ = kMaxBytes;
    bool failed_ = false;  // the journal could not be made
    bool unsynced_ = false, oldUnsynced_ = false, foldersUnsynced_ = false;
};

// The runs folder, ${XDG_STATE_HOME:-~/.local/state}/scrivox/runs (%LOCALAPPDATA%\Scrivox\Runs).
std::string RunsFolder();

// The SHA-256 of everything `file` holds, in hexadecimal, read from its start.
bool HashFile(TFile& file, std::string& hex);

// A field of a journal line: tabs, line feeds and backslashes escaped, so any text fits.
std::string JournalField(const std::string& text);
bool ParseJournalLine(const std::string& line, std::vector<std::string>& fields);
