// The candidate filter of the scan: it must report every place where the text occurs, whatever
// the case, the length and where in a block it lies, and only places where both of its bytes are.
#include "engine/PairFinder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {

unsigned char Fold(unsigned char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c;
}

bool SameByte(char a, char b, bool caseSensitive) {
    const auto x = static_cast<unsigned char>(a), y = static_cast<unsigned char>(b);
    return caseSensitive ? x == y : Fold(x) == Fold(y);
}

// Every candidate from `from` on, in order.
std::vector<size_t> Candidates(const PairFinder& finder, const std::string& buffer, size_t limit) {
    std::vector<size_t> found;
    for (size_t at = finder.Next(buffer.data(), 0, limit); at < limit;
         at = finder.Next(buffer.data(), at + 1, limit))
        found.push_back(at);
    return found;
}

TEST(PairFinder, FindsExactlyThePlacesOfItsTwoBytesAndEveryOccurrence) {
    // Bytes that differ from a letter by the case bit alone ('@' and '`', '[' and '{') must not
    // pass for it; high bytes never fold.
    const std::string alphabet = "aAbB@`[{_ \n\xC1\xE1zZ";
    std::mt19937 random(20261209);
    for (int round = 0; round < 3000; ++round) {
        const bool caseSensitive = round % 2 == 0;
        std::string text;
        const size_t length = 1 + random() % 6;
        for (size_t i = 0; i < length; ++i)
            text += alphabet[random() % alphabet.size()];
        std::string buffer;
        const size_t size = random() % 200;
        for (size_t i = 0; i < size; ++i)
            buffer += alphabet[random() % alphabet.size()];
        if (buffer.size() < text.size())
            continue;
        const size_t limit = buffer.size() - text.size() + 1;

        const PairFinder finder(text, caseSensitive);
        ASSERT_LT(finder.FirstOffset(), text.size());
        ASSERT_LT(finder.SecondOffset(), text.size());
        std::vector<size_t> expected;
        for (size_t i = 0; i < limit; ++i) {
            if (SameByte(buffer[i + finder.FirstOffset()], text[finder.FirstOffset()],
                         caseSensitive) &&
                SameByte(buffer[i + finder.SecondOffset()], text[finder.SecondOffset()],
                         caseSensitive))
                expected.push_back(i);
        }
        const std::vector<size_t> found = Candidates(finder, buffer, limit);
        ASSERT_EQ(found, expected) << "text '" << text << "' in '" << buffer << "'";

        for (size_t i = 0; i < limit; ++i) {
            bool occurs = true;
            for (size_t k = 0; k < text.size() && occurs; ++k)
                occurs = SameByte(buffer[i + k], text[k], caseSensitive);
            if (occurs) {
                EXPECT_TRUE(std::find(found.begin(), found.end(), i) != found.end())
                    << "'" << text << "' at " << i << " of '" << buffer << "' was not reported";
            }
        }
    }
}

TEST(PairFinder, TakesTheRarestBytesAndStopsAtTheLimit) {
    // Upper-case letters and punctuation are rarer in code than lower-case letters and blanks.
    const PairFinder finder("e Q;", true);
    EXPECT_EQ(finder.FirstOffset(), 2u);
    EXPECT_EQ(finder.SecondOffset(), 3u);
    const PairFinder one("x", false);
    EXPECT_EQ(one.FirstOffset(), one.SecondOffset());

    // An occurrence past the limit is not reported, however far the block reaches.
    const std::string buffer = std::string(40, '-') + "Q;" + std::string(40, '-');
    const PairFinder q("Q;", true);
    EXPECT_EQ(q.Next(buffer.data(), 0, 40), 40u);
    EXPECT_EQ(q.Next(buffer.data(), 0, 41), 40u);
    EXPECT_EQ(q.Next(buffer.data(), 41, 81), 81u);
}

}  // namespace
