#include <gtest/gtest.h>

#include "framework/win32/ui/TApplication.h"

namespace {

TEST(ArgumentPart, DropsTheProgramPathAsTheRunTimeReadsIt) {
    const struct {
        const char* line;
        const char* arguments;
    } cases[] = {
        {"Scrivox.exe", ""},
        {"Scrivox.exe C:\\src *.c", "C:\\src *.c"},
        {"Scrivox.exe \t  \"a b\" c", "\"a b\" c"},
        {"\"C:\\Program Files\\Scrivox.exe\" C:\\src *.c", "C:\\src *.c"},
        {"\"C:\\Program Files\\Scrivox.exe\"", ""},
        {"\"C:\\Program Files\\Scrivox.exe\"   ", ""},
        // A quote inside the path does not end it; the first blank outside quotes does.
        {"C:\\\"My Tools\"\\Scrivox.exe x", "x"},
        {"\"C:\\a b\"c.exe d", "d"},
        // An unclosed quote takes the rest of the line as the path.
        {"\"C:\\a b\\Scrivox.exe x y", ""},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ArgumentPart(c.line), c.arguments) << c.line;
}

}  // namespace
