#include "descriptor.h"

#include <filesystem>
#include <istream>
#include <memory>
#include <system_error>

#include "file_copy.h"
#include "file_replace.h"
#include "file_stream.h"
#include "log.h"
#include "platform/win32.h"

namespace {

// Tells whether name exists. When the file system cannot say (a folder on
// the way that may not be searched), logs it and returns false.
bool existsOrLog(const std::string& name, bool& exists) {
    std::error_code error;
    exists = std::filesystem::exists(filePath(name), error);
    if (error) {
        logError("cant check file:", name);
        return false;
    }
    return true;
}

// Reads one line without its line end: a line feed, or the platform's text
// line end. Text after the last line end is a line too.
bool readTextLine(std::istream& stream, std::string& line) {
    if (!std::getline(stream, line)) return false;
    const bool endedByLineFeed = !stream.eof();
    if (endedByLineFeed && textLineEnd[0] == '\r' && !line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return true;
}

// Writes the descriptor's lines, rewritten, to the cached copy tfile_path.
// Returns whether the cached copy is now complete under its own name.
bool writeCachedCopy(const std::string& file_path, const std::string& tfile_path,
                     const Pattern& pattern, const std::string& newStr) {
    // Binary, with the line ends handled here: the Windows runtime's text mode
    // takes a stray Ctrl-Z for the end of the file and would cut it short.
    const std::unique_ptr<FileBuffer> input = openForReading(file_path);
    if (!input) {
        logLine("file open failed", file_path);
        return false;
    }
    std::istream file(input.get());
    Replacement tfile;
    if (!startReplacement(tfile, tfile_path)) return false;

    std::string line;
    while (readTextLine(file, line)) {
        if (replaceMatches(line, pattern, newStr)) logContent("line:", line);
        tfile.stream.write(line.data(), static_cast<std::streamsize>(line.size()));
        tfile.stream.write(textLineEnd, sizeof textLineEnd - 1);
    }
    if (file.bad()) {
        abandonReplacement(tfile);
        logError("cant read file:", file_path);
        return false;
    }
    input->close();
    return finishReplacement(tfile);
}

}  // namespace

void replaceAppId(std::string dir, std::string file_path, Pattern pattern, std::string newId) {
    const std::string tfile_path = dir + "META-INF/AIR/application" + newId + ".xml";
    logLine("file_path:", file_path);
    logLine("tfile_path:", tfile_path);
    const std::string newStr = "<id>DIVU" + newId + "</id>";

    // Without an id the cached copy's name is the descriptor's own.
    if (newId.empty()) {
        logLine("no id for this launch, descriptor left as it is");
        return;
    }

    bool cached = false;
    if (!existsOrLog(tfile_path, cached)) return;
    if (!cached) {
        bool found = false;
        if (!existsOrLog(file_path, found) || !found) return;
        logLine("finded file:", file_path);
        if (!writeCachedCopy(file_path, tfile_path, pattern, newStr)) return;
    }
    if (copy(tfile_path, file_path) == 0) logLine("AppID change success");
}
