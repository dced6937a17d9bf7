#pragma once

#include <memory>
#include <ostream>
#include <string>

#include "file_stream.h"

// A file's new content is written to a temporary file beside it and moved over
// it in one step, so that the file is never seen missing or cut short, not
// even when the process is killed halfway or the disk fills up.
struct Replacement {
    std::string target;
    std::string temporary;             // beside target, new, and this process's own
    std::unique_ptr<FileBuffer> file;  // open for writing on temporary
    std::ostream stream{nullptr};      // writes to file
};

// The first name tried for target's temporary file, unique to this process:
// target, the process id and ".tmp".
std::string temporaryNameFor(const std::string& target);

// Creates the temporary for target. Refuses a read-only target, which is left
// as it is, and logs "cant new file:" with target's name when it refuses or
// cannot create one.
bool startReplacement(Replacement& replacement, const std::string& target);

// Flushes and closes the temporary, then moves it over the target unless
// that is read-only by now, trying again for about a second while another
// process holds one of them. On any failure removes the temporary, logs a
// line naming the target on standard error and returns false; the target is
// then as it was.
bool finishReplacement(Replacement& replacement);

// Closes and removes the temporary after a failure elsewhere.
void abandonReplacement(Replacement& replacement);
