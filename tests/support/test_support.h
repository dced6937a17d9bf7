#pragma once

// What the tests need to know of the platform, and small file helpers.

#include <filesystem>
#include <sstream>
#include <string>

#include "platform/win32.h"

namespace test {

#ifdef _WIN32
inline constexpr bool windowsBuild = true;
#else
inline constexpr bool windowsBuild = false;
#endif

// The line end the launcher writes to text files here.
inline const std::string lineEnd = textLineEnd;

// Whether this Windows build runs under Wine.
bool underWine();

// Whole-file helpers; readFile returns "<missing>" for a file that cannot be read.
std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& bytes);

// Takes every write permission from a file (on Windows: sets its read-only
// attribute), or gives them back.
void makeReadOnly(const std::filesystem::path& path, bool readOnly);

// A fresh folder of its own for one test, removed afterwards unless the test failed.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // The folder as the launcher takes a directory prefix: narrow, ending in a separator.
    std::string prefix() const;

private:
    std::filesystem::path path_;
};

// Collects what the code under test writes to standard output and error.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::string out() const { return out_.str(); }
    std::string err() const { return err_.str(); }

private:
    std::ostringstream out_;
    std::ostringstream err_;
    std::streambuf* savedOut_;
    std::streambuf* savedErr_;
};

}  // namespace test
