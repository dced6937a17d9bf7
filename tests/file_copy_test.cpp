#include "file_copy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <istream>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "file_stream.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace {

const std::string missing = "<missing>";  // what test::readFile gives for no file

struct Copied {
    int result;
    std::string out;
    std::string err;
};

Copied runCopy(const std::string& source, const std::string& target) {
    test::LogCapture capture;
    const int result = copy(source, target);
    return {result, capture.out(), capture.err()};
}

// The names in folder, sorted, folders marked by a trailing slash: shows
// every file left behind, temporaries included.
std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string() + (entry.is_directory() ? "/" : ""));
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Bytes whose period (251) is no divisor of the block size, so that a block
// written twice, skipped or out of place shows.
std::string patterned(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i % 251);
    return bytes;
}

TEST(copy, BlockBoundaries) {
    // Blocks are written 64 at a time, so 64 KiB is a boundary too.
    for (const size_t size : {0, 1, 1023, 1024, 1025, 2048, 3000, 65535, 65536, 65537, 200000}) {
        for (const bool targetExists : {false, true}) {
            SCOPED_TRACE(std::to_string(size) + " bytes, target " +
                         (targetExists ? "existing and longer" : "missing"));
            test::ScratchFolder folder;
            const std::string source = folder.prefix() + "source";
            const std::string target = folder.prefix() + "target";
            test::writeFile(source, patterned(size));
            if (targetExists) test::writeFile(target, std::string(size + 1500, 'T'));

            const Copied copied = runCopy(source, target);
            EXPECT_EQ(copied.result, 0);
            EXPECT_EQ(copied.out, "");
            EXPECT_EQ(copied.err, "");
            EXPECT_EQ(test::readFile(target), patterned(size));
            EXPECT_EQ(test::readFile(source), patterned(size));
            EXPECT_EQ(namesIn(folder.path()), (std::vector<std::string>{"source", "target"}));
        }
    }
}

TEST(copy, EveryByteValue) {
    std::string bytes;
    for (int value = 0; value < 256; ++value) bytes += static_cast<char>(value);
    // What a text mode would change: line ends either way round, Ctrl-Z, NUL.
    bytes += std::string("\r\n\n\r\x1A\r\r\n", 8) + std::string(1, '\0') + "\x1A";
    test::ScratchFolder folder;
    const std::string source = folder.prefix() + "source";
    const std::string target = folder.prefix() + "target";
    test::writeFile(source, bytes);
    test::writeFile(target, "old\r\n");

    const Copied copied = runCopy(source, target);
    EXPECT_EQ(copied.result, 0);
    EXPECT_EQ(copied.err, "");
    EXPECT_EQ(test::readFile(target), bytes);
}

TEST(copy, SourceMissing) {
    struct Row {
        const char* name;
        std::string target;  // name in the folder
        std::string targetBefore;
        std::vector<std::string> namesAfter;
    };
    const Row rows[] = {
        {"target missing", "target", missing, {}},
        {"target existing", "target", "kept\n", {"target"}},
        {"target the same missing file", "source", missing, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        test::ScratchFolder folder;
        const std::string target = folder.prefix() + row.target;
        if (row.targetBefore != missing) test::writeFile(target, row.targetBefore);

        const Copied copied = runCopy(folder.prefix() + "source", target);
        EXPECT_EQ(copied.result, 1);
        EXPECT_EQ(copied.out, "source file open failed\n");
        EXPECT_EQ(copied.err, "");
        EXPECT_EQ(test::readFile(target), row.targetBefore);
        EXPECT_EQ(namesIn(folder.path()), row.namesAfter);
    }
}

TEST(copy, OntoItself) {
    for (const char* spelling : {"file", "./file", "sub/../file"}) {
        SCOPED_TRACE(spelling);
        test::ScratchFolder folder;
        fs::create_directory(folder.path() / "sub");
        const std::string content = patterned(3000);
        test::writeFile(folder.path() / "file", content);

        const Copied copied = runCopy(folder.prefix() + "file", folder.prefix() + spelling);
        EXPECT_EQ(copied.result, 0);
        EXPECT_EQ(copied.out, "");
        EXPECT_EQ(copied.err, "");
        EXPECT_EQ(test::readFile(folder.path() / "file"), content);
        EXPECT_EQ(namesIn(folder.path()), (std::vector<std::string>{"file", "sub/"}));
    }
}

TEST(copy, TargetCannotBeWritten) {
    struct Row {
        const char* name;
        std::string target;  // name in the folder
        bool folderInPlace;
        std::string err;  // before the target's name
        std::vector<std::string> namesAfter;
    };
    const Row rows[] = {
        {"folder missing", "missing/target", false, "cant new file:", {"source"}},
        {"folder in the target's place",
         "target",
         true,
         "cant replace file:",
         {"source", "target/"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        test::ScratchFolder folder;
        const std::string source = folder.prefix() + "source";
        const std::string target = folder.prefix() + row.target;
        test::writeFile(source, "new\n");
        if (row.folderInPlace) fs::create_directory(target);

        const Copied copied = runCopy(source, target);
        EXPECT_EQ(copied.result, 1);
        EXPECT_EQ(copied.out, "");
        EXPECT_EQ(copied.err, row.err + target + "\n");
        EXPECT_EQ(namesIn(folder.path()), row.namesAfter);
        if (row.folderInPlace) {
            EXPECT_TRUE(fs::is_empty(target));
        }
    }
}

// Windows will not move a file over one that another program holds open
// without letting it be deleted; after waiting a while for it, the copy gives up.
void expectTargetKept(const test::ScratchFolder& folder, const Copied& copied,
                      const std::string& failure) {
    EXPECT_EQ(copied.result, 1);
    EXPECT_EQ(copied.out, "");
    EXPECT_EQ(copied.err, failure + folder.prefix() + "target\n");
    EXPECT_EQ(test::readFile(folder.path() / "target"), "kept\n");
    EXPECT_EQ(namesIn(folder.path()), (std::vector<std::string>{"source", "target"}));
}

TEST(copy, TargetHeldOpenElsewhere) {
    if (!test::windowsBuild) GTEST_SKIP() << "POSIX lets a rename replace an open file";
    test::ScratchFolder folder;
    test::writeFile(folder.path() / "source", "new\n");
    test::writeFile(folder.path() / "target", "kept\n");
    std::ifstream held(folder.path() / "target", std::ios::binary);
    ASSERT_TRUE(held.is_open());

    const Copied copied = runCopy(folder.prefix() + "source", folder.prefix() + "target");
    held.close();
    expectTargetKept(folder, copied, "cant replace file:");
}

TEST(copy, ReadOnlyTarget) {
    test::ScratchFolder folder;
    const fs::path target = folder.path() / "target";
    test::writeFile(folder.path() / "source", "new\n");
    test::writeFile(target, "kept\n");
    test::makeReadOnly(target, true);

    const Copied copied = runCopy(folder.prefix() + "source", folder.prefix() + "target");
    test::makeReadOnly(target, false);
    expectTargetKept(folder, copied, "cant new file:");
}

// The launcher's own reads let other processes rename and delete the file it
// reads, so that it never stops another launch from doing so.
TEST(openForReading, LetsOthersRenameAndDelete) {
    test::ScratchFolder folder;
    test::writeFile(folder.path() / "source", "bytes\n");
    const std::unique_ptr<FileBuffer> reading = openForReading(folder.prefix() + "source");
    ASSERT_TRUE(reading);
    std::error_code error;
    fs::rename(folder.path() / "source", folder.path() / "moved", error);
    EXPECT_FALSE(error) << error.message();
    fs::remove(folder.path() / "moved", error);
    EXPECT_FALSE(error) << error.message();
    std::istream stream(reading.get());
    std::string line;
    EXPECT_TRUE(std::getline(stream, line));
    EXPECT_EQ(line, "bytes");
}

}  // namespace
