#include "framework/FileReplacement.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "framework/FileIdentity.h"
#include "framework/FileOperations.h"
#include "framework/TFile.h"
#include "framework/TFileName.h"
#include "tests/support/TempDir.h"

#ifdef _WIN32
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include "framework/win32/UniqueHandle.h"
#include "framework/win32/WidePath.h"
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

#ifdef _WIN32
// Who may do what with a file, as SDDL ("D:P(A;;FA;;;...)"); empty when it cannot be read.
std::string DaclOf(const std::string& path) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    std::string text;
    if (GetNamedSecurityInfoW(WidePath(path).c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, &dacl, nullptr, &sd) != ERROR_SUCCESS)
        return text;
    LPWSTR sddl = nullptr;
    if (ConvertSecurityDescriptorToStringSecurityDescriptorW(
            sd, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &sddl, nullptr)) {
        text = Narrow(sddl);
        LocalFree(sddl);
    }
    LocalFree(sd);
    return text;
}

// Sets what `sddl` says of the file's owner or access control list; returns the error.
DWORD SetSecurity(const std::string& path, SECURITY_INFORMATION what, const std::wstring& sddl) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &sd,
                                                              nullptr))
        return GetLastError();
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    PSID owner = nullptr;
    GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted);
    GetSecurityDescriptorOwner(sd, &owner, &defaulted);
    std::wstring wide = WidePath(path);
    DWORD error =
        SetNamedSecurityInfoW(&wide[0], SE_FILE_OBJECT, what, owner, nullptr, dacl, nullptr);
    LocalFree(sd);
    return error;
}

std::wstring ThisUser() {
    HANDLE token = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
    char buffer[256];
    DWORD size = sizeof buffer;
    std::wstring text;
    LPWSTR sid = nullptr;
    if (GetTokenInformation(token, TokenUser, buffer, size, &size) &&
        ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &sid)) {
        text = sid;
        LocalFree(sid);
    }
    CloseHandle(token);
    return text;
}
#endif

bool Replace(const std::string& path,
             const std::string& content,
             TFileReplacement::Method* method = nullptr) {
    TFileReplacement r;
    bool ok = r.Begin(path) && r.Write(content.data(), content.size()) && r.Commit();
    if (method)
        *method = r.UsedMethod();
    return ok;
}

size_t Leftovers(const std::string& folder) {
    size_t n = 0;
    for (const auto& e : fs::directory_iterator(folder))
        n += IsReplacementName(e.path().filename().string().c_str()) ? 1 : 0;
    return n;
}

#ifdef _WIN32
const char* kLeftover = "~scrivox-0000000a0001.tmp";
const char* kLeftoverFolder = "~scrivox-0000000a0002.tmp";

void MakeHardLink(const std::string& existing, const std::string& name) {
    ASSERT_TRUE(CreateHardLinkW(WidePath(name).c_str(), WidePath(existing).c_str(), nullptr));
}
#else
const char* kLeftover = ".scrivox-AbC123.tmp";
const char* kLeftoverFolder = ".scrivox-AbC124.tmp";

void MakeHardLink(const std::string& existing, const std::string& name) {
    ASSERT_EQ(::link(existing.c_str(), name.c_str()), 0);
}
#endif

TEST(FileReplacement, ReplacesTheContentInOneStep) {
    TempDir dir;
    dir.Write("a.txt", "old content");
    TFileReplacement::Method method;
    ASSERT_TRUE(Replace(dir.Join("a.txt"), "new", &method));
    EXPECT_EQ(method, TFileReplacement::Method::Rename);
    EXPECT_EQ(dir.Read("a.txt"), "new");
    EXPECT_EQ(Leftovers(dir.Path()), 0u);
    EXPECT_FALSE(Replace(dir.Join("missing.txt"), "x"));
    EXPECT_FALSE(dir.Exists("missing.txt"));
}

TEST(FileReplacement, UncommittedReplacementLeavesTheFileAndNoTrace) {
    TempDir dir;
    dir.Write("a.txt", "old");
    {
        TFileReplacement r;
        ASSERT_TRUE(r.Begin(dir.Join("a.txt")));
        ASSERT_TRUE(r.Write("new", 3));
        EXPECT_EQ(Leftovers(dir.Path()), 1u);
        // A live replacement is not taken for a leftover.
        EXPECT_EQ(RemoveStaleReplacements(dir.Path()), 0);
    }
    EXPECT_EQ(dir.Read("a.txt"), "old");
    EXPECT_EQ(Leftovers(dir.Path()), 0u);
}

TEST(FileReplacement, LeftoversOfAKilledRunAreRemoved) {
    TempDir dir;
    dir.Write(kLeftover, "half written");
    dir.Write("keep.tmp", "a user's file");
    dir.MakeFolder(std::string(kLeftoverFolder) + "/inside");  // only files are leftovers
    EXPECT_TRUE(IsReplacementName(kLeftover));
    EXPECT_FALSE(IsReplacementName("keep.tmp"));
    EXPECT_EQ(RemoveStaleReplacements(dir.Path()), 1);
    EXPECT_FALSE(dir.Exists(kLeftover));
    EXPECT_TRUE(dir.Exists("keep.tmp"));
    EXPECT_TRUE(dir.Exists(std::string(kLeftoverFolder) + "/inside"));
}

TEST(FileReplacement, BackupCopyIsWholeOrAbsent) {
    TempDir dir;
    dir.Write("a", "content");
    dir.Write("b", "older copy");
    TFile source;
    ASSERT_TRUE(source.OpenRead(dir.Join("a")));
    ASSERT_TRUE(CopyToBackup(source, TFileName(dir.Join("a")), "b"));
    EXPECT_EQ(dir.Read("b"), "content");
    dir.MakeFolder("c/x");
    EXPECT_FALSE(CopyToBackup(source, TFileName(dir.Join("a")), "c"));
    EXPECT_EQ(Leftovers(dir.Path()), 0u);
}

#ifdef _WIN32
// Whether or not the new file's stamp was asked for first (a run with a journal asks), and
// whatever attributes the file had, none at all included.
TEST(FileReplacement, KeepsTheFileAttributes) {
    TempDir dir;
    for (DWORD had : {DWORD{FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE},
                      DWORD{FILE_ATTRIBUTE_NORMAL}}) {
        for (bool stampFirst : {false, true}) {
            dir.Write("s.txt", "old");
            ASSERT_TRUE(SetFileAttributesA(dir.Join("s.txt").c_str(), had));
            TFileReplacement r;
            FileStamp told;
            bool timeKnown = false;
            ASSERT_TRUE(r.Begin(dir.Join("s.txt")));
            ASSERT_TRUE(r.Write("new", 3));
            if (stampFirst) {
                ASSERT_TRUE(r.NewStamp(told, timeKnown));
            }
            ASSERT_TRUE(r.Commit());
            EXPECT_EQ(dir.Read("s.txt"), "new");
            // A plain file may read as "normal" or as "archive", before as after.
            const DWORD plain = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NORMAL;
            const DWORD attrs = GetFileAttributesA(dir.Join("s.txt").c_str());
            EXPECT_EQ(attrs & ~plain, had & ~plain)
                << std::hex << attrs << " for " << had << (stampFirst ? ", stamp first" : "");
            ASSERT_TRUE(SetFileAttributesA(dir.Join("s.txt").c_str(), FILE_ATTRIBUTE_NORMAL));
        }
    }
}

// The new content takes the name by a rename through its own handle: a file that another
// program holds open without letting it go keeps its content, and nothing is left behind; the
// name, once free, is replaced, and the file under it is the new one.
TEST(FileReplacement, AFileHeldOpenIsNotRenamedOver) {
    TempDir dir;
    dir.Write("held.txt", "old");
    {
        UniqueFile holder(CreateFileW(WidePath(dir.Join("held.txt")).c_str(), GENERIC_READ,
                                      FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(holder);
        EXPECT_FALSE(Replace(dir.Join("held.txt"), "new"));
    }
    EXPECT_EQ(dir.Read("held.txt"), "old");
    EXPECT_EQ(Leftovers(dir.Path()), 0u);
    TFileReplacement::Method method;
    FileIdentity before, after;
    ASSERT_TRUE(GetFileIdentity(dir.Join("held.txt"), before));
    ASSERT_TRUE(Replace(dir.Join("held.txt"), "new", &method));
    EXPECT_EQ(method, TFileReplacement::Method::Rename);
    EXPECT_EQ(dir.Read("held.txt"), "new");
    ASSERT_TRUE(GetFileIdentity(dir.Join("held.txt"), after));
    EXPECT_FALSE(after == before);
    EXPECT_EQ(Leftovers(dir.Path()), 0u);
}
#else
TEST(FileReplacement, KeepsPermissionsAndReplacesALinksTarget) {
    TempDir dir;
    dir.Write("real.txt", "old");
    ASSERT_EQ(::chmod(dir.Join("real.txt").c_str(), 0751), 0);
    ASSERT_EQ(::symlink("real.txt", dir.Join("link.txt").c_str()), 0);
    ASSERT_TRUE(Replace(dir.Join("link.txt"), "new"));
    struct stat st;
    ASSERT_EQ(::lstat(dir.Join("link.txt").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(::stat(dir.Join("real.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0751u);
    EXPECT_EQ(dir.Read("real.txt"), "new");
}
#endif

TEST(FileReplacement, HardLinkedFilesAreRewrittenInPlace) {
    TempDir dir;
    dir.Write("one.txt", "old");
    MakeHardLink(dir.Join("one.txt"), dir.Join("two.txt"));
    TFileReplacement::Method method;
    ASSERT_TRUE(Replace(dir.Join("one.txt"), "new content", &method));
    EXPECT_EQ(method, TFileReplacement::Method::InPlace);
    EXPECT_EQ(dir.Read("two.txt"), "new content");
    EXPECT_EQ(Leftovers(dir.Path()), 0u);
}

// Replacements flushed as a group (or, where the system declines, each on its own) end exactly
// as replacements committed one by one, hard-linked files included.
TEST(FileReplacement, GroupFlushedReplacementsCommitWhole) {
    TempDir dir;
    std::vector<std::string> names = {"a.txt", "b.txt", "c.txt"};
    for (const std::string& name : names)
        dir.Write(name, "old " + name);
    names.push_back("linked.txt");
    dir.Write("linked.txt", "old linked.txt");
    MakeHardLink(dir.Join("linked.txt"), dir.Join("other name"));
    for (size_t with = 1; with <= names.size(); ++with) {
        std::vector<std::unique_ptr<TFileReplacement>> group;
        std::vector<TFileReplacement*> pointers;
        for (size_t i = 0; i < with; ++i) {
            group.emplace_back(new TFileReplacement);
            const std::string content = "new " + std::to_string(with) + " " + names[i];
            ASSERT_TRUE(group.back()->Begin(dir.Join(names[i])));
            ASSERT_TRUE(group.back()->Write(content.data(), content.size()));
            group.back()->StartFlush();
            pointers.push_back(group.back().get());
        }
        const bool together = TFileReplacement::FlushTogether(pointers.data(), pointers.size());
        if (with == 1) {
            EXPECT_FALSE(together) << "one file gains nothing from a group flush";
        }
        for (auto& r : group)
            EXPECT_TRUE(r->Commit());
        for (size_t i = 0; i < with; ++i)
            EXPECT_EQ(dir.Read(names[i]), "new " + std::to_string(with) + " " + names[i]);
        EXPECT_EQ(Leftovers(dir.Path()), 0u);
    }
    EXPECT_EQ(dir.Read("other name"), dir.Read("linked.txt"));
}

// What NewStamp tells before the commit is what the file is after it: the journal recognises the
// file by it. A file rewritten in place keeps its identity, and its time is not known before.
TEST(FileReplacement, NewStampTellsWhatTheFileWillBe) {
    TempDir dir;
    dir.Write("a.txt", "old");
    dir.Write("one.txt", "old");
    MakeHardLink(dir.Join("one.txt"), dir.Join("two.txt"));
    for (const std::string name : {"a.txt", "one.txt"}) {
        TFileReplacement r;
        FileStamp before, told, after;
        bool timeKnown = false;
        ASSERT_TRUE(GetFileStamp(dir.Join(name), before));
        ASSERT_TRUE(r.Begin(dir.Join(name)));
        EXPECT_EQ(r.InPlace(), name == "one.txt");
        ASSERT_TRUE(r.Write("new content", 11));
        ASSERT_TRUE(r.NewStamp(told, timeKnown));
        ASSERT_TRUE(r.Commit());
        ASSERT_TRUE(GetFileStamp(dir.Join(name), after));
        EXPECT_EQ(told.size, 11u);
        EXPECT_EQ(told.identity, after.identity) << name;
        EXPECT_EQ(timeKnown, !r.InPlace());
        if (timeKnown)
            EXPECT_EQ(told.lastWrite, after.lastWrite) << name;
        else
            EXPECT_EQ(after.identity, before.identity) << name;
    }
}

// An undo puts old content back with what the old file had: the model's permissions (Windows:
// attributes and access control list) and, kept, its time; not those of the file it replaces.
TEST(FileReplacement, AModelGivesTheNewFileWhatItHas) {
    TempDir dir;
    dir.Write("a.txt", "the run's content");
    dir.Write("model.txt", "old content");
    const auto old = fs::last_write_time(dir.Join("model.txt")) - std::chrono::hours(240);
    fs::last_write_time(dir.Join("model.txt"), old);
#ifdef _WIN32
    ASSERT_TRUE(SetFileAttributesW(WidePath(dir.Join("model.txt")).c_str(),
                                   FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE));
    ASSERT_EQ(SetSecurity(dir.Join("model.txt"),
                          DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                          L"D:P(A;;FA;;;" + ThisUser() + L")(A;;FA;;;WD)"),
              DWORD{ERROR_SUCCESS});
    const std::string modelDacl = DaclOf(dir.Join("model.txt"));
    ASSERT_NE(modelDacl, DaclOf(dir.Join("a.txt")));
#else
    ASSERT_EQ(::chmod(dir.Join("a.txt").c_str(), 0600), 0);
    ASSERT_EQ(::chmod(dir.Join("model.txt").c_str(), 0640), 0);
#endif
    TFile current, model;
    ASSERT_TRUE(current.OpenRead(dir.Join("a.txt")) && model.OpenRead(dir.Join("model.txt")));
    TFileReplacement r;
    r.KeepLastWriteTime(true);
    ASSERT_TRUE(r.Begin(TFileName(dir.Join("a.txt")), current, &model));
    ASSERT_TRUE(r.Write("old content", 11));
    FileStamp told;
    bool timeKnown = false;
    ASSERT_TRUE(r.NewStamp(told, timeKnown) && timeKnown);
    // Closed first: Wine replaces no file that is open, though its handle lets others delete it.
    ASSERT_TRUE(current.Close());
    ASSERT_TRUE(r.Commit());
    EXPECT_EQ(dir.Read("a.txt"), "old content");
    EXPECT_EQ(fs::last_write_time(dir.Join("a.txt")), old);
    EXPECT_EQ(Leftovers(dir.Path()), 0u);
#ifdef _WIN32
    const DWORD attributes = GetFileAttributesW(WidePath(dir.Join("a.txt")).c_str());
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_SYSTEM);
    EXPECT_FALSE(attributes & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(DaclOf(dir.Join("a.txt")), modelDacl);
#else
    struct stat st;
    ASSERT_EQ(::stat(dir.Join("a.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
#endif
}

#ifdef _WIN32
// The backup and the new content carry the original's access control list, not the one the
// folder gives new files: here everyone may change the file. (Wine keeps a list as the Unix
// permissions it maps to, which tell this one from a new file's.)
TEST(FileReplacement, BackupAndNewContentKeepTheOriginalsAccessControlList) {
    TempDir dir;
    dir.Write("a.txt", "old");
    dir.Write("fresh.txt", "");
    ASSERT_EQ(SetSecurity(dir.Join("a.txt"),
                          DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                          L"D:P(A;;FA;;;" + ThisUser() + L")(A;;FA;;;WD)"),
              DWORD{ERROR_SUCCESS});
    const std::string original = DaclOf(dir.Join("a.txt"));
    ASSERT_FALSE(original.empty());
    ASSERT_NE(original, DaclOf(dir.Join("fresh.txt"))) << "the list was not set";

    TFile source;
    ASSERT_TRUE(source.OpenRead(dir.Join("a.txt")));
    ASSERT_TRUE(CopyToBackup(source, TFileName(dir.Join("a.txt")), "Backup of a.txt"));
    ASSERT_TRUE(source.Close());
    EXPECT_EQ(DaclOf(dir.Join("Backup of a.txt")), original);
    ASSERT_TRUE(Replace(dir.Join("a.txt"), "new"));
    EXPECT_EQ(DaclOf(dir.Join("a.txt")), original);
}

// Where a file can belong to someone else (not under Wine, which keeps every file the user's),
// a leftover of another user is theirs to remove.
TEST(FileReplacement, LeftoversOfAnotherOwnerAreKept) {
    TempDir dir;
    dir.Write(kLeftover, "another user's");
    (void)SetSecurity(dir.Join(kLeftover), OWNER_SECURITY_INFORMATION, L"O:SY");
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    PSID system = nullptr;
    ASSERT_TRUE(ConvertStringSidToSidW(L"S-1-5-18", &system));
    ASSERT_EQ(
        GetNamedSecurityInfoW(WidePath(dir.Join(kLeftover)).c_str(), SE_FILE_OBJECT,
                              OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr, &sd),
        DWORD{ERROR_SUCCESS});
    const bool given = EqualSid(owner, system);
    LocalFree(sd);
    LocalFree(system);
    if (!given)
        GTEST_SKIP() << "no file here can belong to another user";
    EXPECT_EQ(RemoveStaleReplacements(dir.Path()), 0);
    EXPECT_TRUE(dir.Exists(kLeftover));
}
#endif

}  // namespace
