// Times SHA-256 on each compression this processor has, as a run's journal hashes a changed
// file: one Sha256 fed in the scanner's 64 KiB blocks.
//
//   sha_bench [--mib N] [--repeat N]
//
// Prints a Markdown table of MB/s (10^6 bytes a second; the best and the median of the repeats).

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engine/Sha256.h"
#include "engine/Sha256Compress.h"

int main(int argc, char** argv) {
    std::size_t mib = 64;
    int repeat = 7;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--mib") == 0) {
            mib = std::strtoul(argv[i + 1], nullptr, 10);
        } else if (std::strcmp(argv[i], "--repeat") == 0) {
            repeat = std::atoi(argv[i + 1]);
        } else {
            std::fprintf(stderr, "usage: sha_bench [--mib N] [--repeat N]\n");
            return 2;
        }
    }
    if (mib == 0 || repeat < 1 || argc % 2 == 0) {
        std::fprintf(stderr, "usage: sha_bench [--mib N] [--repeat N]\n");
        return 2;
    }

    std::vector<unsigned char> data(mib << 20);
    std::mt19937 rng(1);
    for (unsigned char& c : data)
        c = static_cast<unsigned char>(rng());
    constexpr std::size_t kBlock = 64 * 1024;

    std::printf("%zu MiB hashed %d times per path, in blocks of %zu KiB\n\n", mib, repeat,
                kBlock / 1024);
    std::printf("| Path | Best MB/s | Median MB/s | Digest |\n|---|---:|---:|---|\n");
    std::string first;
    for (sha256::Path path : {sha256::Path::Portable, sha256::Path::X86ShaExtensions}) {
        if (!sha256::UsePath(path)) {
            std::printf("| %s | - | - | not on this processor |\n", sha256::PathName(path));
            continue;
        }
        std::vector<double> rates;
        std::string hex;
        for (int r = 0; r < repeat; ++r) {
            const auto t0 = std::chrono::steady_clock::now();
            Sha256 h;
            for (std::size_t at = 0; at < data.size(); at += kBlock)
                h.Update(data.data() + at, std::min(kBlock, data.size() - at));
            hex = ToHex(h.Final());
            const std::chrono::duration<double> s = std::chrono::steady_clock::now() - t0;
            rates.push_back(static_cast<double>(data.size()) / 1e6 / s.count());
        }
        std::sort(rates.begin(), rates.end());
        std::printf("| %s | %.0f | %.0f | %.16s… |\n", sha256::PathName(path), rates.back(),
                    rates[rates.size() / 2], hex.c_str());
        if (first.empty())
            first = hex;
        else if (hex != first)
            return std::fprintf(stderr, "the paths' digests differ\n"), 1;
    }
    return 0;
}
