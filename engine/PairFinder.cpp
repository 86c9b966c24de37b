#include "engine/PairFinder.h"

#include <cstring>

#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#define SCRIVOX_PAIR_SSE2 1
#include <immintrin.h>
// AVX2 where the system keeps 32-byte stack slots aligned; 64-bit Windows builds of this
// compiler do not, and would fault spilling a 32-byte register.
#if defined(__x86_64__) && !defined(_WIN32)
#define SCRIVOX_PAIR_AVX2 1
#endif
#endif

namespace {

// Rough frequency of a byte in source code and prose: candidates are found by the text's
// rarest bytes, so that they are seldom false.
int Frequency(unsigned char c) {
    if (c == ' ')
        return 100;
    if (std::strchr("etaoinsr", c) && c)
        return 70;
    if (c == '_')  // in identifiers of many languages it is as common as a letter
        return 45;
    if (c >= 'a' && c <= 'z')
        return 40;
    if (c == '\n' || c == '\t' || c == '\r')
        return 50;
    if (c >= '0' && c <= '9')
        return 20;
    if (c >= 'A' && c <= 'Z')
        return 15;
    if (c >= 0x80)
        return 3;
    if (c < 0x20)
        return 2;
    return 25;  // punctuation
}

bool IsLetter(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

#ifdef SCRIVOX_PAIR_SSE2
// Compiled for SSE2 alone, which every x86-64 processor has; a 32-bit build asks the processor.
__attribute__((target("sse2"))) size_t NextBySse2(const char* at,
                                                  size_t from,
                                                  size_t limit,
                                                  const size_t offset[2],
                                                  const unsigned char byte[2],
                                                  const bool foldCase[2]) {
    const __m128i want0 = _mm_set1_epi8(static_cast<char>(byte[0]));
    const __m128i want1 = _mm_set1_epi8(static_cast<char>(byte[1]));
    // OR-ing 0x20 turns an upper-case letter into its lower case and nothing else into a letter.
    const __m128i fold0 = _mm_set1_epi8(foldCase[0] ? 0x20 : 0);
    const __m128i fold1 = _mm_set1_epi8(foldCase[1] ? 0x20 : 0);
    const char* first = at + offset[0];
    const char* second = at + offset[1];
    for (; from + 16 <= limit; from += 16) {
        const __m128i a = _mm_or_si128(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(first + from)), fold0);
        const __m128i b = _mm_or_si128(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(second + from)), fold1);
        const int mask =
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, want0), _mm_cmpeq_epi8(b, want1)));
        if (mask != 0)
            return from + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
    }
    return from;
}

#ifdef SCRIVOX_PAIR_AVX2
#define SCRIVOX_AVX2_TARGET __attribute__((target("avx2")))

// Where among the 32 places from `i` on both bytes are.
SCRIVOX_AVX2_TARGET inline unsigned PairMask(const char* first,
                                             const char* second,
                                             size_t i,
                                             const __m256i* want,
                                             const __m256i* fold) {
    const __m256i a =
        _mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(first + i)), fold[0]);
    const __m256i b = _mm256_or_si256(
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(second + i)), fold[1]);
    return static_cast<unsigned>(_mm256_movemask_epi8(
        _mm256_and_si256(_mm256_cmpeq_epi8(a, want[0]), _mm256_cmpeq_epi8(b, want[1]))));
}

// Thirty-two places a step, two steps at a time: the block was just copied in and sits in the
// cache, so the loads keep up.
SCRIVOX_AVX2_TARGET size_t NextByAvx2(const char* at,
                                      size_t from,
                                      size_t limit,
                                      const size_t offset[2],
                                      const unsigned char byte[2],
                                      const bool foldCase[2]) {
    const __m256i want[2] = {_mm256_set1_epi8(static_cast<char>(byte[0])),
                             _mm256_set1_epi8(static_cast<char>(byte[1]))};
    const __m256i fold[2] = {_mm256_set1_epi8(foldCase[0] ? 0x20 : 0),
                             _mm256_set1_epi8(foldCase[1] ? 0x20 : 0)};
    const char* first = at + offset[0];
    const char* second = at + offset[1];
    for (; from + 64 <= limit; from += 64) {
        const unsigned low = PairMask(first, second, from, want, fold);
        const unsigned high = PairMask(first, second, from + 32, want, fold);
        if ((low | high) != 0)
            return low != 0 ? from + static_cast<size_t>(__builtin_ctz(low))
                            : from + 32 + static_cast<size_t>(__builtin_ctz(high));
    }
    for (; from + 32 <= limit; from += 32) {
        const unsigned m = PairMask(first, second, from, want, fold);
        if (m != 0)
            return from + static_cast<size_t>(__builtin_ctz(m));
    }
    return from;
}

bool HasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}
#endif

bool HasSse2() {
#ifdef __x86_64__
    return true;
#else
    static const bool has = __builtin_cpu_supports("sse2");
    return has;
#endif
}
#endif

}  // namespace

PairFinder::PairFinder(std::string_view text, bool caseSensitive) {
    if (text.empty())
        return;  // finds every place
    // The rarest byte, then the rarest at another offset.
    int cost[2] = {-1, -1};
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        int f = Frequency(c);
        if (!caseSensitive && IsLetter(c))
            f = Frequency(static_cast<unsigned char>(c | 0x20)) +
                Frequency(static_cast<unsigned char>(c & ~0x20));
        if (cost[0] < 0 || f < cost[0]) {
            cost[1] = cost[0];
            offset_[1] = offset_[0];
            cost[0] = f;
            offset_[0] = i;
        } else if (cost[1] < 0 || f < cost[1]) {
            cost[1] = f;
            offset_[1] = i;
        }
    }
    if (cost[1] < 0)
        offset_[1] = offset_[0];
    for (int k = 0; k < 2; ++k) {
        const auto c = static_cast<unsigned char>(text[offset_[k]]);
        foldCase_[k] = !caseSensitive && IsLetter(c);
        byte_[k] = foldCase_[k] ? static_cast<unsigned char>(c | 0x20) : c;
    }
}

size_t PairFinder::Next(const char* at, size_t from, size_t limit) const {
#ifdef SCRIVOX_PAIR_SSE2
    if (HasSse2()) {
#ifdef SCRIVOX_PAIR_AVX2
        if (HasAvx2())
            from = NextByAvx2(at, from, limit, offset_, byte_, foldCase_);
#endif
        from = NextBySse2(at, from, limit, offset_, byte_, foldCase_);
        // Fewer than sixteen places are left, or a candidate was found.
        for (; from < limit; ++from) {
            if (Matches(0, static_cast<unsigned char>(at[from + offset_[0]])) &&
                Matches(1, static_cast<unsigned char>(at[from + offset_[1]])))
                return from;
        }
        return limit;
    }
#endif
    return NextByBytes(at, from, limit);
}

size_t PairFinder::NextByBytes(const char* at, size_t from, size_t limit) const {
    while (from < limit) {
        if (!foldCase_[0]) {
            const void* p = std::memchr(at + from + offset_[0], byte_[0], limit - from);
            if (!p)
                return limit;
            from = static_cast<size_t>(static_cast<const char*>(p) - at) - offset_[0];
        } else if (!Matches(0, static_cast<unsigned char>(at[from + offset_[0]]))) {
            ++from;
            continue;
        }
        if (Matches(1, static_cast<unsigned char>(at[from + offset_[1]])))
            return from;
        ++from;
    }
    return limit;
}
