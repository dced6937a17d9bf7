#pragma once

#include <string>
#include <vector>

// Splits a command line into words the way a Windows program's runtime splits
// its own: blanks and tabs separate words, double quotes group them, and
// backslashes escape a quote only when they stand directly before it. In the
// first word, the program, quotes only group and backslashes are plain.
std::vector<std::string> splitCommandLine(const std::string& commandLine);
