#include "file_replace.h"

#include <chrono>
#include <filesystem>
#include <system_error>
#include <thread>

#include "log.h"
#include "platform/win32.h"

namespace {

// Names a planted file or link, or an earlier run's leftover, may have taken.
constexpr int temporaryNames = 100;

// How long a busy file is waited for, and how often it is tried meanwhile.
constexpr std::chrono::milliseconds busyWait{1000};
constexpr std::chrono::milliseconds busyStep{5};

void removeTemporary(Replacement& replacement) {
    replacement.stream.rdbuf(nullptr);
    replacement.file.reset();
    std::error_code ignored;
    std::filesystem::remove(filePath(replacement.temporary), ignored);
}

}  // namespace

std::string temporaryNameFor(const std::string& target) {
    return target + "." + std::to_string(processId()) + ".tmp";
}

bool startReplacement(Replacement& replacement, const std::string& target) {
    replacement.target = target;
    if (!isReadOnly(target)) {
        const std::string first = temporaryNameFor(target);
        for (int attempt = 0; attempt < temporaryNames; ++attempt) {
            // target.<pid>.tmp, then target.<pid>.1.tmp, target.<pid>.2.tmp, ...
            const std::string name = attempt == 0 ? first
                                                  : first.substr(0, first.size() - 4) + "." +
                                                        std::to_string(attempt) + ".tmp";
            bool nameTaken = false;
            replacement.file = fileBufferFor(createNewFile(name, nameTaken), std::ios::out);
            if (replacement.file) {
                replacement.temporary = name;
                replacement.stream.rdbuf(replacement.file.get());
                return true;
            }
            if (!nameTaken) break;
        }
    }
    logError("cant new file:", target);
    return false;
}

bool finishReplacement(Replacement& replacement) {
    // A write that failed shows in the stream; one that fails as the buffer
    // is written out on closing, in the close.
    const bool written = replacement.stream.good() && replacement.file->close() != nullptr;
    if (!written) {
        removeTemporary(replacement);
        logError("cant write file:", replacement.target);
        return false;
    }
    replacement.stream.rdbuf(nullptr);
    replacement.file.reset();
    // Checked again, as the target may have become read-only meanwhile.
    if (isReadOnly(replacement.target)) {
        removeTemporary(replacement);
        logError("cant new file:", replacement.target);
        return false;
    }
    const auto start = std::chrono::steady_clock::now();
    MoveResult moved = moveOver(replacement.temporary, replacement.target);
    bool retried = false;
    while (moved == MoveResult::Busy && std::chrono::steady_clock::now() - start < busyWait) {
        std::this_thread::sleep_for(busyStep);
        moved = moveOver(replacement.temporary, replacement.target);
        retried = true;
    }
    if (moved != MoveResult::Moved) {
        removeTemporary(replacement);
        logError("cant replace file:", replacement.target);
        return false;
    }
    if (retried) {
        const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start);
        logLine("waited for busy file:",
                replacement.target + " (" + std::to_string(waited.count()) + " ms)");
    }
    return true;
}

void abandonReplacement(Replacement& replacement) { removeTemporary(replacement); }
