#include "engine/Sha256.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "engine/Sha256Compress.h"

#include "tests/support/TempDir.h"
#ifndef _WIN32
#include "tests/support/ShellCommand.h"
#endif

namespace {

using sha256::Path;

// The compressions this build has on this processor, the portable one first.
std::vector<Path> PathsHere() {
    std::vector<Path> paths{Path::Portable};
    if (sha256::X86ShaExtensions())
        paths.push_back(Path::X86ShaExtensions);
    return paths;
}

// Puts back the compression a test found in use.
class PathChoice {
public:
    PathChoice() : before_(sha256::PathInUse()) {}
    ~PathChoice() { (void)sha256::UsePath(before_); }
    PathChoice(const PathChoice&) = delete;
    PathChoice& operator=(const PathChoice&) = delete;

private:
    Path before_;
};

std::string RandomBytes(std::size_t length, std::mt19937& rng) {
    std::string data(length, '\0');
    for (char& c : data)
        c = char(rng());
    return data;
}

// FIPS 180-2's examples, and one more block boundary than they cross, on every path.
TEST(Sha256, PublishedVectors) {
    const struct {
        std::string message;
        const char* digest;
    } kCases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrl"
         "mnopqrsmnopqrstnopqrstu",
         "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    PathChoice restore;
    for (Path path : PathsHere()) {
        ASSERT_TRUE(sha256::UsePath(path));
        SCOPED_TRACE(sha256::PathName(path));
        for (const auto& c : kCases) {
            SCOPED_TRACE(c.message.size());
            EXPECT_EQ(ToHex(Sha256::Of(c.message)), c.digest);
        }
    }
}

// The fastest path is the one used, and every path gives the portable one's digests for every
// length up to 17 blocks and some far longer, whole and in uneven pieces (so that blocks come
// both from the caller's memory, many at a time, and from the object's buffer).
TEST(Sha256, EveryPathAgreesWithThePortableOne) {
    const std::vector<Path> paths = PathsHere();
    EXPECT_EQ(sha256::PathInUse(), paths.back());
    if (paths.size() == 1)
        GTEST_SKIP() << "only the portable path on this processor";

    std::mt19937 rng(13);
    std::vector<std::string> messages;
    for (std::size_t length = 0; length <= 17 * 64; ++length)
        messages.push_back(RandomBytes(length, rng));
    for (std::size_t length : {65536u, 65599u, 1000003u})
        messages.push_back(RandomBytes(length, rng));

    PathChoice restore;
    auto digests = [&](Path path, std::size_t piece) {
        EXPECT_TRUE(sha256::UsePath(path));
        std::vector<Sha256::Digest> all;
        Sha256 h;
        for (const std::string& m : messages) {
            for (std::size_t at = 0; at < m.size(); at += piece)
                h.Update(m.data() + at, std::min(piece, m.size() - at));
            all.push_back(h.Final());
        }
        return all;
    };
    const std::vector<Sha256::Digest> portable = digests(Path::Portable, ~std::size_t{0});
    for (Path path : paths) {
        SCOPED_TRACE(sha256::PathName(path));
        for (std::size_t piece : {~std::size_t{0}, std::size_t{1}, std::size_t{63}, std::size_t{200}}) {
            SCOPED_TRACE(piece);
            const std::vector<Sha256::Digest> got = digests(path, piece);
            for (std::size_t i = 0; i < messages.size(); ++i)
                ASSERT_EQ(got[i], portable[i]) << "length " << messages[i].size();
        }
    }
}

TEST(Sha256, PiecesOfEverySizeGiveTheWholeDigest) {
    std::mt19937 rng(7);
    std::string data(1000, '\0');
    for (char& c : data)
        c = char(rng());
    const Sha256::Digest whole = Sha256::Of(data);
    Sha256 h;
    for (std::size_t piece = 1; piece <= 200; ++piece) {
        for (std::size_t at = 0; at < data.size(); at += piece)
            h.Update(data.data() + at, std::min(piece, data.size() - at));
        h.Update(nullptr, 0);
        ASSERT_EQ(h.Final(), whole) << "pieces of " << piece;  // Final starts afresh
    }
}

TEST(Sha256, AgreesWithSha256sum) {
#ifdef _WIN32
    GTEST_SKIP() << "sha256sum is a POSIX tool";
#else
    if (!HaveProgram("sha256sum"))
        GTEST_SKIP() << "no sha256sum";
    // Lengths either side of where the padding takes a second block.
    const std::size_t kLengths[] = {1, 55, 56, 57, 63, 64, 65, 119, 120, 128, 4097, 100003};
    TempDir dir;
    std::mt19937 rng(11);
    std::string files, expected;
    for (std::size_t length : kLengths) {
        std::string data(length, '\0');
        for (char& c : data)
            c = char(rng());
        const std::string name = "f" + std::to_string(length);
        dir.Write(name, data);
        files += " " + name;
        expected += ToHex(Sha256::Of(data)) + "  " + name + "\n";
    }
    ASSERT_EQ(RunShell("cd " + ShellQuoted(dir.Path()) + " && sha256sum" + files + " >sums"), 0);
    EXPECT_EQ(dir.Read("sums"), expected);
#endif
}

}  // namespace
