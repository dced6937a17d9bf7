#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/win32.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;

// A program that writes what it was given to a file beside itself, then waits
// until the test lets it end, so that it is seen running after WinExecUtf8 returned.
const char* const recorder =
    "#!/bin/sh\n"
    "dir=$(dirname \"$0\")\n"
    "{ printf '%s\\n' \"$@\"; readlink /proc/$$/fd/2;\n"
    "  if [ -e /proc/$$/fd/50 ]; then echo fd50; fi; } > \"$dir/args.tmp\"\n"
    "mv \"$dir/args.tmp\" \"$dir/args.txt\"\n"
    "n=0; while [ ! -e \"$dir/go\" ] && [ $n -lt 200 ]; do sleep 0.05; n=$((n+1)); done\n"
    "touch \"$dir/done\"\n";

// Waits up to ten seconds for a file that the started program writes.
bool waitFor(const fs::path& path) {
    for (int i = 0; i < 200 && !fs::exists(path); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return fs::exists(path);
}

TEST(WinExecUtf8, StartsWithoutWaitingOrSharingFiles) {
    test::ScratchFolder folder;
    const fs::path program = folder.path() / "record.sh";
    test::writeFile(program, recorder);
    fs::permissions(program, fs::perms::owner_all);

    // A file we hold open must not stay open in the started program.
    const int held = open(program.c_str(), O_RDONLY);
    ASSERT_GE(held, 0);
    ASSERT_EQ(dup2(held, 50), 50);
    close(held);

    const std::string commandLine = program.string() + " DMM \"two words\" x\\\"y";
    EXPECT_GT(WinExecUtf8(commandLine, 1), 31u);
    close(50);

    // WinExecUtf8 has returned while the program still waits for "go".
    ASSERT_TRUE(waitFor(folder.path() / "args.txt"));
    EXPECT_FALSE(fs::exists(folder.path() / "done"));
    EXPECT_EQ(test::readFile(folder.path() / "args.txt"), "DMM\ntwo words\nx\"y\n/dev/null\n");

    // Nothing is left for us to reap: the program belongs to init.
    int status = 0;
    EXPECT_EQ(waitpid(-1, &status, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);

    test::writeFile(folder.path() / "go", "");
    EXPECT_TRUE(waitFor(folder.path() / "done"));
}

TEST(WinExecUtf8, ReportsWhatCannotBeStarted) {
    test::ScratchFolder folder;
    test::writeFile(folder.path() / "plain.txt", "not a program");
    struct Row {
        std::string commandLine;
        UINT result;
    };
    const Row rows[] = {
        {folder.prefix() + "missing.exe a", 2},
        {folder.prefix() + "no-such-folder/missing.exe", 3},
        {folder.prefix() + "plain.txt", 11},
        {"no-such-program-anywhere.exe DMM", 2},
        {"", 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.commandLine);
        EXPECT_EQ(WinExecUtf8(row.commandLine, 1), row.result);
    }
}

TEST(GetConsoleWindow, ThereIsNoneToHide) {
    HWND window = GetConsoleWindow();
    EXPECT_EQ(window, nullptr);
    EXPECT_EQ(ShowWindow(window, 0), 0);
}

}  // namespace
