// Root runs the program over a tree that an unprivileged user owns and attacks: with links
// swapped in during the read, planted under a backup's name, leading out of the tree or in
// circles; with set-id files, ACLs, files named like leftovers, a file reached four ways. The run
// acts only on the files it read, only inside the tree, and reports only what it wrote.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "tests/fault/AttackedTree.h"
#include "tests/support/ReferenceScanner.h"

namespace {

namespace fs = std::filesystem;

constexpr const char kOld[] = "a needle\n";
constexpr const char kNew[] = "a PIN\n";

bool IsLink(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

time_t LastWrite(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mtim.tv_sec : 0;
}

// How a copy of a file gives more than the file did, or nothing when it does not: a copy of the
// same owner and group keeps the mode; any other has no set-id bit and gives its group and others
// nothing that the file did not give everyone.
std::string WiderAccess(const struct stat& copy, const struct stat& file) {
    char modes[64];
    std::snprintf(modes, sizeof modes, "mode %04o (the file's %04o), owner %u:%u",
                  unsigned(copy.st_mode & 07777), unsigned(file.st_mode & 07777),
                  unsigned(copy.st_uid), unsigned(copy.st_gid));
    const mode_t everyone = file.st_mode & 07;
    if (copy.st_uid == file.st_uid && copy.st_gid == file.st_gid)
        return (copy.st_mode & 07777) == (file.st_mode & 07777) ? "" : modes;
    if ((copy.st_mode & 06000) || ((((copy.st_mode >> 3) & 07) | (copy.st_mode & 07)) & ~everyone))
        return std::string("a copy of another owner gives more: ") + modes;
    return "";
}

// Regression: the rewrite looked the file's name up again after the read, so a link swapped in
// meanwhile had its target (root's file) replaced with the user's content, or the target's
// content put in the tree. A large file keeps the read window wide; the user swaps the file and
// a link to root's file under the one name as fast as it can, through 20 runs.
TEST_F(FaultAttackedTree, NameSwappedForALinkDuringTheReadNeverReachesTheLinksTarget) {
    constexpr int kRuns = 20;
    const std::string line = "the read of a large file leaves a wide window for a swap\n";
    std::string middle;
    while (middle.size() < (32u << 20))
        middle += line;
    const std::string oldText = "a needle first\n" + middle + "a needle last\n";
    const std::string newText = "a PIN first\n" + middle + "a PIN last\n";
    const std::string secret = MakeVictim("secret");
    const std::string file = Tree("a.txt"), swap = Tree("swap.lnk");
    int rewritten = 0;
    for (int run = 1; run <= kRuns && !HasFailure(); ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        // The file under its name and the link beside it, whatever the last run left.
        fs::remove(swap);
        if (IsLink(file) || ReadFileBytes(file) != oldText) {
            fs::remove(file);
            MakeTreeFile("a.txt", oldText);
        }
        MakeTreeLink("swap.lnk", secret);
        Report report;
        {
            ScopedAttacker attacker(user_, [&] {
                (void)::renameat2(AT_FDCWD, file.c_str(), AT_FDCWD, swap.c_str(), RENAME_EXCHANGE);
            });
            ASSERT_TRUE(attacker.Started());
            report = Run("*.txt", {});
            EXPECT_GT(attacker.Stop(), 1);
        }
        ExpectVictimsUnchanged();
        int holdingNew = 0;
        for (const auto& [rel, content] : TreeFiles()) {
            EXPECT_TRUE(content == oldText || content == newText)
                << rel << " is neither the old content nor the new (" << content.size() << " bytes"
                << (content.find(kVictimMark) == 0 ? ", root's file)" : ")");
            holdingNew += content == newText ? 1 : 0;
        }
        // A file it counts holds its new content, and only such a file is counted.
        EXPECT_EQ(report.files, holdingNew) << report.output;
        EXPECT_EQ(report.replacements, 2 * holdingNew) << report.output;
        rewritten += holdingNew;
    }
    std::printf("%d of %d runs rewrote the file\n", rewritten, kRuns);
}

// A link planted under the backup's name is replaced by the backup, never written through.
TEST_F(FaultAttackedTree, BackupNamePlantedAsALinkIsReplacedNotWrittenThrough) {
    MakeTreeFile("a.c", kOld);
    MakeTreeLink("Backup of a.c", MakeVictim("secret"));
    Report report = Run("a.c", {true});
    EXPECT_EQ(report.files, 1);
    EXPECT_EQ(report.replacements, 1);
    EXPECT_EQ(ReadFileBytes(Tree("a.c")), kNew);
    EXPECT_FALSE(IsLink(Tree("Backup of a.c")));
    EXPECT_EQ(ReadFileBytes(Tree("Backup of a.c")), kOld);
}

// The user plants the link again and again while the runs go on; whatever holds the backup's
// name at the end, root's file is as it was.
TEST_F(FaultAttackedTree, BackupLinkPlantedDuringTheRunIsNeverWrittenThrough) {
    constexpr int kRuns = 10;
    const std::string secret = MakeVictim("secret");
    const std::string plant = Tree("plant.lnk"), backup = Tree("Backup of a.c");
    const std::string middle(4u << 20, 'x');
    const std::string oldText = "needle " + middle + " needle";
    const std::string newText = "PIN " + middle + " PIN";
    for (int run = 1; run <= kRuns && !HasFailure(); ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        fs::remove(backup);
        MakeTreeFile("a.c", oldText);
        Report report;
        {
            ScopedAttacker attacker(user_, [&] {
                if (::symlink(secret.c_str(), plant.c_str()) != 0) {
                }  // the name may be taken this time round
                (void)::rename(plant.c_str(), backup.c_str());
            });
            ASSERT_TRUE(attacker.Started());
            report = Run("a.c", {true});
            EXPECT_GT(attacker.Stop(), 1);
        }
        ExpectVictimsUnchanged();
        const std::string content = ReadFileBytes(Tree("a.c")).value_or("");
        EXPECT_TRUE(content == oldText || content == newText);
        EXPECT_EQ(report.files, content == newText ? 1 : 0);
        if (fs::is_regular_file(fs::symlink_status(backup))) {
            EXPECT_TRUE(ReadFileBytes(backup) == oldText) << "the backup is not the original";
        }
    }
}

// Regression: root's backup of a set-user-id file was root's, with the set-id bits copied: a
// set-user-id root program that the user had written.
TEST_F(FaultAttackedTree, BackupOfASetIdFileIsNeverRootsSetIdFile) {
    const std::pair<const char*, mode_t> files[] = {{"e.bin", 04755}, {"g.bin", 02755}};
    for (const auto& [name, mode] : files)
        MakeTreeFile(name, "#!/bin/sh\necho needle\n", mode);
    Report report = Run("*.bin", {true});
    EXPECT_EQ(report.files, 2);
    EXPECT_EQ(report.replacements, 2);
    for (const auto& [name, mode] : files) {
        SCOPED_TRACE(name);
        struct stat file, backup;
        ASSERT_EQ(::lstat(Tree(name).c_str(), &file), 0);
        EXPECT_EQ(ReadFileBytes(Tree(name)), "#!/bin/sh\necho PIN\n");
        EXPECT_EQ(file.st_uid, user_);
        EXPECT_EQ(file.st_gid, group_);
        EXPECT_EQ(file.st_mode & 07777, mode);
        const std::string backupPath = Tree(std::string("Backup of ") + name);
        ASSERT_EQ(::lstat(backupPath.c_str(), &backup), 0);
        EXPECT_TRUE(S_ISREG(backup.st_mode));
        EXPECT_EQ(ReadFileBytes(backupPath), "#!/bin/sh\necho needle\n");
        EXPECT_EQ(WiderAccess(backup, file), "");
    }
}

// Regression: a link to a file the user may not read was followed, so root's run rewrote the
// file and left a backup of its content in the user's tree. (After every case no file in the
// tree may hold a victim's content.)
TEST_F(FaultAttackedTree, LinkToASecretLeavesNoCopyOfItInTheTree) {
    MakeTreeLink("notes.txt", MakeVictim("private/secret.txt"));
    MakeTreeFile("plain.txt", kOld);
    Report report = Run("*.txt", {true});
    EXPECT_EQ(report.files, 1);
    EXPECT_EQ(report.replacements, 1);
    EXPECT_TRUE(IsLink(Tree("notes.txt")));
    EXPECT_EQ(ReadFileBytes(Tree("plain.txt")), kNew);
    EXPECT_EQ(ReadFileBytes(Tree("Backup of plain.txt")), kOld);
}

// Regression: links out of the tree were followed by Find and by Touch, so a run over the user's
// folder rewrote and touched root's files. A link to a file inside the tree is followed.
TEST_F(FaultAttackedTree, LinksOutOfTheTreeAreNeitherRewrittenNorTouched) {
    MakeTreeLink("out.c", MakeVictim("file.c"));
    MakeVictim("dir/m1.c");
    MakeVictim("dir/sub/m2.c");
    MakeTreeLink("outdir", Victim("dir"));
    // Reached only through the link: the filter does not take its own name.
    MakeTreeFile("inner/target.txt", kOld);
    MakeTreeLink("in.c", "inner/target.txt");

    Report find = Run("*.c", {});
    EXPECT_EQ(find.files, 1);
    EXPECT_EQ(find.replacements, 1);
    EXPECT_EQ(ReadFileBytes(Tree("inner/target.txt")), kNew);
    ExpectVictimsUnchanged();

    Age(Tree("inner/target.txt"));
    Report touch = Run("*.c", {false, true});
    EXPECT_EQ(touch.files, 1);
    EXPECT_GT(LastWrite(Tree("inner/target.txt")), kAgedTime);
    for (const char* link : {"out.c", "outdir", "in.c"})
        EXPECT_TRUE(IsLink(Tree(link))) << link;
}

// Folder links in a circle, to the tree itself and to the folder above it (root's), file links
// in a circle and to themselves: the walk ends, never leaves the tree, and counts each file once.
TEST_F(FaultAttackedTree, LinkLoopsEndAndCountEachFileOnce) {
    MakeVictim("v.c");
    const char* files[] = {"a/fa.c", "b/fb.c", "top.c"};
    for (const char* rel : files)
        MakeTreeFile(rel, kOld);
    const std::pair<const char*, const char*> links[] = {
        {"a/tob", "../b"}, {"b/toa", "../a"}, {"self", "."},    {"up", ".."},
        {"a/up", "../.."}, {"l1.c", "l2.c"},  {"l2.c", "l1.c"}, {"me.c", "me.c"}};
    for (const auto& [from, to] : links)
        MakeTreeLink(from, to);
    Report report = Run("*.c", {});
    EXPECT_EQ(report.files, 3);
    EXPECT_EQ(report.replacements, 3);
    for (const char* rel : files)
        EXPECT_EQ(ReadFileBytes(Tree(rel)), kNew) << rel;
    for (const auto& [from, to] : links)
        EXPECT_TRUE(IsLink(Tree(from))) << from;
}

// Regression: the new content took the file's place without its ACL or its user attributes, so
// the mode's group bits (the ACL's mask) came to mean the file's group; root's backup had
// neither.
TEST_F(FaultAttackedTree, AclAndUserAttributesSurviveTheRewriteAndTheBackup) {
    const char kAcl[] = "system.posix_acl_access";
    const std::string note = "the owner's note";
    MakeTreeFile("acl.c", kOld, 0600);
    const std::string path = Tree("acl.c");
    const std::string acl = AclXattr({{AclEntry::UserObj, 6},
                                      {AclEntry::User, 4, 12345},
                                      {AclEntry::GroupObj, 0},
                                      {AclEntry::Mask, 4},
                                      {AclEntry::Other, 0}});
    if (::lsetxattr(path.c_str(), kAcl, acl.data(), acl.size(), 0) != 0)
        GTEST_SKIP() << "the temporary folder's file system takes no ACL: " << std::strerror(errno);
    if (::lsetxattr(path.c_str(), "user.note", note.data(), note.size(), 0) != 0)
        GTEST_SKIP() << "the temporary folder's file system takes no user attribute: "
                     << std::strerror(errno);
    struct stat before, after, backup;
    ASSERT_EQ(::lstat(path.c_str(), &before), 0);
    const std::optional<std::string> aclBefore = GetXattr(path, kAcl);  // as the kernel keeps it
    ASSERT_TRUE(aclBefore);

    Report report = Run("*.c", {true});
    EXPECT_EQ(report.files, 1);
    EXPECT_EQ(report.replacements, 1);
    EXPECT_EQ(ReadFileBytes(path), kNew);
    ASSERT_EQ(::lstat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_gid, before.st_gid);
    EXPECT_EQ(GetXattr(path, kAcl), aclBefore) << "the ACL is lost or changed";
    EXPECT_EQ(GetXattr(path, "user.note"), note);

    const std::string backupPath = Tree("Backup of acl.c");
    ASSERT_EQ(::lstat(backupPath.c_str(), &backup), 0);
    EXPECT_EQ(ReadFileBytes(backupPath), kOld);
    const std::optional<std::string> backupAcl = GetXattr(backupPath, kAcl);
    if (backup.st_uid == before.st_uid && backup.st_gid == before.st_gid) {
        EXPECT_EQ(backup.st_mode, before.st_mode);
        EXPECT_EQ(backupAcl, aclBefore) << "the backup's ACL";
        EXPECT_EQ(GetXattr(backupPath, "user.note"), note);
    } else if (backupAcl) {
        // The same entries on another owner's copy: the group class is the mask, as before.
        EXPECT_EQ(backupAcl, aclBefore) << "the backup's ACL";
        EXPECT_EQ(backup.st_mode & 07, 0u);
    } else {
        EXPECT_EQ(WiderAccess(backup, before), "");
    }
}

// Regression: files named like leftovers were removed whoever's they were: root's, beside a
// link's target out of the tree; the user's, in the tree and in the temporary folder (where a
// file in a folder that takes no new file has its new content wait).
TEST_F(FaultAttackedTree, OthersFilesNamedLikeLeftoversAreNeverRemoved) {
    MakeTreeLink("f.c", MakeVictim("linked/data.c"));
    MakeVictim("linked/.scrivox-AbC123.tmp");
    MakeTreeFile(".scrivox-QwE456.tmp", "the user's own file");
    planted_.insert(".scrivox-QwE456.tmp");
    const std::string inTmp = base_.Join("tmp/.scrivox-TmP789.tmp");
    ASSERT_TRUE(WriteFileBytes(inTmp, "the user's own file"));
    ASSERT_EQ(::chown(inTmp.c_str(), user_, group_), 0);
    // A folder whose file system has no inode left takes no new file, not even root's.
    base_.MakeFolder("tree/full");
    ScopedTmpfs full(Tree("full"), "size=1m,nr_inodes=8,mode=0755,uid=" + std::to_string(user_) +
                                       ",gid=" + std::to_string(group_));
    if (!full.Mounted())
        GTEST_SKIP() << "no tmpfs of its own: " << full.Error();
    MakeTreeFile("full/g.c", kOld);
    int fillers = 0;
    while (fillers < 100 && WriteFileBytes(Tree("full/filler" + std::to_string(fillers)), ""))
        ++fillers;
    ASSERT_LT(fillers, 100) << "the tmpfs still takes new files";

    Report report = Run("*.c", {});
    EXPECT_EQ(ReadFileBytes(Tree(".scrivox-QwE456.tmp")), "the user's own file");
    EXPECT_EQ(ReadFileBytes(inTmp), "the user's own file");
    const std::string g = ReadFileBytes(Tree("full/g.c")).value_or("");
    EXPECT_TRUE(g == kOld || g == kNew);
    EXPECT_EQ(report.files, g == kNew ? 1 : 0);
    EXPECT_EQ(report.replacements, g == kNew ? 1 : 0);
}

// Regression: a file handed over again (through a folder link, a file link, its second hard
// link, a second filter) was read again after its rewrite, so a replacement that holds the find
// text was applied again, and the file counted each time.
TEST_F(FaultAttackedTree, FileReachedFourWaysIsChangedAndCountedOnce) {
    const std::string header = "png_uint_32 png_get_x(png_structp png_ptr);\n#define H png_h\n";
    MakeTreeFile("libpng16/png.h", header);
    ASSERT_EQ(::link(Tree("libpng16/png.h").c_str(), Tree("libpng16/pngalias.h").c_str()), 0);
    MakeTreeLink("libpng", "libpng16");
    MakeTreeLink("png_link.h", "libpng16/png.h");
    // What sed makes of a copy is the one right answer.
    const std::string copy = base_.Join("cwd/png.h");
    ASSERT_TRUE(WriteFileBytes(copy, header));
    const ChildOutcome sed =
        WaitForChild(Spawn({"/bin/sed", "-i", "s/png_/libpng_/g", copy}, {}, base_.Path()), 30);
    ASSERT_TRUE(sed.exited && sed.exitCode == 0);

    Report report = Run("*.h;*.*", {}, "png_", "libpng_");
    EXPECT_EQ(ReadFileBytes(Tree("libpng16/png.h")), ReadFileBytes(copy));
    EXPECT_EQ(report.files, 1);
    EXPECT_EQ(report.replacements,
              ReferenceReplace(header, "png_", "libpng_", true, false).replacements);
    struct stat one, two;
    ASSERT_EQ(::lstat(Tree("libpng16/png.h").c_str(), &one), 0);
    ASSERT_EQ(::lstat(Tree("libpng16/pngalias.h").c_str(), &two), 0);
    EXPECT_EQ(one.st_ino, two.st_ino) << "the hard links no longer share the file";
    EXPECT_TRUE(IsLink(Tree("libpng")));
    EXPECT_TRUE(IsLink(Tree("png_link.h")));
}

// Regression: "Backup of a.c" matches "*.c", so a later run (or the same one, listing the folder
// after the backup was made) rewrote the original's only copy and backed that up in turn. Touch
// has no business with the names of backups: it touches them.
TEST_F(FaultAttackedTree, BackupsAreNeverRewrittenByALaterRun) {
    MakeTreeFile("a.c", kOld);
    Report first = Run("*.c", {true});
    EXPECT_EQ(first.files, 1);
    EXPECT_EQ(first.replacements, 1);
    Report second = Run("*.c", {true});
    EXPECT_EQ(second.files, 1);
    EXPECT_EQ(second.replacements, 0);
    EXPECT_EQ(ReadFileBytes(Tree("a.c")), kNew);
    EXPECT_EQ(ReadFileBytes(Tree("Backup of a.c")), kOld);
    EXPECT_FALSE(fs::exists(fs::symlink_status(Tree("Backup of Backup of a.c"))));

    Age(Tree("a.c"));
    Age(Tree("Backup of a.c"));
    Report touch = Run("*.c", {false, true});
    EXPECT_EQ(touch.files, 2);
    EXPECT_GT(LastWrite(Tree("a.c")), kAgedTime);
    EXPECT_GT(LastWrite(Tree("Backup of a.c")), kAgedTime);
}

}  // namespace
