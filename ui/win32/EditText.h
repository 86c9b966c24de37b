#pragma once

#include <string>
#include <string_view>

// UTF-8 text as a multi-line edit control shows it: UTF-16 (a byte that is not UTF-8 shows as
// U+FFFD), each line ending in CR LF whether it ended in LF or CR LF, and a zero byte as U+2400
// so that it cannot end the text early.
std::wstring EditText(std::string_view utf8);
