#include "file_stream.h"

#include <unistd.h>

#include "platform/win32.h"

std::unique_ptr<FileBuffer> fileBufferFor(int descriptor, std::ios::openmode mode) {
    if (descriptor < 0) return nullptr;
    auto buffer =
        std::make_unique<FileBuffer>(descriptor, mode | std::ios::binary, streamBufferSize);
    if (!buffer->is_open()) {
        close(descriptor);
        return nullptr;
    }
    return buffer;
}

std::unique_ptr<FileBuffer> openForReading(const std::string& name) {
    return fileBufferFor(openToRead(name), std::ios::in);
}
