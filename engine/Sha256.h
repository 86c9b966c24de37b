#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// SHA-256, fed in pieces of any size, so that a file can be recognised by its content without
// holding it whole:
//   Sha256 h; h.Update(block, n); ... ; Sha256::Digest d = h.Final();
//   ToHex(Sha256::Of(""))    == "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"
//   ToHex(Sha256::Of("abc")) == "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"
class Sha256 {
public:
    using Digest = std::array<std::uint8_t, 32>;

    Sha256() { Reset(); }

    void Update(const void* data, std::size_t size);
    void Update(std::string_view text) { Update(text.data(), text.size()); }
    // The digest of everything given since the start; the object then starts afresh.
    Digest Final();

    static Digest Of(std::string_view text);

private:
    void Reset();

    std::array<std::uint32_t, 8> state_;
    std::array<std::uint8_t, 64> buffer_;
    std::size_t buffered_ = 0;
    std::uint64_t length_ = 0;  // bytes; the padding holds it in bits, modulo 2^64
};

// Lower-case hexadecimal, two digits a byte.
std::string ToHex(const Sha256::Digest& digest);
