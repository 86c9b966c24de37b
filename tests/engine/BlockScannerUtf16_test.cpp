// Files with a UTF-16 mark are scanned in code units; files without one, and binary files when
// asked, as the byte scan always did.
#include "engine/BlockScanner.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tests/support/ReferenceScanner.h"
#include "tests/support/StringScan.h"

namespace {

using namespace std::string_literals;

// UTF-16 with its mark, from code units written as a char16_t string.
std::string Utf16(const std::u16string& units, bool bigEndian, bool mark = true) {
    std::string bytes;
    if (mark)
        bytes = bigEndian ? "\xFE\xFF"s : "\xFF\xFE"s;
    for (char16_t u : units) {
        const char low = static_cast<char>(u & 0xFF), high = static_cast<char>(u >> 8);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    }
    return bytes;
}

Outcome Scan(const std::string& input,
             const std::string& find,
             const std::string& replace,
             bool caseSensitive,
             bool wholeWords,
             size_t blockSize = 3,
             size_t chunk = SIZE_MAX) {
    BlockScanner scanner(ScanOptions{find, replace, caseSensitive, wholeWords}, blockSize);
    return RunScan(scanner, input, chunk);
}

TEST(BlockScannerUtf16, CodeUnitsMatchAndEveryOtherByteIsKept) {
    const struct {
        const char* name;
        std::u16string input;
        std::string find, replace;  // UTF-8
        bool caseSensitive, wholeWords;
        std::u16string expected;
        uint64_t replacements;
    } cases[] = {
        {"line ends", u"cat\r\ncat\r\n", "cat", "dog", true, false, u"dog\r\ndog\r\n", 2},
        {"no line end", u"a cat", "cat", "kitten", true, false, u"a kitten", 1},
        {"surrogates beside", u"\U0001F600cat\U0001F600", "cat", "d\xC3\xB6g", true, false,
         u"\U0001F600d\u00F6g\U0001F600", 1},
        {"surrogate found", u"x\U0001F600y", "\xF0\x9F\x98\x80", "!", true, false, u"x!y", 1},
        {"whole words", u"cat concat cat_ cat9 cat.", "cat", "R", true, true,
         u"R concat cat_ cat9 R.", 2},
        {"a letter beyond ASCII is no word", u"\u00E4cat\u00E4", "cat", "R", true, true,
         u"\u00E4R\u00E4", 1},
        {"caseless ASCII", u"CAT Cat cAt", "cat", "x", false, false, u"x x x", 3},
        {"no fold beyond ASCII", u"\u00C4 \u00E4", "\xC3\xA4", "a", false, false, u"\u00C4 a", 1},
        {"units never split", u"\u6361\u0074", "at", "X", true, false, u"\u6361\u0074", 0},
        {"a text that is not UTF-8 finds nothing", u"cat", "c\xFF", "x", true, false, u"cat", 0},
        {"delete", u"one two one", "one", "", true, false, u" two ", 2},
    };
    for (bool big : {false, true}) {
        for (const auto& c : cases) {
            for (size_t blockSize : {size_t(1), size_t(2), size_t(5), size_t(64)}) {
                const std::string input = Utf16(c.input, big);
                Outcome o =
                    Scan(input, c.find, c.replace, c.caseSensitive, c.wholeWords, blockSize, 3);
                EXPECT_EQ(o.status, ScanStatus::Ok) << c.name;
                EXPECT_EQ(o.output, Utf16(c.expected, big))
                    << c.name << (big ? " BE " : " LE ") << blockSize;
                EXPECT_EQ(o.replacements, c.replacements) << c.name;
            }
        }
    }
    // A last odd byte is kept, and matches just before it are found.
    const std::string odd = Utf16(u"a cat", false) + "\x07";
    EXPECT_EQ(Scan(odd, "cat", "dog", true, false).output, Utf16(u"a dog", false) + "\x07");
    // Without a mark a file is bytes, UTF-16 or not, and UTF-8 with its mark too.
    EXPECT_EQ(Scan(Utf16(u"cat", false, false), "cat", "dog", true, false).replacements, 0u);
    EXPECT_EQ(Scan("\xEF\xBB\xBF"
                   "cat",
                   "cat", "dog", true, false)
                  .output,
              "\xEF\xBB\xBF"
              "dog");
}

// Random UTF-16 content against the reference, at many block sizes and read lengths.
TEST(BlockScannerUtf16, MatchesTheReferenceOnRandomContent) {
    std::mt19937 rng(1616);
    const std::u16string pieces[] = {u"cat",    u"Cat",    u"CAT",  u"ca",     u"t",
                                     u" ",      u"_",      u"\r\n", u"\u00E4", u"\U0001F600",
                                     u"\u6361", u"concat", u"cat9"};
    for (int round = 0; round < 300; ++round) {
        std::u16string content;
        for (int n = static_cast<int>(rng() % 20); n > 0; --n)
            content += pieces[rng() % std::size(pieces)];
        const bool big = rng() % 2, caseSensitive = rng() % 2, wholeWords = rng() % 2;
        std::string input = Utf16(content, big);
        if (rng() % 4 == 0)
            input += static_cast<char>(rng() % 256);  // an odd last byte
        const ReferenceResult ref =
            ReferenceReplace(input, "cat", "d\xC3\xB6g", caseSensitive, wholeWords);
        for (size_t blockSize :
             {size_t(1), size_t(3), size_t(7), BlockScanner::kDefaultBlockSize}) {
            Outcome o = Scan(input, "cat", "d\xC3\xB6g", caseSensitive, wholeWords, blockSize,
                             1 + rng() % 5);
            ASSERT_EQ(o.output, ref.output) << round << " block " << blockSize;
            ASSERT_EQ(o.replacements, uint64_t(ref.replacements));
        }
    }
}

// A NUL among the first 64 KiB makes a binary file, which the scan leaves when asked; one past
// them, or the NULs of UTF-16 text, do not.
TEST(BlockScannerUtf16, BinaryFilesAreToldByTheirFirstBlock) {
    const size_t probe = BlockScanner::kBinaryProbe;
    const std::string early = "cat\0"s + std::string(100, 'x');
    const std::string late = std::string(probe, 'c') + "\0 cat"s;
    const std::string utf16 = Utf16(u"cat", false);
    const std::string text = "a cat";
    for (size_t chunk : {size_t(1), size_t(1000), SIZE_MAX}) {
        BlockScanner skipping(ScanOptions{"cat", "dog", true, false, true}, 7);
        EXPECT_EQ(RunScan(skipping, early, chunk).status, ScanStatus::Binary);
        EXPECT_EQ(RunScan(skipping, late, chunk).replacements, 1u);
        EXPECT_EQ(RunScan(skipping, utf16, chunk).output, Utf16(u"dog", false));
        EXPECT_EQ(RunScan(skipping, text, chunk).output, "a dog");
        BlockScanner taking(ScanOptions{"cat", "dog", true, false, false}, 7);
        EXPECT_EQ(RunScan(taking, early, chunk).output, "dog\0"s + std::string(100, 'x'));
    }
}

}  // namespace
