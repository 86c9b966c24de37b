#pragma once

#include <string>

// The system's own error of the calling thread (errno; GetLastError on Windows), read right
// after a failing call, and its text as the system words it.
int LastSystemError();
std::string SystemErrorText(int code);
