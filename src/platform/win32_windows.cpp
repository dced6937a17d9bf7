#include "platform/win32.h"

// Asks the runtime to expand wildcards in the arguments before main.
extern "C" {
int _dowildcard = -1;
}

std::filesystem::path filePath(const std::string& name) {
    if (name.empty()) return {};
    const int size = static_cast<int>(name.size());
    const int wideSize = MultiByteToWideChar(CP_ACP, 0, name.data(), size, nullptr, 0);
    // A name the code page cannot convert names no file, rather than some other one.
    if (wideSize <= 0) return {};
    std::wstring wide(static_cast<size_t>(wideSize), L'\0');
    MultiByteToWideChar(CP_ACP, 0, name.data(), size, wide.data(), wideSize);
    return std::filesystem::path(wide);
}

unsigned long processId() { return GetCurrentProcessId(); }
