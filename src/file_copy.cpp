#include "file_copy.h"

#include <filesystem>
#include <istream>
#include <memory>
#include <system_error>

#include "file_replace.h"
#include "file_stream.h"
#include "log.h"
#include "platform/win32.h"

namespace {

constexpr size_t blockSize = 1024;
// The stream library hands every write of a whole block straight to the
// system, so blocks are gathered and written this many at a time.
constexpr size_t blocksPerWrite = streamBufferSize / blockSize;

}  // namespace

int copy(std::string sourceFilename, std::string targetFilename) {
    const std::unique_ptr<FileBuffer> source = openForReading(sourceFilename);
    if (!source) {
        logLine("source file open failed");
        return 1;
    }
    std::istream sourceFile(source.get());

    // Copying a file onto itself would only risk its content.
    std::error_code notSame;
    if (std::filesystem::equivalent(filePath(sourceFilename), filePath(targetFilename), notSame)) {
        return 0;
    }

    Replacement targetFile;
    if (!startReplacement(targetFile, targetFilename)) return 1;

    const std::unique_ptr<char[]> buffer(new char[streamBufferSize]);
    size_t filled = 0;
    // A short read sets the fail state as well as the end, and so does a read
    // error, so the loop never goes on reading a failed source.
    while (sourceFile) {
        sourceFile.read(buffer.get() + filled, blockSize);
        filled += static_cast<size_t>(sourceFile.gcount());
        if (filled == blockSize * blocksPerWrite || !sourceFile) {
            targetFile.stream.write(buffer.get(), static_cast<std::streamsize>(filled));
            filled = 0;
        }
    }
    if (sourceFile.bad()) {
        abandonReplacement(targetFile);
        logError("cant read file:", sourceFilename);
        return 1;
    }
    source->close();
    return finishReplacement(targetFile) ? 0 : 1;
}
