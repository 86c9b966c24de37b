#include "engine/RunReport.h"

#include <gtest/gtest.h>

namespace {

struct ReportCase {
    long long files;
    long long replacements;
    const char* findText;
    const char* touchText;
};

// 0 and 1 have words of their own; every other count is a number and the plural, with no
// grouping of digits.
const ReportCase kCases[] = {
    {0, 0, "No files processed.\nNo replacements made.", "No files processed."},
    {1, 1, "1 file processed.\n1 replacement made.", "1 file processed."},
    {2, 0, "2 files processed.\nNo replacements made.", "2 files processed."},
    {1, 2, "1 file processed.\n2 replacements made.", "1 file processed."},
    {3, 12, "3 files processed.\n12 replacements made.", "3 files processed."},
    {0, 1, "No files processed.\n1 replacement made.", "No files processed."},
    {12345, 1000000, "12345 files processed.\n1000000 replacements made.",
     "12345 files processed."},
    {3000000000LL, 10, "3000000000 files processed.\n10 replacements made.",
     "3000000000 files processed."},
};

TEST(RunReport, FindAndTouchTexts) {
    for (const ReportCase& c : kCases) {
        SCOPED_TRACE(std::to_string(c.files) + "/" + std::to_string(c.replacements));
        EXPECT_EQ(ReplaceReportText(c.files, c.replacements), c.findText);
        EXPECT_EQ(TouchReportText(c.files), c.touchText);
        // The Find report is the two lines joined by a bare line feed, nothing after the last.
        EXPECT_EQ(ReplaceReportText(c.files, c.replacements),
                  FilesLine(c.files) + "\n" + ReplacementsLine(c.replacements));
    }
}

TEST(RunReport, CaptionIsReplaceForBothActions) {
    EXPECT_STREQ(kReportCaption, "Replace");
}

}  // namespace
