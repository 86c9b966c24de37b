#pragma once

#include <string_view>

class ReplaceData;

// Reads a Windows command line (without the program's own path) into `data`:
//   "C:\My Files" *.c old new   -> folder C:\My Files, filter *.c, find old, replace new
//   -r- C:\src *.h              -> Subfolders off; folder C:\src, filter *.h
//   C:/src *.c                  -> folder C: (an unquoted "/" starts a switch)
//   a.txt *.c x y               -> folder and filter only (single characters need quotes)
// A token that begins with a double quote runs to the next one (or the end of the line); one
// that begins with "-" or "/" is a switch, one that begins with "=" a value, and both end at a
// blank, "=", "/" or a double quote, as does any other token. Only the switches r+ and r-
// (letter case ignored) have an effect.
void ParseCommandLine(std::string_view line, ReplaceData& data);
