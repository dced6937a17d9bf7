#include "file_copy.h"

#include <filesystem>
#include <fstream>
#include <system_error>

#include "file_replace.h"
#include "log.h"
#include "platform/win32.h"

int copy(std::string sourceFilename, std::string targetFilename) {
    std::ifstream sourceFile(filePath(sourceFilename), std::ios::in | std::ios::binary);
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

    char buffer[1024];
    // A short read sets the fail state as well as the end, and so does a read
    // error, so the loop never goes on reading a failed source.
    while (sourceFile) {
        sourceFile.read(buffer, sizeof buffer);
        targetFile.write(buffer, sourceFile.gcount());
    }
    if (sourceFile.bad()) {
        discardTemporary(targetFile, temporary);
        logError("cant read file:", sourceFilename);
        return 1;
    }
    sourceFile.close();

    return commitTemporary(targetFile, temporary, targetFilename) ? 0 : 1;
}
