#pragma once

#include <string>

// The slow, obviously correct statement of what a Find does to one file's content, for the
// real scanner to be checked against: at each position from the left, the find text is tried;
// an occurrence is taken when (with whole words) the bytes around it are not word bytes, and the
// next try starts right after it. Content that begins with a UTF-16 mark is taken in 16-bit
// units, the texts converted from UTF-8 (a text that is not UTF-8 finds nothing).
struct ReferenceResult {
    std::string output;
    long long replacements = 0;
};

ReferenceResult ReferenceReplace(const std::string& input,
                                 const std::string& find,
                                 const std::string& replace,
                                 bool caseSensitive,
                                 bool wholeWords);
