#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// What a run tells as it goes, besides its counts: each file it changed (Find) or touched, each
// file or folder it could not do and why, and each file it looked at. Paths are the walk's, the
// chosen folder's path and the names below it. Called on the thread that runs the walk; the
// defaults ignore everything.
class RunObserver {
public:
    // A file whose new content is in place, with its replacements; or a file touched (0).
    virtual void FileChanged(const std::string& path, uint64_t replacements) {
        (void)path, (void)replacements;
    }
    // A file or folder the run could not do: "cannot be read: Permission denied".
    virtual void Failed(const std::string& path, const std::string& reason) {
        (void)path, (void)reason;
    }
    // A file that Find left as it is because it is binary.
    virtual void BinaryLeftAlone(const std::string& path) { (void)path; }
    // How much of a changed file's content the observer wants to see (ChangeShown), old and
    // new; 0, the default: none.
    virtual size_t ContentWanted() const { return 0; }
    // A changed file's content before and after, when both are no larger than ContentWanted;
    // null when they are larger.
    virtual void ChangeShown(const std::string& path,
                             const std::string* oldText,
                             const std::string* newText) {
        (void)path, (void)oldText, (void)newText;
    }
    // A file read to its end (`bytes` of it), changed or not.
    virtual void FileLookedAt(uint64_t bytes) { (void)bytes; }
    // A folder whose files the walk is about to hand over: the chosen one, or one below it.
    virtual void FolderEntered(const std::string& path) { (void)path; }
    // Asked between files, never inside one: true ends the walk there. The files done so far
    // stay done, and the run reports what it did as stopped.
    virtual bool StopWanted() { return false; }

protected:
    ~RunObserver() = default;
};
