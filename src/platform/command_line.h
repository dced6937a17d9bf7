#pragma once

#include <string>
#include <vector>

// Splits a command line into words the way a Windows program's runtime splits
// its own: blanks and tabs separate words, double quotes group them, and
// backslashes escape a quote only when they stand directly before it. The
// first word, the program, ends at the next blank or closing quote and knows
// no escapes.
std::vector<std::string> splitCommandLine(const std::string& commandLine);
