// The per-user tree's file on systems without a registry.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "framework/RegistryTree.h"
#include "settings/TConfigFileSection.h"
#include "settings/TRegConfigFile.h"
#include "tests/support/ScratchRegistry.h"
#include "tests/support/TempDir.h"

namespace {

using std::string;

string FileOf(const ScratchRegistry& registry) {
    return registry.ConfigHome() + "/scrivox/user.reg";
}

mode_t ModeOf(const string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

TEST(RegistryFile, IsMadeWithItsFoldersPrivateToTheUser) {
    ScratchRegistry registry;
    TRegConfigFile store(registry.Name());
    EXPECT_TRUE(store.ReadBool("Options", "Subfolders", true));
    EXPECT_EQ(ModeOf(registry.ConfigHome()), 0700u);
    EXPECT_EQ(ModeOf(registry.ConfigHome() + "/scrivox"), 0700u);
    EXPECT_EQ(ModeOf(FileOf(registry)), 0600u);
    // The read made the key, and nothing else.
    EXPECT_EQ(ReadWholeFile(FileOf(registry)),
              "REGEDIT4\n\n"
              "[HKEY_CURRENT_USER\\Software]\n\n"
              "[HKEY_CURRENT_USER\\Software\\Harrowfen]\n\n"
              "[HKEY_CURRENT_USER\\Software\\Harrowfen\\Scrivox]\n\n"
              "[HKEY_CURRENT_USER\\Software\\Harrowfen\\Scrivox\\Options]\n\n");
}

TEST(RegistryFile, HoldsTheWritesInRegeditForm) {
    ScratchRegistry registry;
    TRegConfigFile store(registry.Name());
    TConfigFileSection options(store, "Options");
    ASSERT_TRUE(options.WriteBool("Subfolders", true));
    ASSERT_TRUE(options.WriteInteger("Action", 2));
    ASSERT_TRUE(options.WriteInteger("Negative", -2));
    ASSERT_TRUE(store.WriteBytes("Options", "Blob", "\x01\x02\xff", 3));
    ASSERT_TRUE(store.WriteString("History Lists\\Folder", "Value0", "C:\\Data \"new\""));
    ASSERT_TRUE(options.WriteBool("Subfolders", false));  // replaced in place
    EXPECT_EQ(store.ReadInteger("Empty", "Missing", 0), 0);
    EXPECT_EQ(ReadWholeFile(FileOf(registry)),
              "REGEDIT4\n\n"
              "[HKEY_CURRENT_USER\\Software]\n\n"
              "[HKEY_CURRENT_USER\\Software\\Harrowfen]\n\n"
              "[HKEY_CURRENT_USER\\Software\\Harrowfen\\Scrivox]\n\n"
              "[HKEY_CURRENT_USER\\Software\\Harrowfen\\Scrivox\\Empty]\n\n"
              "[HKEY_CURRENT_USER\\Software\\Harrowfen\\Scrivox\\History Lists]\n\n"
              "[HKEY_CURRENT_USER\\Software\\Harrowfen\\Scrivox\\History Lists\\Folder]\n"
              "\"Value0\"=\"C:\\\\Data \\\"new\\\"\"\n\n"
              "[HKEY_CURRENT_USER\\Software\\Harrowfen\\Scrivox\\Options]\n"
              "\"Subfolders\"=\"no\"\n"
              "\"Action\"=dword:00000002\n"
              "\"Negative\"=dword:fffffffe\n"
              "\"Blob\"=hex:01,02,ff\n\n");
}

TEST(RegistryFile, KeepsTheBytesOfTextsWhateverTheirEncoding) {
    ScratchRegistry registry;
    TRegConfigFile store(registry.Name());
    const string text = "caf\xe9 \xff\xfe \xc3\x28 \x80";
    ASSERT_TRUE(store.WriteString("S\xe9", "N\xff", text.c_str()));
    char buffer[64];
    EXPECT_EQ(store.ReadString("S\xe9", "N\xff", buffer, sizeof buffer, ""), text.size());
    EXPECT_EQ(string(buffer), text);
    EXPECT_NE(ReadWholeFile(FileOf(registry)).find("\"N\xff\"=\"" + text + "\"\n"), string::npos);
}

TEST(RegistryFile, ADamagedFileReadsWhatItCanAndAWriteKeepsThat) {
    ScratchRegistry registry;
    ::mkdir(registry.ConfigHome().c_str(), 0700);
    ::mkdir((registry.ConfigHome() + "/scrivox").c_str(), 0700);
    WriteWholeFile(FileOf(registry),
                   string("\x01garbage\0\n", 10) +
                       "[HKEY_CURRENT_USER\\Software\\Harrowfen\\Scrivox\\Options]\n"
                       "\"Action\"=dword:00000002\n"
                       "\"Subfolders\"=\"no\n"
                       "\"WholeWords\"=\"off\"\n"
                       "\"Blob\"=hex:zz\n"
                       "[HKEY_CURRENT_USER\\Software\\Harrowfen\\Scrivox\\History Lists\\Folder\n"
                       "\"Count\"=dword:00000005\n");
    TRegConfigFile store(registry.Name());
    TConfigFileSection options(store, "Options");
    EXPECT_EQ(options.ReadInteger("Action", 1), 2);
    EXPECT_TRUE(options.ReadBool("Subfolders", true));
    EXPECT_FALSE(options.ReadBool("WholeWords", true));
    EXPECT_EQ(store.ReadInteger("History Lists\\Folder", "Count", 0), 0);
    ASSERT_TRUE(options.WriteBool("CreateBackups", true));
    const string text = ReadWholeFile(FileOf(registry));
    EXPECT_NE(text.find("\"Action\"=dword:00000002\n\"WholeWords\"=\"off\"\n"
                        "\"CreateBackups\"=\"yes\"\n"),
              string::npos)
        << text;
    EXPECT_EQ(text.find("garbage"), string::npos);
}

TEST(RegistryFile, WithoutAUsableFolderReadsGiveDefaultsAndWritesFail) {
    TempDir dir;
    dir.Write("file", "not a folder");
    ScratchRegistry registry;
    ::setenv("XDG_CONFIG_HOME", dir.Join("file").c_str(), 1);
    TRegConfigFile store(registry.Name());
    char buffer[8];
    EXPECT_EQ(store.ReadString("S", "E", buffer, sizeof buffer, "d"), 1u);
    EXPECT_EQ(store.ReadInteger("S", "E", 5), 5);
    EXPECT_FALSE(store.WriteInteger("S", "E", 1));
    EXPECT_EQ(dir.Read("file"), "not a folder");
}

// Two processes write 200 values each at once while this one keeps reading the file: neither
// loses a value and the file is whole at every moment.
TEST(RegistryFile, ConcurrentWritersLoseNothing) {
    ScratchRegistry registry;
    constexpr int kWrites = 200;
    pid_t writers[2];
    for (int w = 0; w < 2; ++w) {
        writers[w] = ::fork();
        ASSERT_GE(writers[w], 0);
        if (writers[w] == 0) {
            TRegConfigFile store(registry.Name());
            int failures = 0;
            for (int i = 0; i < kWrites; ++i) {
                if (!store.WriteInteger("Writer" + std::to_string(w), "V" + std::to_string(i), i))
                    ++failures;
            }
            ::_exit(failures > 0 ? 1 : 0);
        }
    }
    int running = 2;
    int reads = 0;
    int bad = 0;
    while (running > 0) {
        for (pid_t& writer : writers) {
            int status;
            if (writer > 0 && ::waitpid(writer, &status, WNOHANG) == writer) {
                EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a write failed";
                writer = 0;
                --running;
            }
        }
        string text;
        try {
            text = ReadWholeFile(FileOf(registry));
        } catch (const std::exception&) {
            continue;  // not made yet
        }
        ++reads;
        if (text.rfind("REGEDIT4\n\n", 0) != 0 || text.back() != '\n' ||
            RegistryTree::Parse(text).Format() != text)
            ++bad;
    }
    EXPECT_EQ(bad, 0) << "of " << reads << " reads";
    TRegConfigFile store(registry.Name());
    for (int w = 0; w < 2; ++w) {
        const string section = "Writer" + std::to_string(w);
        EXPECT_EQ(store.EntryNames(section).size(), size_t(kWrites));
        for (int i = 0; i < kWrites; ++i)
            EXPECT_EQ(store.ReadInteger(section, "V" + std::to_string(i), -1), i);
    }
}

}  // namespace
