#pragma once
// Counting lines in the daily log: tests fix the log's clock to a date of
// their own, so the file is theirs alone.

#include <string>

// How often text occurs in the file at path (0 when it cannot be read).
int CountInFile(const std::string& path, const std::string& text);
