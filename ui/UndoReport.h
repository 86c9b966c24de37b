#pragma once

#include <cstdint>
#include <string>

#include "engine/RunHistory.h"
#include "framework/TTime.h"

// The words both front ends use about undoing a run.

// "3 files restored.", "1 file restored.", "No files restored." ("... would be restored." for
// a preview); then, when some were left, a line feed and "1 file was left because it changed
// since." or "4 files were left because they changed since.".
std::string UndoReportText(const UndoOutcome& outcome, bool preview);

// "1 file could not be restored.", "3 files could not be restored."
std::string UndoFailedLine(int64_t failed);

// "2026-12-08 21:46:14"
std::string DateTimeText(const TDateTime& dateTime);

// The question asked before `run` is undone, naming its local time, its folder, what it did and
// to how many files.
std::string UndoQuestion(const RunRecord& run, const TDateTime& localTime);

// An engine message, which is lower case and has no full stop, as a sentence: "no run to undo"
// gives "No run to undo.".
std::string AsSentence(const std::string& message);
