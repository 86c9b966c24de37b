#include "ui/UndoReport.h"

#include <gtest/gtest.h>

#include <string>

namespace {

UndoOutcome Outcome(int64_t restored, int64_t left) {
    UndoOutcome o;
    o.restored = restored;
    o.leftChanged = left;
    return o;
}

TEST(UndoReport, CountsInTheirOwnWords) {
    EXPECT_EQ(UndoReportText(Outcome(0, 0), false), "No files restored.");
    EXPECT_EQ(UndoReportText(Outcome(1, 0), false), "1 file restored.");
    EXPECT_EQ(UndoReportText(Outcome(3, 1), false),
              "3 files restored.\n1 file was left because it changed since.");
    EXPECT_EQ(UndoReportText(Outcome(1, 4), true),
              "1 file would be restored.\n4 files were left because they changed since.");
    EXPECT_EQ(UndoFailedLine(1), "1 file could not be restored.");
    EXPECT_EQ(UndoFailedLine(2), "2 files could not be restored.");
    EXPECT_EQ(AsSentence("no run to undo"), "No run to undo.");
    EXPECT_EQ(AsSentence("Done."), "Done.");
}

TEST(UndoReport, QuestionNamesTimeFolderAndWhatTheRunDid) {
    RunRecord run;
    run.folder = "C:\\Projects";
    run.action = "find";
    run.findText = "colour";
    run.replaceText = "color";
    run.files = 3;
    run.ended = true;
    const TDateTime at{2026, 12, 8, 9, 5, 7};
    EXPECT_EQ(UndoQuestion(run, at),
              "Undo the run of 2026-12-08 09:05:07?\n\nFolder: C:\\Projects\nIt replaced "
              "\"colour\" with \"color\" in 3 files.\n\nEach file gets back what it had before "
              "the run, unless it has changed since.");

    run.action = "touch";
    run.files = 1;
    run.ended = false;
    const std::string touch = UndoQuestion(run, at);
    EXPECT_NE(touch.find("It touched 1 file. It was stopped before it ended."), std::string::npos)
        << touch;
}

// The run's texts are quoted on one line and cut short, never inside a character.
TEST(UndoReport, LongOrMultiLineTextsAreQuotedShort) {
    RunRecord run;
    run.action = "find";
    run.findText = "a\nb";
    run.replaceText = std::string(39, 'x') + "\xc3\xa9" + "tail";
    run.files = 0;
    const std::string q = UndoQuestion(run, TDateTime{});
    EXPECT_NE(q.find("It replaced \"a b\" with \"" + std::string(39, 'x') + "...\" in no files."),
              std::string::npos)
        << q;
}

}  // namespace
