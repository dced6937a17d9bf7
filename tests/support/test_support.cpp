#include "support/test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <iostream>

namespace test {

bool underWine() {
#ifdef _WIN32
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
    return false;
#endif
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "<missing>";
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << "cannot write fixture " << path;
}

void makeReadOnly(const std::filesystem::path& path, bool readOnly) {
    namespace fs = std::filesystem;
    const fs::perms writable =
        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    fs::permissions(path, writable, readOnly ? fs::perm_options::remove : fs::perm_options::add);
}

ScratchFolder::ScratchFolder() {
    static std::atomic<int> count{0};
    path_ = std::filesystem::temp_directory_path() /
            ("divu-" + std::to_string(processId()) + "-" + std::to_string(count++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
}

ScratchFolder::~ScratchFolder() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    if (info && info->result()->Failed()) {
        std::cerr << "kept scratch folder " << path_.string() << "\n";
        return;
    }
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
}

std::string ScratchFolder::prefix() const {
    return path_.string() + static_cast<char>(std::filesystem::path::preferred_separator);
}

LogCapture::LogCapture()
    : savedOut_(std::cout.rdbuf(out_.rdbuf())), savedErr_(std::cerr.rdbuf(err_.rdbuf())) {}

LogCapture::~LogCapture() {
    std::cout.rdbuf(savedOut_);
    std::cerr.rdbuf(savedErr_);
}

}  // namespace test
