#pragma once

#include <iostream>
#include <string>

#include "platform/win32.h"

// One progress line: a label that carries its own separator, then the value,
// a name or an argument as the log shows those. Each line flushes, so the log
// stands even if the run ends early.
inline void logLine(const char* label, const std::string& value = {}) {
    std::cout << label << logText(value) << std::endl;
}

// The same for a line of the descriptor, written as the bytes it holds.
inline void logContent(const char* label, const std::string& bytes) {
    std::cout << label << bytes << std::endl;
}

// A failure, on standard error.
inline void logError(const char* label, const std::string& value = {}) {
    std::cerr << label << logText(value) << std::endl;
}
