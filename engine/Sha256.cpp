#include "engine/Sha256.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "engine/Sha256Compress.h"

// The first 32 bits of the fractional parts of the cube roots of the first 64 primes.
const std::uint32_t sha256::kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

namespace {

constexpr std::uint32_t Rotr(std::uint32_t x, int n) {
    return (x >> n) | (x << (32 - n));
}

std::uint32_t LoadBigEndian(const std::uint8_t* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 |
           std::uint32_t(p[3]);
}

}  // namespace

void Sha256::Reset() {
    // The first 32 bits of the fractional parts of the square roots of the first 8 primes.
    state_ = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
              0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    buffered_ = 0;
    length_ = 0;
}

namespace sha256 {

namespace {

void CompressBlock(std::uint32_t state[8], const std::uint8_t* block) {
    std::uint32_t w[64];
    for (int i = 0; i < 16; ++i)
        w[i] = LoadBigEndian(block + 4 * i);
    for (int i = 16; i < 64; ++i) {
        std::uint32_t s0 = Rotr(w[i - 15], 7) ^ Rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
        std::uint32_t s1 = Rotr(w[i - 2], 17) ^ Rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    std::uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
    for (int i = 0; i < 64; ++i) {
        std::uint32_t s1 = Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25);
        std::uint32_t choice = (e & f) ^ (~e & g);
        std::uint32_t t1 = h + s1 + choice + kRound[i] + w[i];
        std::uint32_t s0 = Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22);
        std::uint32_t majority = (a & b) ^ (a & c) ^ (b & c);
        std::uint32_t t2 = s0 + majority;
        h = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + t2;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
    state[5] += f;
    state[6] += g;
    state[7] += h;
}

CompressFunction For(Path path) {
    switch (path) {
        case Path::Portable: return CompressPortable;
        case Path::X86ShaExtensions: return X86ShaExtensions();
    }
    return nullptr;
}

// Chosen once, on first use; a test may choose again.
std::atomic<CompressFunction>& Chosen() {
    static std::atomic<CompressFunction> chosen{X86ShaExtensions() ? X86ShaExtensions()
                                                                   : CompressPortable};
    return chosen;
}

}  // namespace

void CompressPortable(std::uint32_t state[8], const std::uint8_t* blocks, std::size_t count) {
    for (; count > 0; --count, blocks += 64)
        CompressBlock(state, blocks);
}

bool UsePath(Path path) {
    const CompressFunction f = For(path);
    if (!f)
        return false;
    Chosen().store(f, std::memory_order_relaxed);
    return true;
}

Path PathInUse() {
    return Compress() == CompressPortable ? Path::Portable : Path::X86ShaExtensions;
}

const char* PathName(Path path) {
    return path == Path::Portable ? "portable" : "x86 SHA extensions";
}

CompressFunction Compress() {
    return Chosen().load(std::memory_order_relaxed);
}

}  // namespace sha256

void Sha256::Update(const void* data, std::size_t size) {
    if (size == 0)
        return;  // data may be null then
    const auto* p = static_cast<const std::uint8_t*>(data);
    const sha256::CompressFunction compress = sha256::Compress();
    length_ += size;
    if (buffered_ > 0) {
        std::size_t take = std::min(size, buffer_.size() - buffered_);
        std::memcpy(buffer_.data() + buffered_, p, take);
        buffered_ += take;
        p += take;
        size -= take;
        if (buffered_ < buffer_.size())
            return;
        compress(state_.data(), buffer_.data(), 1);
        buffered_ = 0;
    }
    // Whole blocks straight from the caller's memory, all in one call.
    const std::size_t blocks = size / buffer_.size();
    if (blocks > 0) {
        compress(state_.data(), p, blocks);
        p += blocks * buffer_.size();
        size -= blocks * buffer_.size();
    }
    if (size > 0) {
        std::memcpy(buffer_.data(), p, size);
        buffered_ = size;
    }
}

Sha256::Digest Sha256::Final() {
    const std::uint64_t bits = length_ * 8;
    // A 1 bit, zeros up to 8 bytes short of a block's end, then the length in bits.
    static const std::uint8_t kPadding[64] = {0x80};
    std::size_t padding = buffered_ < 56 ? 56 - buffered_ : 120 - buffered_;
    Update(kPadding, padding);
    std::uint8_t lengthBytes[8];
    for (int i = 0; i < 8; ++i)
        lengthBytes[i] = std::uint8_t(bits >> (56 - 8 * i));
    Update(lengthBytes, sizeof lengthBytes);

    Digest digest;
    for (int i = 0; i < 8; ++i)
        for (int j = 0; j < 4; ++j)
            digest[4 * i + j] = std::uint8_t(state_[i] >> (24 - 8 * j));
    Reset();
    return digest;
}

Sha256::Digest Sha256::Of(std::string_view text) {
    Sha256 h;
    h.Update(text);
    return h.Final();
}

std::string ToHex(const Sha256::Digest& digest) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * digest.size());
    for (std::uint8_t byte : digest) {
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 0xf];
    }
    return hex;
}
