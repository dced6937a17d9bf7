// Failures that only POSIX calls can bring about for real, so this file is
// built natively only: a file size limit that makes writes fail, and a
// socket, which even root cannot open as a file.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "descriptor.h"
#include "file_copy.h"
#include "pattern.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace {

struct Game {
    test::ScratchFolder folder;
    std::string dir = folder.prefix();
    std::string air = dir + "META-INF/AIR/";
    std::string descriptor = air + "application.xml";
    std::string cached = air + "application123.xml";

    std::vector<std::string> airFolder() const {
        std::vector<std::string> names;
        for (const fs::directory_entry& entry : fs::directory_iterator(air)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
};

int launch(const Game& game) {
    replaceAppId(game.dir, game.descriptor, makePattern("<id>.*</id>"), "123");
    return 0;
}

struct Outcome {
    bool exited = false;  // normally, with status 0
    int result = -1;
    std::string out;
    std::string err;
};

// Runs work in a child process whose files cannot grow past limit bytes, with
// SIGXFSZ ignored so that the write itself fails, and returns its result and
// log. The child's work is small, and it leaves by _exit, so that nothing of
// the test run is flushed or torn down twice.
Outcome underFileSizeLimit(rlim_t limit, int (*work)(const Game&), const Game& game) {
    int channel[2];
    if (pipe(channel) != 0) return {};
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        signal(SIGXFSZ, SIG_IGN);
        const rlimit fileSize{limit, limit};
        if (setrlimit(RLIMIT_FSIZE, &fileSize) != 0) _exit(2);
        std::string report;
        {
            test::LogCapture capture;
            const int result = work(game);
            report = std::to_string(result) + '\0' + capture.out() + '\0' + capture.err();
        }
        for (size_t sent = 0; sent < report.size();) {
            const ssize_t n = write(channel[1], report.data() + sent, report.size() - sent);
            if (n <= 0) _exit(3);
            sent += static_cast<size_t>(n);
        }
        _exit(0);
    }
    close(channel[1]);
    std::string report;
    char buffer[4096];
    for (ssize_t n; (n = read(channel[0], buffer, sizeof buffer)) > 0;) report.append(buffer, n);
    close(channel[0]);
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child) return {};

    Outcome outcome;
    outcome.exited = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    const size_t endOfResult = report.find('\0');
    const size_t endOfOut = report.find('\0', endOfResult + 1);
    if (!outcome.exited || endOfOut == std::string::npos) return outcome;
    outcome.result = std::stoi(report.substr(0, endOfResult));
    outcome.out = report.substr(endOfResult + 1, endOfOut - endOfResult - 1);
    outcome.err = report.substr(endOfOut + 1);
    return outcome;
}

// size bytes of descriptor text, the id element on the first line.
std::string descriptorOf(size_t size) {
    std::string text = "<id>old</id>\n";
    while (text.size() < size) text += "<!-- filler to make the file large -->\n";
    return text;
}

int copyCachedCopy(const Game& game) { return copy(game.cached, game.descriptor); }

TEST(writeFailure, NothingHalfWrittenIsLeft) {
    struct Row {
        const char* name;
        size_t size;  // of the new content, above the limit
        bool reuse;   // a cached copy exists, to be put in the descriptor's place
        int (*work)(const Game&);
    };
    // Below the stream's buffer size the failure shows at the final flush,
    // above it in the middle of the writing.
    const Row rows[] = {
        {"rewrite way, at the flush", 5000, false, launch},
        {"rewrite way, midway", 64 << 10, false, launch},
        {"reuse way, at the flush", 5000, true, launch},
        {"reuse way, midway", 64 << 10, true, launch},
        {"copy, at the flush", 5000, true, copyCachedCopy},
        {"copy, midway", 64 << 10, true, copyCachedCopy},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Game game;
        const std::string descriptor = row.reuse ? "<id>old</id>\n" : descriptorOf(row.size);
        const std::string cached = row.reuse ? descriptorOf(row.size) : "<missing>";
        test::writeFile(game.descriptor, descriptor);
        if (row.reuse) test::writeFile(game.cached, cached);

        const Outcome outcome = underFileSizeLimit(4096, row.work, game);
        ASSERT_TRUE(outcome.exited);
        if (row.work == launch) {
            EXPECT_EQ(
                outcome.out,
                "file_path:" + game.descriptor + "\ntfile_path:" + game.cached + "\n" +
                    (row.reuse ? ""
                               : "finded file:" + game.descriptor + "\nline:<id>DIVU123</id>\n"));
        } else {
            EXPECT_EQ(outcome.result, 1);
            EXPECT_EQ(outcome.out, "");
        }
        EXPECT_EQ(outcome.err,
                  "cant write file:" + (row.reuse ? game.descriptor : game.cached) + "\n");
        EXPECT_EQ(test::readFile(game.descriptor), descriptor);
        EXPECT_EQ(test::readFile(game.cached), cached);
        const std::vector<std::string> left =
            row.reuse ? std::vector<std::string>{"application.xml", "application123.xml"}
                      : std::vector<std::string>{"application.xml"};
        EXPECT_EQ(game.airFolder(), left);
    }
}

// Copying a file onto itself is no replacement, so it succeeds where
// nothing could be written, under any spelling of the name.
TEST(writeFailure, CopyOntoItselfWritesNothing) {
    Game game;
    const std::string content = descriptorOf(64 << 10);
    test::writeFile(game.cached, content);
    const auto copyOntoItself = [](const Game& g) {
        return copy(g.cached, g.air + "./application123.xml");
    };

    const Outcome outcome = underFileSizeLimit(0, copyOntoItself, game);
    ASSERT_TRUE(outcome.exited);
    EXPECT_EQ(outcome.result, 0);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(test::readFile(game.cached), content);
    EXPECT_EQ(game.airFolder(), std::vector<std::string>{"application123.xml"});
}

// Root reads a file whatever its mode, but nobody opens a socket as a file.
TEST(replaceAppId, DescriptorThatCannotBeOpened) {
    Game game;
    fs::create_directories(game.air);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(game.descriptor.size(), sizeof address.sun_path);
    std::memcpy(address.sun_path, game.descriptor.c_str(), game.descriptor.size() + 1);
    const int socketFd = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(socketFd, 0);
    ASSERT_EQ(bind(socketFd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);

    std::string out, err;
    {
        test::LogCapture capture;
        launch(game);
        out = capture.out();
        err = capture.err();
    }
    close(socketFd);
    EXPECT_EQ(out, "file_path:" + game.descriptor + "\ntfile_path:" + game.cached + "\n" +
                       "finded file:" + game.descriptor + "\n" + "file open failed" +
                       game.descriptor + "\n");
    EXPECT_EQ(err, "");
    EXPECT_TRUE(fs::is_socket(game.descriptor));
    EXPECT_EQ(game.airFolder(), std::vector<std::string>{"application.xml"});
}

}  // namespace
