#include "ui/win32/EditText.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(EditText, LinesEndInCrLfWhicheverWayTheyEnded) {
    EXPECT_EQ(EditText(""), L"");
    EXPECT_EQ(EditText("a\nb\r\nc"), L"a\r\nb\r\nc");
    EXPECT_EQ(EditText("\n\n"), L"\r\n\r\n");
    // A CR alone is no line end, and a CR before a CR LF is kept.
    EXPECT_EQ(EditText("a\rb\r\r\n"), L"a\rb\r\r\n");
}

TEST(EditText, EveryByteShowsAndNoneEndsTheText) {
    EXPECT_EQ(EditText(std::string("a\0b", 3)),
              L"a\x2400"
              L"b");
    EXPECT_EQ(EditText("\xc3\xa9\xe6\x96\x87"), L"\x00e9\x6587");
    EXPECT_EQ(EditText("\xf0\x9f\x98\x80"), L"\xd83d\xde00");
    // Bytes that are not UTF-8 each show as one replacement character.
    const std::wstring bad = EditText(
        "a\xff"
        "b");
    EXPECT_EQ(bad,
              L"a\xfffd"
              L"b");
}

}  // namespace
