#pragma once

#include <string>

// The caption of every report, the Touch report's too.
inline constexpr const char* kReportCaption = "Replace";

// The first line of the report of a run stopped before its end.
inline constexpr const char* kStoppedLine = "Stopped.";

// "No files processed.", "1 file processed.", "3 files processed."
std::string FilesLine(long long filesProcessed);
// "No replacements made.", "1 replacement made.", "12 replacements made."
std::string ReplacementsLine(long long replacementsMade);

// "1 binary file left alone.", "3 binary files left alone."
std::string BinaryLine(long long binaryLeftAlone);

// The Find report: the files line, a line feed, the replacements line, and, when Find left
// binary files alone, a line feed and the binary line.
std::string ReplaceReportText(long long filesProcessed,
                              long long replacementsMade,
                              long long binaryLeftAlone = 0);
// The Touch report: the files line alone.
std::string TouchReportText(long long filesProcessed);

// A preview's report, in the conditional: "3 files would change." and "12 replacements would be
// made." (Find), "3 files would be touched." (Touch); one and none in their own words.
std::string PreviewReportText(bool touch, long long filesChanged, long long replacementsMade);
