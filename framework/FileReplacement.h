#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// New content for an existing file, written beside it and put in its place in one step, so
// that whatever happens (the process killed, the power lost, the disk full) the file holds
// either all of its old content or all of its new content.
//
// The new content goes to a temporary file in the file's own folder, hidden and recognisably
// named so that no walk takes it for a user file; Commit flushes it to the disk and renames it
// over the file, which keeps its name, attributes, permissions, owner and creation time. A file
// reached through a symbolic link is replaced at its target, so the link stays a link.
//
// Where an atomic replacement would break what the user has (a file with more than one hard
// link, an owner the process cannot give the new file) or cannot be made (a folder in which no
// new file can be made), the new content is copied over the file in place instead, so that the
// links keep sharing it.
class TFileReplacement {
public:
    enum class Method { None, Rename, InPlace };

    TFileReplacement();
    // Removes the temporary file unless Commit succeeded.
    ~TFileReplacement();
    TFileReplacement(const TFileReplacement&) = delete;
    TFileReplacement& operator=(const TFileReplacement&) = delete;

    [[nodiscard]] bool Begin(const std::string& target);
    [[nodiscard]] bool Write(const void* data, size_t size);
    // Starts writing the new content to the disk without waiting for it, so that Commit, when
    // it comes later, finds its flush mostly done. Flushing files one after the other costs a
    // full round trip to the disk each; started together they share the trips.
    void StartFlush();
    // Flushes the new content to the disk, unless FlushTogether did, and puts it in place.
    [[nodiscard]] bool Commit();

    // Flushes several started replacements with one request to the disk where the system can
    // and it costs no more than theirs alone would (Linux: one sync of the file system while
    // little else on it waits to be written). True when it did; their Commit then skips its own
    // flush. False changes nothing: each Commit flushes, and fails, on its own.
    static bool FlushTogether(TFileReplacement* const* group, size_t count);

    // How Commit put the content in place, for the curious and for tests.
    Method UsedMethod() const { return method_; }

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    Method method_ = Method::None;
};

// Removes the temporary files that a killed run left in `folder`; those still being written by
// a live run stay. Returns how many were removed.
int RemoveStaleReplacements(const std::string& folder);

// Whether a name is one of those temporary files.
bool IsReplacementName(const char* name);
