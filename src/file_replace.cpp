#include "file_replace.h"

#include <filesystem>
#include <system_error>

#include "log.h"
#include "platform/win32.h"

std::string temporaryNameFor(const std::string& target) {
    return target + "." + std::to_string(processId()) + ".tmp";
}

bool openTemporary(std::ofstream& stream, const std::string& temporary) {
    stream.open(filePath(temporary), std::ios::out | std::ios::binary | std::ios::trunc);
    return stream.is_open();
}

bool commitTemporary(std::ofstream& stream, const std::string& temporary,
                     const std::string& target) {
    stream.flush();
    stream.close();
    if (stream.fail()) {
        discardTemporary(stream, temporary);
        logError("cant write file:", target);
        return false;
    }
    std::error_code error;
    std::filesystem::rename(filePath(temporary), filePath(target), error);
    if (error) {
        discardTemporary(stream, temporary);
        logError("cant replace file:", target);
        return false;
    }
    return true;
}

void discardTemporary(std::ofstream& stream, const std::string& temporary) {
    if (stream.is_open()) stream.close();
    std::error_code ignored;
    std::filesystem::remove(filePath(temporary), ignored);
}
