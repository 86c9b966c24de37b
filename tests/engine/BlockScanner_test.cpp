#include "engine/BlockScanner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "tests/support/ReferenceScanner.h"
#include "tests/support/StringScan.h"

namespace {

const size_t kBlockSizes[] = {1, 2, 3, 5, 7, 64, BlockScanner::kDefaultBlockSize};

struct EdgeCase {
    const char* name;
    std::string input;
    std::string find;
    std::string replace;
    bool caseSensitive;
    bool wholeWords;
    std::string expected;
    uint64_t replacements;
};

const std::vector<EdgeCase>& EdgeCases() {
    using namespace std::string_literals;
    static const std::vector<EdgeCase> cases = {
        {"replace grows", "aaa", "a", "aa", true, false, "aaaaaa", 3},
        {"replace holds find", "catcat", "cat", "catcat", true, false, "catcatcatcat", 2},
        {"caseless", "ABC aBc abc AbX", "abc", "xYz", false, false, "xYz xYz xYz AbX", 3},
        {"case sensitive", "ABC aBc abc AbX", "abc", "xYz", true, false, "ABC aBc xYz AbX", 1},
        {"caseless replace as typed", "abc Abc aBC", "abc", "ABC", false, false, "ABC ABC ABC", 3},
        {"high bytes do not fold", "\xC4\xE4\xC4", "\xE4", "R", false, false, "\xC4R\xC4", 1},
        {"high bytes do not fold 2", "\xE4", "\xC4", "R", false, false, "\xE4", 0},
        {"whole words", "cat concat cat_ cat9 cat.", "cat", "R", true, true,
         "R concat cat_ cat9 R.", 2},
        {"whole word is the input", "cat", "cat", "R", true, true, "R", 1},
        {"whole word at end", "dog cat", "cat", "R", true, true, "dog R", 1},
        {"whole word at start", "cat dog", "cat", "R", true, true, "R dog", 1},
        {"refused match kept as read", "Cat CATs", "cat", "R", false, true, "R CATs", 1},
        {"nul and high bytes are boundaries",
         "\0cat\0\xE9"
         "cat\xE9"s,
         "cat", "R", true, true, "\0R\0\xE9R\xE9"s, 2},
        {"CR LF kept, no last line end", "one cat\r\ntwo cat\r\nthree", "cat", "R", true, true,
         "one R\r\ntwo R\r\nthree", 2},
        {"lone CR and LF kept", "\rcat\n\n\r", "cat", "dog", true, false, "\rdog\n\n\r", 1},
        {"non-word find needs boundary", "a.x b .x .xy", ".x", "R", true, true, "a.x b R .xy", 1},
        {"restart inside partial", "aab", "ab", "R", true, false, "aR", 1},
        {"restart inside longer partial", "ababc", "abc", "R", true, false, "abR", 1},
        {"restart after refused whole word", "a.a.a", "a.a", "R", true, true, "R.a", 1},
        {"refused whole word overlaps", "aaa", "aa", "R", true, true, "aaa", 0},
        {"partial at end", "xxab", "abc", "R", true, false, "xxab", 0},
        {"find longer than input", "ab", "abc", "R", true, false, "ab", 0},
        {"empty input", "", "abc", "R", true, false, "", 0},
        {"no match", "nothing here", "cat", "R", false, true, "nothing here", 0},
        {"long find", std::string(100, 'x') + "needle_in_a_haystack" + std::string(100, 'y'),
         "needle_in_a_haystack", "N", true, false,
         std::string(100, 'x') + "N" + std::string(100, 'y'), 1},
        {"shrinks to nothing visible", "aaaa", "aa", "b", true, false, "bb", 2},
    };
    return cases;
}

TEST(BlockScanner, EdgeCasesAtEveryBlockSize) {
    for (const EdgeCase& c : EdgeCases()) {
        SCOPED_TRACE(c.name);
        ReferenceResult ref =
            ReferenceReplace(c.input, c.find, c.replace, c.caseSensitive, c.wholeWords);
        ASSERT_EQ(ref.output, c.expected) << "the reference disagrees";
        ASSERT_EQ(static_cast<uint64_t>(ref.replacements), c.replacements);
        for (size_t block : kBlockSizes) {
            SCOPED_TRACE("block size " + std::to_string(block));
            BlockScanner scanner({c.find, c.replace, c.caseSensitive, c.wholeWords}, block);
            // Twice, the second time in one-byte reads: a scanner serves every file of a run
            // and must start each one afresh.
            for (size_t chunk : {SIZE_MAX, size_t{1}}) {
                Outcome o = RunScan(scanner, c.input, chunk);
                EXPECT_EQ(o.status, ScanStatus::Ok);
                EXPECT_EQ(o.output, c.expected);
                EXPECT_EQ(o.replacements, c.replacements);
            }
        }
    }
}

std::string RandomText(std::mt19937& rng, const std::string& alphabet, size_t length) {
    std::string s(length, ' ');
    for (char& c : s)
        c = alphabet[rng() % alphabet.size()];
    return s;
}

// Flips the case of some ASCII letters.
std::string Recase(std::mt19937& rng, std::string s) {
    for (char& c : s)
        if (((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) && rng() % 2)
            c = static_cast<char>(c ^ 0x20);
    return s;
}

TEST(BlockScanner, AgreesWithReferenceOnRandomInput) {
    using namespace std::string_literals;
    const std::string alphabets[] = {
        "aA", "ab", "abAB_1 .", "aAbB9_ .\r\n\0\x80\xC4\xE4\xFF"s, "catCAT dog_.\r\n\0\xE9"s,
    };
    std::mt19937 rng(20240611);
    int scans = 0;
    for (int trial = 0; trial < 500; ++trial) {
        const std::string& alphabet = alphabets[rng() % std::size(alphabets)];
        std::string seed = RandomText(rng, alphabet, 40);
        size_t findLength = 1 + rng() % 6;
        std::string find = rng() % 2 ? seed.substr(rng() % (seed.size() - findLength), findLength)
                                     : RandomText(rng, alphabet, findLength);
        std::string replace =
            rng() % 4 == 0 ? Recase(rng, find) + "!" : RandomText(rng, "xY.", 1 + rng() % 3);

        std::vector<std::string> inputs = {seed};
        for (int k = 0; k < 7; ++k) {
            size_t length = rng() % 8 == 0 ? rng() % 300 : rng() % 40;
            std::string s = RandomText(rng, alphabet, length);
            for (int copies = rng() % 4; copies > 0; --copies)
                s.insert(rng() % (s.size() + 1), Recase(rng, find));
            inputs.push_back(s);
        }

        for (int options = 0; options < 4; ++options) {
            const bool caseSensitive = options & 1, wholeWords = options & 2;
            const size_t blockSizes[] = {1 + rng() % 17, BlockScanner::kDefaultBlockSize};
            BlockScanner scanners[] = {
                BlockScanner({find, replace, caseSensitive, wholeWords}, blockSizes[0]),
                BlockScanner({find, replace, caseSensitive, wholeWords}, blockSizes[1]),
            };
            for (const std::string& input : inputs) {
                ReferenceResult ref =
                    ReferenceReplace(input, find, replace, caseSensitive, wholeWords);
                const size_t chunk = rng() % 3 == 0 ? 1 + rng() % 4 : SIZE_MAX;
                for (size_t k = 0; k < std::size(scanners); ++k) {
                    Outcome o = RunScan(scanners[k], input, chunk);
                    ++scans;
                    if (o.status != ScanStatus::Ok || o.output != ref.output ||
                        o.replacements != static_cast<uint64_t>(ref.replacements)) {
                        ADD_FAILURE()
                            << "trial " << trial << " find \"" << find << "\" replace \"" << replace
                            << "\" caseSensitive " << caseSensitive << " wholeWords " << wholeWords
                            << " block " << blockSizes[k] << " chunk " << chunk << "\ninput    \""
                            << input << "\"\nexpected \"" << ref.output << "\" ("
                            << ref.replacements << ")\ngot      \"" << o.output << "\" ("
                            << o.replacements << ")";
                        return;
                    }
                }
            }
        }
    }
    EXPECT_GT(scans, 30000);
}

TEST(BlockScanner, ReadErrorFailsTheScan) {
    const std::string input = "cat cat cat cat cat cat";
    // Before any match, right after the first, and late in the input.
    for (long long failAt : {0LL, 2LL, 4LL, 20LL}) {
        for (size_t block : {size_t{1}, size_t{4}, BlockScanner::kDefaultBlockSize}) {
            SCOPED_TRACE("fail at " + std::to_string(failAt) + ", block " + std::to_string(block));
            BlockScanner scanner({"cat", "dog", true, true}, block);
            StringSource source(input, 3, failAt);
            StringSink sink(input);
            EXPECT_EQ(scanner.Scan(source, sink).status, ScanStatus::ReadError);
            EXPECT_EQ(sink.protocolError, "");
            // The next file scans cleanly with the same scanner.
            Outcome o = RunScan(scanner, input);
            EXPECT_EQ(o.status, ScanStatus::Ok);
            EXPECT_EQ(o.output, "dog dog dog dog dog dog");
        }
    }
}

TEST(BlockScanner, SinkFailureFailsTheScan) {
    const std::string input = "a cat, a cat, a cat and more text after it";
    for (size_t block : {size_t{1}, size_t{5}, BlockScanner::kDefaultBlockSize}) {
        SCOPED_TRACE("block " + std::to_string(block));
        BlockScanner scanner({"cat", "dog", true, false}, block);
        {
            StringSource source(input);
            StringSink sink(input, -1, /*failBegin=*/true);
            EXPECT_EQ(scanner.Scan(source, sink).status, ScanStatus::WriteError);
            EXPECT_EQ(sink.writes, 0);
        }
        // Count the writes of a clean scan, then fail each one in turn, the last included.
        StringSource countSource(input);
        StringSink counter(input);
        ASSERT_EQ(scanner.Scan(countSource, counter).status, ScanStatus::Ok);
        ASSERT_GT(counter.writes, 0);
        for (int failing = 0; failing < counter.writes; ++failing) {
            StringSource source(input);
            StringSink sink(input, failing);
            EXPECT_EQ(scanner.Scan(source, sink).status, ScanStatus::WriteError)
                << "write " << failing;
        }
    }
}

}  // namespace
