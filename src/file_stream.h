#pragma once

#include <cstddef>
#include <ext/stdio_filebuf.h>
#include <memory>
#include <string>

// A stream buffer on a file that the platform layer opened: std::fstream can
// only open files itself, and then Windows lets no other process rename or
// delete them while they are open. A libstdc++ type, as both builds use it.
using FileBuffer = __gnu_cxx::stdio_filebuf<char>;

// Stream buffer size for whole-file reads and writes: the default 8 KiB
// makes a system call for every 8 KiB of a large descriptor.
inline constexpr size_t streamBufferSize = 64 * 1024;

// The buffer for a file descriptor, which it then owns; null for -1. mode is
// std::ios::in or std::ios::out, binary in either case.
std::unique_ptr<FileBuffer> fileBufferFor(int descriptor, std::ios::openmode mode);

// Opens an existing file for binary reading; null when it cannot be opened.
std::unique_ptr<FileBuffer> openForReading(const std::string& name);
