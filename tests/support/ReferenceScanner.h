#pragma once

#include <string>

// The slow, obviously correct statement of what a Find does to one file's content, for the
// real scanner to be checked against: at each position from the left, the find text is tried;
// an occurrence is taken when (with whole words) the bytes around it are not word bytes, and the
// next try starts right after it.
struct ReferenceResult {
    std::string output;
    long long replacements = 0;
};

ReferenceResult ReferenceReplace(const std::string& input, const std::string& find,
                                 const std::string& replace, bool caseSensitive, bool wholeWords);
