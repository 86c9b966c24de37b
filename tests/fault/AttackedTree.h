#pragma once

// Root runs the built `scrivox` over a folder that an unprivileged user owns and attacks, beside
// root's own files, which no run over that folder may change:
//
//   base/       0755 root
//     tree/     the user's: what each case builds and the run walks
//     victim/   0700 root: root's files (0600), each holding the find text and a mark
//     config/   the run's options store (XDG_CONFIG_HOME)
//     state/    0700 root: the runs' journals (XDG_STATE_HOME)
//     tmp/      1777: the run's temporary folder (TMPDIR)
//     cwd/      where the run starts and its report is written
//
// After every case: nothing under victim/ changed, no file in the tree holds a victim's mark, and
// the temporary folder holds what it held before the first run.
#include <gtest/gtest.h>

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "tests/fault/FaultSupport.h"
#include "tests/support/TempDir.h"

class FaultAttackedTree : public ::testing::Test {
protected:
    static constexpr const char* kFind = "needle";
    static constexpr const char* kReplace = "PIN";
    // In every victim's content, and in nothing the tree may hold.
    static constexpr const char* kVictimMark = "root's own, not for the tree";

    // The stored options a run goes with; case sensitive, whole words off, subfolders on.
    struct Options {
        bool backups = false;
        bool touch = false;
    };
    // What a run printed; -1 for a count it did not print.
    struct Report {
        bool ended = false;     // exited 0, or 1 naming what failed, before its deadline
        bool failures = false;  // exited 1: some file could not be done
        std::string output;
        long long files = -1;
        long long replacements = -1;
    };

    void SetUp() override;
    void TearDown() override;

    std::string Tree(const std::string& rel = "") const;
    std::string Victim(const std::string& rel = "") const;

    // A file or link of the user's in the tree; folders on the way are made and the user's.
    void MakeTreeFile(const std::string& rel, const std::string& content, mode_t mode = 0644);
    void MakeTreeLink(const std::string& rel, const std::string& target);
    // One of root's files (0600, its folders 0700), holding the find text and the mark, its
    // last-write time in the past so that a touch shows.
    std::string MakeVictim(const std::string& rel);
    // Puts a file's last-write time at kAgedTime, so that a touch shows.
    static constexpr time_t kAgedTime = 978307200;  // 2001-01-01
    static void Age(const std::string& path);

    // Runs the built program as root with these options over the tree, with a deadline. The
    // first run takes the snapshot of what lies outside the tree.
    Report Run(const std::string& filter,
               Options options,
               const std::string& find = kFind,
               const std::string& replace = kReplace);
    void TakeSnapshot();
    // Fails on every change outside the tree since the last look, which this look becomes.
    void ExpectVictimsUnchanged();

    // Each regular file in the tree, by relative path, with its content; links not followed.
    std::map<std::string, std::string> TreeFiles() const;

    uid_t user_ = 0;
    gid_t group_ = 0;
    TempDir base_;
    // Temporary-looking files a case put in the tree on purpose.
    std::set<std::string> planted_;

private:
    std::optional<VictimSnapshot> victims_;
    std::map<std::string, TreeEntry> tmpBefore_;
};

// Extended attributes, read without following links; nothing when the file has none of that name.
std::optional<std::string> GetXattr(const std::string& path, const char* name);

// The kernel's form of a POSIX access ACL (`system.posix_acl_access`), so that tests need no
// library: version 2, then per entry a tag, the permissions and the qualifier, little-endian.
struct AclEntry {
    enum Tag : uint16_t { UserObj = 0x01, User = 0x02, GroupObj = 0x04, Mask = 0x10, Other = 0x20 };
    uint16_t tag;
    uint16_t perm;             // 4 read, 2 write, 1 execute
    uint32_t id = 0xFFFFFFFF;  // a user or group for User and Group entries
};
std::string AclXattr(std::initializer_list<AclEntry> entries);
