#pragma once

#include <string>

// The caption of every report, the Touch report's too.
inline constexpr const char* kReportCaption = "Replace";

// "No files processed.", "1 file processed.", "3 files processed."
std::string FilesLine(long long filesProcessed);
// "No replacements made.", "1 replacement made.", "12 replacements made."
std::string ReplacementsLine(long long replacementsMade);

// The Find report: the files line, a line feed, the replacements line.
std::string ReplaceReportText(long long filesProcessed, long long replacementsMade);
// The Touch report: the files line alone.
std::string TouchReportText(long long filesProcessed);
