#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "framework/FileIdentity.h"

class TFile;
class TFileName;
class TFolder;

// New content for an existing file, written beside it and put in its place in one step, so
// that whatever happens (the process killed, the power lost, the disk full) the file holds
// either all of its old content or all of its new content.
//
// The new content goes to a temporary file in the folder that holds the file, hidden and
// recognisably named so that no walk takes it for a user file; Commit flushes it to the disk and
// renames it over the file's name in that folder, acting on the open folder, never on a path
// looked up again. The new file gets the old one's owner, permissions, extended attributes and
// access control lists (Windows: attributes, security and creation time). A file reached through
// a link is replaced at its target, so the link stays a link.
//
// Commit puts the content in place only while the name still leads to the very file that was
// read, unchanged since it was opened (same identity, length and last-write time); otherwise the
// file is another program's now, and it is left alone.
//
// Where an atomic replacement would lose what the user has (a file with more than one hard link,
// an owner or an attribute the process cannot give a new file) or cannot be made (a folder in
// which no new file can be made), the new content is copied over the file in place instead, so
// that the file keeps its identity and all it had.
class TFileReplacement {
public:
    enum class Method { None, Rename, InPlace };

    TFileReplacement();
    // Removes the temporary file unless Commit succeeded.
    ~TFileReplacement();
    TFileReplacement(const TFileReplacement&) = delete;
    TFileReplacement& operator=(const TFileReplacement&) = delete;

    // Begins new content for `file`, which `scanned` has open for reading. The new file gets the
    // owner, permissions, attributes and access control lists (and, with KeepLastWriteTime, the
    // time) of `model` when one is given (an undo gives the old file's), else the file's own.
    [[nodiscard]] bool Begin(const TFileName& file,
                             const TFile& scanned,
                             const TFile* model = nullptr);
    // The same for a file named by its path: opens it first.
    [[nodiscard]] bool Begin(const std::string& target);
    [[nodiscard]] bool Write(const void* data, size_t size);
    // The file keeps its last-write time when its new content takes its place.
    void KeepLastWriteTime(bool keep) { keepTime_ = keep; }
    // Starts writing the new content to the disk without waiting for it, so that Commit, when
    // it comes later, finds its flush mostly done. Flushing files one after the other costs a
    // full round trip to the disk each; started together they share the trips.
    void StartFlush();
    // Flushes the new content to the disk, unless FlushTogether did, and puts it in place. False,
    // and the file left as it is, when its name no longer leads to the file that was read as
    // it was read.
    [[nodiscard]] bool Commit();

    // Flushes several started replacements with one request to the disk where the system can
    // and it costs no more than theirs alone would (Linux: one sync of the file system while
    // little else on it waits to be written). True when it did; their Commit then skips its own
    // flush. False changes nothing: each Commit flushes, and fails, on its own.
    static bool FlushTogether(TFileReplacement* const* group, size_t count);

    // What the file will be once Commit has put the new content in place: its identity and
    // length, and, where it is known before (a new file, not one rewritten in place), its
    // last-write time. Asked after the last Write, and after StartFlush or FlushTogether.
    [[nodiscard]] bool NewStamp(FileStamp& stamp, bool& timeKnown);
    // Whether Commit will copy the new content over the file in place (known after Begin).
    bool InPlace() const;
    // How Commit put the content in place, for the curious and for tests.
    Method UsedMethod() const { return method_; }
    // The file that holds the new content after a Commit by rename: another file than the one
    // read, and one the caller made.
    const FileIdentity& NewIdentity() const { return newIdentity_; }

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    Method method_ = Method::None;
    FileIdentity newIdentity_;
    bool keepTime_ = false;
};

// Removes the temporary files that a killed run of this user left in a listed folder (or in
// the folder named by a path): only regular files of this program's names, owned by the user
// running it, that no live run holds. Returns how many were removed.
int RemoveStaleReplacements(const TFolder& folder);
int RemoveStaleReplacements(const std::string& folder);

// Whether a name is one of those temporary files.
bool IsReplacementName(const char* name);
