#pragma once

#include <iostream>
#include <string>

// One progress line: a label that carries its own separator, then the value.
// Each line flushes, so the log stands even if the run ends early.
inline void logLine(const char* label, const std::string& value = {}) {
    std::cout << label << value << std::endl;
}

// The same, for failures, on standard error.
inline void logError(const char* label, const std::string& value = {}) {
    std::cerr << label << value << std::endl;
}
