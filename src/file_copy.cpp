#include "file_copy.h"

#include <filesystem>
#include <fstream>
#include <memory>
#include <system_error>

#include "file_replace.h"
#include "log.h"
#include "platform/win32.h"

namespace {

constexpr size_t blockSize = 1024;
// The stream library hands every write of a whole block straight to the
// system, so blocks are gathered and written this many at a time.
constexpr size_t blocksPerWrite = streamBufferSize / blockSize;

}  // namespace

int copy(std::string sourceFilename, std::string targetFilename) {
    const std::unique_ptr<char[]> sourceBuffer = makeStreamBuffer();
    std::ifstream sourceFile;
    sourceFile.rdbuf()->pubsetbuf(sourceBuffer.get(), streamBufferSize);
    sourceFile.open(filePath(sourceFilename), std::ios::in | std::ios::binary);
    if (!sourceFile.is_open()) {
        logLine("source file open failed");
        return 1;
    }

    // Copying a file onto itself would only risk its content.
    std::error_code notSame;
    if (std::filesystem::equivalent(filePath(sourceFilename), filePath(targetFilename), notSame)) {
        return 0;
    }

    const std::string temporary = temporaryNameFor(targetFilename);
    std::ofstream targetFile;
    if (!openTemporary(targetFile, temporary)) {
        logError("cant new file:", targetFilename);
        return 1;
    }

    const std::unique_ptr<char[]> buffer = makeStreamBuffer();
    size_t filled = 0;
    // A short read sets the fail state as well as the end, and so does a read
    // error, so the loop never goes on reading a failed source.
    while (sourceFile) {
        sourceFile.read(buffer.get() + filled, blockSize);
        filled += static_cast<size_t>(sourceFile.gcount());
        if (filled == blockSize * blocksPerWrite || !sourceFile) {
            targetFile.write(buffer.get(), static_cast<std::streamsize>(filled));
            filled = 0;
        }
    }
    if (sourceFile.bad()) {
        discardTemporary(targetFile, temporary);
        logError("cant read file:", sourceFilename);
        return 1;
    }
    sourceFile.close();

    return commitTemporary(targetFile, temporary, targetFilename) ? 0 : 1;
}
