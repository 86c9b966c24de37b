#pragma once

#include <string>

#include "engine/Run.h"

// The Find settings of a run, for processors built in a test.
inline JobSettings FindJob(const std::string& find,
                           const std::string& replace,
                           bool caseSensitive,
                           bool wholeWords,
                           bool createBackups) {
    JobSettings job;
    job.findText = find;
    job.replaceText = replace;
    job.caseSensitive = caseSensitive;
    job.wholeWords = wholeWords;
    job.createBackups = createBackups;
    return job;
}
