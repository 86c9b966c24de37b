#include "tests/fault/AttackedTree.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdlib>

namespace {

// A run that takes longer has hung: it is killed and the case fails.
constexpr double kRunDeadline = 120;

long long ParseCount(const std::string& line) {
    return line.rfind("No ", 0) == 0 ? 0 : std::strtoll(line.c_str(), nullptr, 10);
}

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

void FaultAttackedTree::SetUp() {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root: root runs the program over a tree that an unprivileged "
                        "user owns and attacks";
    const std::optional<uid_t> user = NobodyUid();
    const struct passwd* pw = user ? ::getpwuid(*user) : nullptr;
    if (!pw)
        GTEST_SKIP() << "needs an unprivileged user (nobody) to attack as";
    user_ = pw->pw_uid;
    group_ = pw->pw_gid;
    for (const char* folder : {"tree", "victim", "config/scrivox", "state", "tmp", "cwd"})
        base_.MakeFolder(folder);
    const std::pair<const char*, mode_t> modes[] = {
        {"", 0755},       {"tree", 0755}, {"victim", 0700}, {"config", 0700},
        {"state", 0700}, {"tmp", 01777}, {"cwd", 0755}};
    for (const auto& [rel, mode] : modes)
        ASSERT_EQ(::chmod((*rel ? base_.Join(rel) : base_.Path()).c_str(), mode), 0) << rel;
    ASSERT_EQ(::chown(Tree().c_str(), user_, group_), 0);
}

void FaultAttackedTree::TearDown() {
    if (!victims_)
        return;
    ExpectVictimsUnchanged();
    for (const auto& [rel, content] : TreeFiles())
        EXPECT_EQ(content.find(kVictimMark), std::string::npos)
            << rel << " holds a copy of root's file";
    for (const auto& [rel, entry] : ListTree(Tree()))
        EXPECT_FALSE(IsRunTempName(rel.substr(rel.rfind('/') + 1)) && !planted_.count(rel))
            << "temporary file left in the tree: " << rel;
    auto tmpNow = ListTree(base_.Join("tmp"));
    for (const auto& [rel, entry] : tmpNow)
        EXPECT_TRUE(tmpBefore_.count(rel)) << "left in the temporary folder: " << rel;
    for (const auto& [rel, entry] : tmpBefore_)
        EXPECT_TRUE(tmpNow.count(rel) && tmpNow[rel].inode == entry.inode)
            << "removed from the temporary folder: " << rel;
}

std::string FaultAttackedTree::Tree(const std::string& rel) const {
    return rel.empty() ? base_.Join("tree") : base_.Join("tree/" + rel);
}

std::string FaultAttackedTree::Victim(const std::string& rel) const {
    return rel.empty() ? base_.Join("victim") : base_.Join("victim/" + rel);
}

namespace {

// Makes the folders on the way to `rel` below `root`, each with this owner and mode.
void MakeFoldersOf(const std::string& root,
                   const std::string& rel,
                   uid_t uid,
                   gid_t gid,
                   mode_t mode) {
    for (size_t slash = rel.find('/'); slash != std::string::npos;
         slash = rel.find('/', slash + 1)) {
        const std::string folder = root + "/" + rel.substr(0, slash);
        if (::mkdir(folder.c_str(), mode) == 0) {
            ASSERT_EQ(::chown(folder.c_str(), uid, gid), 0) << folder;
            ASSERT_EQ(::chmod(folder.c_str(), mode), 0) << folder;
        }
    }
}

}  // namespace

void FaultAttackedTree::MakeTreeFile(const std::string& rel,
                                     const std::string& content,
                                     mode_t mode) {
    MakeFoldersOf(Tree(), rel, user_, group_, 0755);
    ASSERT_TRUE(WriteFileBytes(Tree(rel), content)) << rel;
    // Owner first: a change of owner clears the set-id bits.
    ASSERT_EQ(::chown(Tree(rel).c_str(), user_, group_), 0) << rel;
    ASSERT_EQ(::chmod(Tree(rel).c_str(), mode), 0) << rel;
}

void FaultAttackedTree::MakeTreeLink(const std::string& rel, const std::string& target) {
    MakeFoldersOf(Tree(), rel, user_, group_, 0755);
    ASSERT_EQ(::symlink(target.c_str(), Tree(rel).c_str()), 0) << rel;
    ASSERT_EQ(::lchown(Tree(rel).c_str(), user_, group_), 0) << rel;
}

std::string FaultAttackedTree::MakeVictim(const std::string& rel) {
    MakeFoldersOf(Victim(), rel, 0, 0, 0700);
    const std::string path = Victim(rel);
    EXPECT_TRUE(WriteFileBytes(path, std::string(kVictimMark) + " (" + rel + "): a needle\n"));
    EXPECT_EQ(::chmod(path.c_str(), 0600), 0);
    Age(path);
    return path;
}

void FaultAttackedTree::Age(const std::string& path) {
    const struct timespec times[2] = {{0, UTIME_OMIT}, {kAgedTime, 0}};
    EXPECT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

FaultAttackedTree::Report FaultAttackedTree::Run(const std::string& filter,
                                                 Options options,
                                                 const std::string& find,
                                                 const std::string& replace) {
    if (!victims_)
        TakeSnapshot();
    base_.Write("config/scrivox/user.reg",
                std::string("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Harrowfen\\Scrivox\\"
                            "Options]\n\"Subfolders\"=\"yes\"\n\"CaseSensitive\"=\"yes\"\n"
                            "\"WholeWords\"=\"no\"\n\"CreateBackups\"=\"") +
                    (options.backups ? "yes" : "no") + "\"\n\"Action\"=dword:0000000" +
                    (options.touch ? "2" : "1") + "\n");
    const std::string out = base_.Join("cwd/report.txt");
    const pid_t pid =
        Spawn({SCRIVOX_CLI_PATH, Tree(), filter, find, replace},
              {{"XDG_CONFIG_HOME", base_.Join("config")},
               {"XDG_STATE_HOME", base_.Join("state")},
               {"TMPDIR", base_.Join("tmp")}},
              base_.Join("cwd"), out);
    const ChildOutcome outcome = WaitForChild(pid, kRunDeadline);
    Report report;
    report.output = ReadFileBytes(out).value_or("");
    // Exit 1: some file could not be done, and the run says which.
    report.failures = outcome.exited && outcome.exitCode == 1;
    report.ended = !outcome.timedOut && outcome.exited &&
                   (outcome.exitCode == 0 ||
                    (report.failures && report.output.rfind("scrivox: " + Tree(), 0) == 0));
    size_t start = 0;
    for (size_t end; (end = report.output.find('\n', start)) != std::string::npos;
         start = end + 1) {
        const std::string line = report.output.substr(start, end - start);
        if (EndsWith(line, " processed."))
            report.files = ParseCount(line);
        else if (EndsWith(line, " made."))
            report.replacements = ParseCount(line);
    }
    EXPECT_TRUE(report.ended) << (outcome.timedOut ? "the run hung" : "the run failed") << ": "
                              << report.output;
    return report;
}

void FaultAttackedTree::TakeSnapshot() {
    VictimSnapshot snapshot;
    snapshot.Add(base_.Path(), false);
    snapshot.Add(Victim());
    victims_ = snapshot;
    tmpBefore_ = ListTree(base_.Join("tmp"));
}

void FaultAttackedTree::ExpectVictimsUnchanged() {
    if (!victims_)
        return;
    std::string changes;
    for (const std::string& line : victims_->Retake().ChangesSince(*victims_))
        changes += "\n  " + line;
    EXPECT_TRUE(changes.empty()) << "outside the tree:" << changes;
    victims_ = victims_->Retake();  // each change is reported once
}

std::map<std::string, std::string> FaultAttackedTree::TreeFiles() const {
    std::map<std::string, std::string> files;
    for (const auto& [rel, entry] : ListTree(Tree()))
        if (entry.kind == TreeEntry::File)
            files[rel] = ReadFileBytes(Tree(rel)).value_or("(unreadable)");
    return files;
}

std::optional<std::string> GetXattr(const std::string& path, const char* name) {
    const ssize_t size = ::lgetxattr(path.c_str(), name, nullptr, 0);
    if (size < 0)
        return std::nullopt;
    std::string value(size_t(size), '\0');
    const ssize_t got = ::lgetxattr(path.c_str(), name, value.data(), value.size());
    if (got < 0)
        return std::nullopt;
    value.resize(size_t(got));
    return value;
}

std::string AclXattr(std::initializer_list<AclEntry> entries) {
    std::string bytes;
    auto put = [&](uint32_t value, int size) {
        for (int i = 0; i < size; ++i)
            bytes += char((value >> (8 * i)) & 0xFF);
    };
    put(2, 4);
    for (const AclEntry& e : entries) {
        put(e.tag, 2);
        put(e.perm, 2);
        put(e.id, 4);
    }
    return bytes;
}
