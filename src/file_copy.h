#pragma once

#include <string>

// Puts the bytes of sourceFilename in place of targetFilename's, through a
// temporary file, 1024 bytes at a time. Returns 0 when the target now holds
// the source's bytes (also when both name one file) and 1 when it could not
// be replaced; the target is then as it was, and a line says why.
int copy(std::string sourceFilename, std::string targetFilename);
