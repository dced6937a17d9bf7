#pragma once

#include <cstdint>
#include <string>

#include "pattern.h"

// What the command line tells the launcher.
struct ParamSource {
    std::string param;    // the launch arguments, joined by single blanks
    std::string id;       // the account or viewer digits, or empty
    std::string sid;      // the sid digits, or empty
    std::string execDir;  // the launcher's folder, ready for names to be appended, or empty
};

// The launch platform that started the launcher.
enum class Platform : std::int32_t { NONE = -1, JP = 0, DMM = 1 };

// Reads the command line into a ParamSource, logging each step.
ParamSource processParam(int argc, char* argv[]);

// Tells the platform from the keywords in the first launch argument alone.
Platform judgePlatform(int argc, char* argv[]);

// Returns the digits the pattern captures at its leftmost match in content,
// or an empty string; logs which it was.
std::string matchId(std::string content, Pattern pattern);
