#pragma once

#include <cstddef>
#include <fstream>
#include <memory>
#include <string>

// A file's new content is written to a temporary file beside it and moved over
// it in one step, so that the file is never seen missing or cut short, not
// even when the process is killed halfway or the disk fills up.

// Stream buffer size for whole-file reads and writes: the default 8 KiB
// makes a system call for every 8 KiB of a large descriptor.
inline constexpr size_t streamBufferSize = 64 * 1024;

// A buffer of that size, left uninitialised so that a small file touches
// only the memory it uses.
inline std::unique_ptr<char[]> makeStreamBuffer() {
    return std::unique_ptr<char[]>(new char[streamBufferSize]);
}

// The temporary file for target's new content: in target's folder, and
// unique to this process, so that two launches never share one.
std::string temporaryNameFor(const std::string& target);

// Opens the temporary file for binary output, emptied.
bool openTemporary(std::ofstream& stream, const std::string& temporary);

// Flushes and closes the stream, then moves the temporary over target. On
// any failure removes the temporary, logs a line naming target on standard
// error and returns false; target is then as it was.
bool commitTemporary(std::ofstream& stream, const std::string& temporary,
                     const std::string& target);

// Closes and removes the temporary after a failure elsewhere.
void discardTemporary(std::ofstream& stream, const std::string& temporary);
