// The folders and files a run's journal keeps: private to the user, made new, never reached
// through a link, and removed whole.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "framework/FileIdentity.h"
#include "framework/FileOperations.h"
#include "framework/TFile.h"
#include "framework/TFolder.h"
#include "tests/support/TempDir.h"

#ifdef _WIN32
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>
#include <winioctl.h>

#include "framework/win32/WidePath.h"
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

#ifdef _WIN32
std::string SidText(PSID sid) {
    LPSTR text = nullptr;
    std::string result;
    if (ConvertSidToStringSidA(sid, &text)) {
        result = text;
        LocalFree(text);
    }
    return result;
}

std::string ThisUser() {
    HANDLE token = nullptr;
    char buffer[256];
    DWORD size = sizeof buffer;
    std::string user;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) &&
        GetTokenInformation(token, TokenUser, buffer, size, &size))
        user = SidText(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid);
    CloseHandle(token);
    return user;
}

// Its owner is this user, and it grants access to nobody but this user, SYSTEM and the
// Administrators, as a profile's folders do.
bool GrantsOnlyThisUser(const std::string& path) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (GetNamedSecurityInfoW(WidePath(path).c_str(), SE_FILE_OBJECT,
                              OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                              nullptr, &dacl, nullptr, &sd) != ERROR_SUCCESS)
        return false;
    const std::string user = ThisUser();
    bool only = dacl && SidText(owner) == user;
    for (DWORD i = 0; only && i < dacl->AceCount; ++i) {
        ACE_HEADER* ace = nullptr;
        only = GetAce(dacl, i, reinterpret_cast<void**>(&ace));
        if (only && ace->AceType == ACCESS_ALLOWED_ACE_TYPE) {
            const std::string sid = SidText(&reinterpret_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart);
            only = sid == user || sid == "S-1-5-18" || sid == "S-1-5-32-544";
        }
    }
    LocalFree(sd);
    return only;
}

// Everyone may read it as well.
bool OpenToOthers(const std::string& path) {
    const std::wstring sddl = L"D:P(A;OICI;FA;;;" + Widen(ThisUser()) + L")(A;OICI;FR;;;WD)";
    PSECURITY_DESCRIPTOR sd = nullptr;
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &sd,
                                                              nullptr))
        return false;
    GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted);
    std::wstring wide = WidePath(path);
    const DWORD error = SetNamedSecurityInfoW(
        &wide[0], SE_FILE_OBJECT, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
        nullptr, nullptr, dacl, nullptr);
    LocalFree(sd);
    return error == ERROR_SUCCESS;
}

// A junction: the link to a folder that needs no privilege. False where the file system makes
// none (Wine).
bool MakeFolderLink(const std::string& target, const std::string& link) {
    if (!CreateDirectoryW(WidePath(link).c_str(), nullptr))
        return false;
    HANDLE h = CreateFileW(WidePath(link).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    const std::wstring substitute = L"\\??\\" + WidePath(target);
    struct {
        DWORD tag;
        WORD length, reserved, substituteOffset, substituteLength, printOffset, printLength;
        WCHAR names[1024];
    } data{};
    data.tag = IO_REPARSE_TAG_MOUNT_POINT;
    data.substituteLength = static_cast<WORD>(substitute.size() * sizeof(WCHAR));
    data.printOffset = data.substituteLength + sizeof(WCHAR);
    substitute.copy(data.names, substitute.size());
    data.length = static_cast<WORD>(8 + data.printOffset + sizeof(WCHAR));
    DWORD got = 0;
    const bool made = h != INVALID_HANDLE_VALUE &&
                      DeviceIoControl(h, FSCTL_SET_REPARSE_POINT, &data, 8 + data.length, nullptr,
                                      0, &got, nullptr);
    CloseHandle(h);
    const DWORD attributes = GetFileAttributesW(WidePath(link).c_str());
    if (!made || attributes == INVALID_FILE_ATTRIBUTES ||
        !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        RemoveDirectoryW(WidePath(link).c_str());
        return false;
    }
    return true;
}

void SetReadOnly(const std::string& path) {
    ASSERT_TRUE(SetFileAttributesW(WidePath(path).c_str(), FILE_ATTRIBUTE_READONLY));
}

bool IsReadOnly(const std::string& path) {
    return GetFileAttributesW(WidePath(path).c_str()) & FILE_ATTRIBUTE_READONLY;
}

void MakeHardLink(const std::string& existing, const std::string& name) {
    ASSERT_TRUE(CreateHardLinkW(WidePath(name).c_str(), WidePath(existing).c_str(), nullptr));
}
#else
bool GrantsOnlyThisUser(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && st.st_uid == ::geteuid() && (st.st_mode & 077) == 0;
}

bool OpenToOthers(const std::string& path) {
    return ::chmod(path.c_str(), 0755) == 0;
}

bool MakeFolderLink(const std::string& target, const std::string& link) {
    return ::symlink(target.c_str(), link.c_str()) == 0;
}

void SetReadOnly(const std::string& path) {
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
}

bool IsReadOnly(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && !(st.st_mode & S_IWUSR);
}

void MakeHardLink(const std::string& existing, const std::string& name) {
    ASSERT_EQ(::link(existing.c_str(), name.c_str()), 0);
}
#endif

std::string ReadAll(TFile& file) {
    std::string text(64, '\0');
    const long long n = file.ReadAt(0, &text[0], text.size());
    text.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return text;
}

TEST(JournalFolders, PrivateFolderIsMadeWithItsParentsAndMustStayPrivate) {
    TempDir dir;
    TFolder runs, again, run;
    ASSERT_TRUE(runs.OpenPrivate(dir.Join("state/app/runs")));
    EXPECT_TRUE(GrantsOnlyThisUser(dir.Join("state/app")));
    EXPECT_TRUE(GrantsOnlyThisUser(dir.Join("state/app/runs")));
    ASSERT_TRUE(again.OpenPrivate(dir.Join("state/app/runs")));
    FileIdentity first, second;
    ASSERT_TRUE(runs.GetIdentity(first) && again.GetIdentity(second));
    EXPECT_EQ(first, second);

    ASSERT_TRUE(runs.MakeSubfolder("1", run));
    EXPECT_TRUE(GrantsOnlyThisUser(dir.Join("state/app/runs/1")));
    EXPECT_FALSE(runs.MakeSubfolder("1", run)) << "an existing folder is not made again";

    ASSERT_TRUE(OpenToOthers(dir.Join("state/app/runs")));
    EXPECT_FALSE(again.OpenPrivate(dir.Join("state/app/runs")));
    EXPECT_FALSE(again.OpenPrivate("relative/runs"));
    EXPECT_FALSE(again.OpenWithoutLinks("relative"));
}

TEST(JournalFolders, FilesAreMadeNewPrivateAndReadBack) {
    TempDir dir;
    TFolder folder;
    ASSERT_TRUE(folder.OpenPrivate(dir.Join("j")));
    TFile out;
    ASSERT_TRUE(out.CreateIn(folder, "journal"));
    ASSERT_TRUE(out.WriteAll("line\n", 5));
    EXPECT_TRUE(out.Sync());
    EXPECT_TRUE(folder.Sync());
    ASSERT_TRUE(out.Close());
    EXPECT_TRUE(GrantsOnlyThisUser(dir.Join("j/journal")));

    TFile again;
    EXPECT_FALSE(again.CreateIn(folder, "journal")) << "an existing name is refused";
    EXPECT_EQ(dir.Read("j/journal"), "line\n");

    TFile in;
    ASSERT_TRUE(in.OpenIn(folder, "journal"));
    FileStamp stamp;
    ASSERT_TRUE(in.GetStamp(stamp));
    EXPECT_EQ(stamp.size, 5u);
    EXPECT_EQ(ReadAll(in), "line\n");
    dir.MakeFolder("j/sub");
    EXPECT_FALSE(in.OpenIn(folder, "sub")) << "only a regular file opens";
    EXPECT_FALSE(in.OpenIn(folder, "missing"));
}

// A link planted on the way or in the folder leads nowhere: the walk refuses it, the files are
// not opened through it, and a removal takes the link alone.
TEST(JournalFolders, LinksAreNeverFollowed) {
    TempDir dir;
    dir.Write("target/kept.txt", "not to be touched");
    if (!MakeFolderLink(dir.Join("target"), dir.Join("link")))
        GTEST_SKIP() << "no link to a folder can be made here";
    TFolder folder;
    EXPECT_FALSE(folder.OpenWithoutLinks(dir.Join("link")));
    EXPECT_FALSE(folder.OpenPrivate(dir.Join("link/runs")));
    EXPECT_FALSE(dir.Exists("target/runs"));
    ASSERT_TRUE(folder.OpenWithoutLinks(dir.Join("target")));

    TFolder top;
    ASSERT_TRUE(top.OpenWithoutLinks(dir.Path()));
    TFile file;
    EXPECT_FALSE(file.OpenIn(top, "link"));
    EXPECT_FALSE(file.CreateIn(top, "link"));
    EXPECT_TRUE(top.RemoveTree("link"));
    EXPECT_FALSE(dir.Exists("link"));
    EXPECT_EQ(dir.Read("target/kept.txt"), "not to be touched");
}

// A run's folder goes with everything in it: read-only copies, and names of files that live on
// elsewhere, which keep what they had.
TEST(JournalFolders, TreesAreRemovedWhole) {
    TempDir dir;
    TFolder runs, run, old;
    ASSERT_TRUE(runs.OpenPrivate(dir.Join("runs")));
    ASSERT_TRUE(runs.MakeSubfolder("r1", run));
    ASSERT_TRUE(run.MakeSubfolder("old", old));
    TFile copy;
    ASSERT_TRUE(copy.CreateIn(old, "1"));
    ASSERT_TRUE(copy.WriteAll("old content", 11) && copy.Close());
    SetReadOnly(dir.Join("runs/r1/old/1"));
    dir.Write("user.txt", "the user's");
    SetReadOnly(dir.Join("user.txt"));
    MakeHardLink(dir.Join("user.txt"), dir.Join("runs/r1/old/2"));
    dir.MakeFolder("runs/r1/old/deep/deeper");

    // Closed, as when old runs are dropped: before Windows 10 (and under Wine) a folder held open
    // is removed only when it is closed, and its parent not before.
    run = TFolder();
    old = TFolder();
    EXPECT_TRUE(runs.RemoveTree("r1"));
    EXPECT_FALSE(dir.Exists("runs/r1"));
    EXPECT_EQ(dir.Read("user.txt"), "the user's");
    EXPECT_TRUE(IsReadOnly(dir.Join("user.txt")));
    EXPECT_TRUE(runs.RemoveTree("r1")) << "nothing left to remove";
}

// The journal keeps the very file that was read, or nothing, though its name leads to another
// file by now.
TEST(JournalFolders, OpenFileIsLinkedNotItsName) {
    TempDir dir;
    TFolder keep;
    ASSERT_TRUE(keep.OpenPrivate(dir.Join("keep")));
    dir.Write("a.txt", "what was read");
    TFile in;
    ASSERT_TRUE(in.OpenRead(dir.Join("a.txt")));
    ASSERT_TRUE(LinkOpenFile(in, keep, "1"));
    EXPECT_FALSE(LinkOpenFile(in, keep, "1")) << "an existing name is not replaced";
    TFile kept;
    FileStamp read, linked;
    ASSERT_TRUE(kept.OpenIn(keep, "1"));
    ASSERT_TRUE(in.GetStamp(read) && kept.GetStamp(linked));
    EXPECT_EQ(read.identity, linked.identity);

    fs::rename(dir.Join("a.txt"), dir.Join("moved.txt"));
    dir.Write("a.txt", "another file");
    if (LinkOpenFile(in, keep, "2"))
        EXPECT_EQ(dir.Read("keep/2"), "what was read");
    else
        EXPECT_FALSE(dir.Exists("keep/2"));
}

}  // namespace
