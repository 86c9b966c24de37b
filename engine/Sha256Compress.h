#pragma once

#include <cstddef>
#include <cstdint>

// Inside Sha256: the compression of whole 64-byte blocks into the eight state words, in one of
// several ways that give the same result. The fastest this processor has is used; tests and
// benchmarks may choose another, to check that the ways agree and to time each.
namespace sha256 {

// The round constants, K0 to K63.
extern const std::uint32_t kRound[64];

enum class Path {
    Portable,          // plain C++, everywhere
    X86ShaExtensions,  // sha256rnds2, sha256msg1 and sha256msg2 on x86 processors that have them
};

using CompressFunction = void (*)(std::uint32_t state[8], const std::uint8_t* blocks,
                                  std::size_t count);

void CompressPortable(std::uint32_t state[8], const std::uint8_t* blocks, std::size_t count);

// Null where this build or this processor lacks the instructions.
CompressFunction X86ShaExtensions();

// The path every Sha256 uses from now on; false, and nothing changed, where it cannot run here.
bool UsePath(Path path);
Path PathInUse();
const char* PathName(Path path);

// The compression in use.
CompressFunction Compress();

}  // namespace sha256
