// SHA-256's compression with the x86 SHA extensions, for processors that have them; elsewhere,
// and in builds for other processors, the portable compression is the only one.
#include "engine/Sha256Compress.h"

#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)

#include <cpuid.h>
#include <immintrin.h>

namespace sha256 {

namespace {

// Compiled for these instructions alone, so that the rest of the program runs on any x86.
#define SCRIVOX_SHA_TARGET __attribute__((target("sha,sse4.1,ssse3")))

// sha256rnds2 keeps the eight working variables in two registers, lanes from high to low:
// one holds A B E F and the other C D G H. It does two rounds, taking W+K for them from the
// low two lanes of its third operand, and gives the new A B E F; the new C D G H are the old
// A B E F, so the two registers swap roles every two rounds.
SCRIVOX_SHA_TARGET void CompressWithShaExtensions(std::uint32_t state[8],
                                                  const std::uint8_t* blocks,
                                                  std::size_t count) {
    // Reverses the bytes of each 32-bit lane: the message words are big-endian.
    const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);

    // state[0..7] = a..h, lane 0 lowest.
    const __m128i abcd = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state));
    const __m128i efgh = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4));
    const __m128i cdab = _mm_shuffle_epi32(abcd, 0xB1);  // lanes, low to high: b a d c
    const __m128i hgfe = _mm_shuffle_epi32(efgh, 0x1B);  // h g f e
    __m128i abef = _mm_alignr_epi8(cdab, hgfe, 8);       // f e b a
    __m128i cdgh = _mm_blend_epi16(hgfe, cdab, 0xF0);    // h g d c

    for (; count > 0; --count, blocks += 64) {
        const __m128i abefBefore = abef;
        const __m128i cdghBefore = cdgh;
        // w[j % 4] holds message words 4j to 4j+3, lowest lane first.
        __m128i w[4];
#pragma GCC unroll 16
        for (int j = 0; j < 16; ++j) {
            __m128i words;
            if (j < 4) {
                words = _mm_shuffle_epi8(
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks + 16 * j)), byteSwap);
            } else {
                // W[t] = s1(W[t-2]) + W[t-7] + s0(W[t-15]) + W[t-16]. sha256msg1 adds s0 of the
                // next word to each of W[t-16..t-13]; W[t-7..t-4] straddles two groups;
                // sha256msg2 adds s1, two lanes from the group before and two from its own.
                const __m128i w7 = _mm_alignr_epi8(w[(j + 3) % 4], w[(j + 2) % 4], 4);
                words = _mm_sha256msg2_epu32(
                    _mm_add_epi32(_mm_sha256msg1_epu32(w[j % 4], w[(j + 1) % 4]), w7),
                    w[(j + 3) % 4]);
            }
            w[j % 4] = words;
            const __m128i wk = _mm_add_epi32(
                words, _mm_loadu_si128(reinterpret_cast<const __m128i*>(kRound + 4 * j)));
            cdgh = _mm_sha256rnds2_epu32(cdgh, abef, wk);  // now A B E F
            abef = _mm_sha256rnds2_epu32(abef, cdgh, _mm_shuffle_epi32(wk, 0x0E));
        }
        abef = _mm_add_epi32(abef, abefBefore);
        cdgh = _mm_add_epi32(cdgh, cdghBefore);
    }

    const __m128i feba = _mm_shuffle_epi32(abef, 0x1B);  // lanes, low to high: a b e f
    const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);  // g h c d
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_blend_epi16(feba, dchg, 0xF0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), _mm_alignr_epi8(dchg, feba, 8));
}

#undef SCRIVOX_SHA_TARGET

bool HaveShaExtensions() {
    unsigned a, b, c, d;
    // Leaf 1, ECX: SSSE3 is bit 9, SSE4.1 bit 19; leaf 7, EBX: SHA is bit 29.
    if (!__get_cpuid(1, &a, &b, &c, &d) || !(c & (1u << 9)) || !(c & (1u << 19)))
        return false;
    return __get_cpuid_count(7, 0, &a, &b, &c, &d) && (b & (1u << 29));
}

}  // namespace

CompressFunction X86ShaExtensions() {
    static const bool have = HaveShaExtensions();
    return have ? CompressWithShaExtensions : nullptr;
}

}  // namespace sha256

#else

sha256::CompressFunction sha256::X86ShaExtensions() {
    return nullptr;
}

#endif
