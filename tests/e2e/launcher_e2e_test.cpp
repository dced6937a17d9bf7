// Runs the built launcher as a process of its own, in scratch game folders
// that hold it, a stand-in client and a descriptor, and checks its whole log,
// the files it leaves and what the client was given.
//
// The same Linux driver tests both builds: E2E_LAUNCHER names the launcher,
// E2E_CLIENT the stand-in client, and E2E_WINE=1 runs the launcher under Wine.
// The Windows build then sees its program path in Windows form and ends every
// log and descriptor line in CR LF.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

// --- What is under test -----------------------------------------------------

struct Setup {
    fs::path launcher;
    fs::path client;
    bool wine = false;
};

// The launcher, client and mode from the environment; empty paths when unset.
const Setup& setup() {
    static const Setup value = [] {
        Setup s;
        if (const char* launcher = std::getenv("E2E_LAUNCHER")) s.launcher = launcher;
        if (const char* client = std::getenv("E2E_CLIENT")) s.client = client;
        const char* wine = std::getenv("E2E_WINE");
        s.wine = wine && std::string(wine) == "1";
        return s;
    }();
    return value;
}

bool underWine() { return setup().wine; }

// Whether the launcher runs under the sanitizers, which end a process that
// runs out of memory instead of letting the allocation fail.
bool sanitized() {
    const char* value = std::getenv("E2E_SANITIZED");
    return value && std::string(value) == "1";
}

// The line end of the launcher's log and of the descriptors it writes.
std::string lineEnd() { return underWine() ? "\r\n" : "\n"; }

// The ANSI code page Wine runs the launcher in, as the test's locale sets it.
enum class CodePage { Western, Japanese };

std::vector<std::string> localeFor(CodePage codePage) {
    const std::string locale = codePage == CodePage::Japanese ? "ja_JP.UTF-8" : "C.UTF-8";
    return {"LANG=" + locale, "LC_ALL=" + locale};
}

// Names outside ASCII that the tests use, in UTF-8 and as each code page
// shows them: "?" for a character it lacks.
struct ForeignName {
    std::string utf8;
    std::string western;
    std::string japanese;
};
const ForeignName katakanaGame = {"\xE3\x82\xB2\xE3\x83\xBC\xE3\x83\xA0", "???",
                                  "\x83\x51\x81\x5B\x83\x80"};                          // ゲーム
const ForeignName kanjiJapan = {"\xE6\x97\xA5\xE6\x9C\xAC", "??", "\x93\xFA\x96\x7B"};  // 日本
const ForeignName kanjiName = {"\xE5\x90\x8D\xE5\x89\x8D", "??", "\x96\xBC\x91\x4F"};   // 名前
const ForeignName hangulKorea = {"\xED\x95\x9C\xEA\xB5\xAD", "??", "??"};               // 한국
const ForeignName hangulName = {"\xEC\x9D\xB4\xEB\xA6\x84", "??", "??"};                // 이름
const ForeignName foreignNames[] = {katakanaGame, kanjiJapan, kanjiName, hangulKorea, hangulName};

// Text as the Windows build's log shows it in the code page; natively the
// log holds names as they are.
std::string logFormOf(std::string text, CodePage codePage) {
    if (!underWine()) return text;
    for (const ForeignName& name : foreignNames) {
        const std::string& shown = codePage == CodePage::Japanese ? name.japanese : name.western;
        for (size_t at; (at = text.find(name.utf8)) != std::string::npos;) {
            text.replace(at, name.utf8.size(), shown);
        }
    }
    return text;
}

// A path in the launcher's own terms: Windows form under Wine, in UTF-8.
std::string windowsForm(const fs::path& path) {
    std::string text = fs::absolute(path).lexically_normal().string();
    if (!underWine()) return text;
    std::replace(text.begin(), text.end(), '/', '\\');
    return "Z:" + text;
}

// A path as the launcher's log shows it.
std::string seenAs(const fs::path& path, CodePage codePage = CodePage::Western) {
    return logFormOf(windowsForm(path), codePage);
}

// A folder as the launcher's directory prefix: seenAs plus a separator.
std::string prefixOf(const fs::path& folder, CodePage codePage = CodePage::Western) {
    return seenAs(folder, codePage) + (underWine() ? "\\" : "/");
}

// --- Files ------------------------------------------------------------------

// A whole file in one read, as the large descriptors are read many times.
std::optional<std::string> readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return std::nullopt;
    std::string bytes(static_cast<size_t>(in.tellg()), '\0');
    in.seekg(0);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!in) return std::nullopt;
    return bytes;
}

void writeBytes(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    ASSERT_TRUE(out) << "cannot write " << path;
}

// Lines joined, each followed by the given line end.
std::string joinLines(const std::vector<std::string>& lines, const std::string& end) {
    std::string text;
    for (const std::string& line : lines) text += line + end;
    return text;
}

// Arguments joined by single blanks, as the launcher joins them.
std::string joinArguments(const std::vector<std::string>& args) {
    std::string text;
    for (size_t i = 0; i < args.size(); ++i) text += (i ? " " : "") + args[i];
    return text;
}

// The words a command line of blank-separated words holds.
std::vector<std::string> wordsOf(const std::string& text) {
    std::vector<std::string> words;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = std::min(text.find(' ', start), text.size());
        if (end > start) words.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return words;
}

// A scratch folder of its own for one test, removed afterwards unless it failed.
class Scratch {
public:
    Scratch() {
        static int count = 0;
        path_ = fs::temp_directory_path() /
                ("divu-e2e-" + std::to_string(getpid()) + "-" + std::to_string(count++));
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~Scratch() {
        if (::testing::Test::HasFailure()) {
            std::cerr << "kept scratch folder " << path_ << "\n";
            return;
        }
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

const std::vector<std::string> descriptorLines = {
    R"(<?xml version="1.0" encoding="utf-8"?>)",
    R"(<application xmlns="urn:example:air:application">)",
    "  <id>DIVU</id>",
    "  <filename>DIVU</filename>",
    "  <versionNumber>1.0.0</versionNumber>",
    "</application>",
};
const std::string idLine = "  <id>DIVU</id>";

// The test descriptor with LF line ends, as a game ships it.
std::string shippedDescriptor() { return joinLines(descriptorLines, "\n"); }

// The descriptor as the launcher writes it for newId.
std::string rewrittenDescriptor(const std::string& newId) {
    std::vector<std::string> lines = descriptorLines;
    lines[2] = "  <id>DIVU" + newId + "</id>";
    return joinLines(lines, lineEnd());
}

fs::path descriptorIn(const fs::path& game) { return game / "META-INF/AIR/application.xml"; }
fs::path cachedCopyIn(const fs::path& game, const std::string& newId) {
    return game / ("META-INF/AIR/application" + newId + ".xml");
}

// Fills a game folder: the launcher under launcherName, the client unless
// left out, and the shipped descriptor.
void makeGame(const fs::path& game, const std::string& launcherName = "DIVU.exe",
              bool withClient = true) {
    fs::create_directories(game);
    fs::copy_file(setup().launcher, game / launcherName, fs::copy_options::overwrite_existing);
    if (withClient) {
        fs::copy_file(setup().client, game / "KEMU_Client.exe",
                      fs::copy_options::overwrite_existing);
    }
    writeBytes(descriptorIn(game), shippedDescriptor());
}

// --- Running the launcher ---------------------------------------------------

struct Invocation {
    Invocation(fs::path program_, std::vector<std::string> args_, fs::path workDir_ = {},
               std::string argv0_ = {})
        : program(std::move(program_)),
          args(std::move(args_)),
          workDir(std::move(workDir_)),
          argv0(std::move(argv0_)) {}

    fs::path program;                   // the launcher file to start
    std::vector<std::string> args;      // its arguments
    fs::path workDir;                   // its working folder; the driver's when empty
    std::string argv0;                  // natively, its argv[0]; the program path when empty
    std::vector<std::string> extraEnv;  // NAME=value, over the driver's environment
    std::optional<std::chrono::milliseconds> killAfter;  // SIGKILL it this long after the start
    std::optional<long> memoryLimitKib;                  // natively, the address space it may use
    bool readToEnd = false;  // after it exits, read on until both pipes close
};

struct Outcome {
    bool exited = false;
    int exitCode = -1;
    bool killed = false;
    std::string out;
    std::string err;
    bool outClosedAtExit = false;  // whether each pipe had closed once the launcher had exited
    bool errClosedAtExit = false;
    bool outClosed = false;  // whether each pipe closed by the end of reading
    bool errClosed = false;
};

// Reads what is there now without waiting; returns false once the pipe has closed.
bool readAvailable(int fd, std::string& into) {
    char buffer[65536];
    for (;;) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got > 0) {
            into.append(buffer, static_cast<size_t>(got));
            continue;
        }
        if (got == 0) return false;
        if (errno == EINTR) continue;
        return errno == EAGAIN || errno == EWOULDBLOCK;
    }
}

// The environment for the launcher: the driver's, with extra entries over it.
std::vector<std::string> environmentWith(const std::vector<std::string>& extra) {
    std::vector<std::string> entries;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('='));
        const bool replaced = std::any_of(extra.begin(), extra.end(), [&](const std::string& e) {
            return e.compare(0, name.size() + 1, name + "=") == 0;
        });
        if (!replaced) entries.push_back(text);
    }
    entries.insert(entries.end(), extra.begin(), extra.end());
    return entries;
}

std::vector<char*> pointersTo(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts) pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

// Starts the launcher with its standard output and error on pipes of their
// own, reads both while it runs and waits (bounded) for it to exit. The client
// may hold the pipes after the launcher has gone, so only what is already in
// them is read then, unless readToEnd asks to wait (bounded) for them to close.
Outcome runLauncher(const Invocation& run) {
    Outcome outcome;
    std::vector<std::string> words;
    if (underWine()) {
        words = {"wine", run.program.string()};
    } else if (run.memoryLimitKib) {
        // The shell sets the limit, then becomes the launcher.
        words = {"/bin/sh", "-c",
                 "ulimit -v " + std::to_string(*run.memoryLimitKib) + " && exec \"$0\" \"$@\"",
                 run.program.string()};
    } else {
        words = {run.argv0.empty() ? run.program.string() : run.argv0};
    }
    words.insert(words.end(), run.args.begin(), run.args.end());
    std::vector<std::string> environment = environmentWith(run.extraEnv);
    std::vector<char*> argv = pointersTo(words);
    std::vector<char*> envp = pointersTo(environment);

    int outPipe[2];
    int errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "pipe: " << std::strerror(errno);
        return outcome;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
    if (!run.workDir.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, run.workDir.c_str());
    }
    pid_t pid = -1;
    const std::string file = underWine()          ? std::string("wine")
                             : run.memoryLimitKib ? std::string("/bin/sh")
                                                  : run.program.string();
    const int spawned =
        posix_spawnp(&pid, file.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]);
    close(errPipe[1]);
    if (spawned != 0) {
        close(outPipe[0]);
        close(errPipe[0]);
        ADD_FAILURE() << "cannot start " << file << ": " << std::strerror(spawned);
        return outcome;
    }
    fcntl(outPipe[0], F_SETFL, O_NONBLOCK);
    fcntl(errPipe[0], F_SETFL, O_NONBLOCK);

    const Clock::time_point start = Clock::now();
    const Clock::time_point giveUp = start + 60s;
    bool outOpen = true;
    bool errOpen = true;
    bool killSent = false;
    int status = 0;
    for (;;) {
        if (run.killAfter && !killSent && Clock::now() - start >= *run.killAfter) {
            kill(pid, SIGKILL);
            killSent = true;
        }
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) break;
        if (Clock::now() > giveUp) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            ADD_FAILURE() << "the launcher did not exit within 60 s; killed it";
            break;
        }
        std::vector<pollfd> fds;
        if (outOpen) fds.push_back({outPipe[0], POLLIN, 0});
        if (errOpen) fds.push_back({errPipe[0], POLLIN, 0});
        if (fds.empty()) {
            std::this_thread::sleep_for(1ms);
        } else {
            poll(fds.data(), fds.size(), 1);
        }
        if (outOpen) outOpen = readAvailable(outPipe[0], outcome.out);
        if (errOpen) errOpen = readAvailable(errPipe[0], outcome.err);
    }
    // Everything the launcher wrote is in the pipes by now.
    if (outOpen) outOpen = readAvailable(outPipe[0], outcome.out);
    if (errOpen) errOpen = readAvailable(errPipe[0], outcome.err);
    outcome.outClosedAtExit = !outOpen;
    outcome.errClosedAtExit = !errOpen;

    const Clock::time_point drainUntil = Clock::now() + 20s;
    while (run.readToEnd && (outOpen || errOpen) && Clock::now() < drainUntil) {
        std::vector<pollfd> fds;
        if (outOpen) fds.push_back({outPipe[0], POLLIN, 0});
        if (errOpen) fds.push_back({errPipe[0], POLLIN, 0});
        poll(fds.data(), fds.size(), 20);
        if (outOpen) outOpen = readAvailable(outPipe[0], outcome.out);
        if (errOpen) errOpen = readAvailable(errPipe[0], outcome.err);
    }
    outcome.outClosed = !outOpen;
    outcome.errClosed = !errOpen;
    close(outPipe[0]);
    close(errPipe[0]);

    outcome.exited = WIFEXITED(status);
    outcome.exitCode = outcome.exited ? WEXITSTATUS(status) : -1;
    outcome.killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    return outcome;
}

// Starts the prefix's wineserver ahead of the tests, with no stream of ours:
// one that a launcher run starts keeps that run's standard error open for as
// long as it lives. It stops by itself a few seconds after the last program.
class WineServer : public ::testing::Environment {
public:
    void SetUp() override {
        if (!underWine()) return;
        std::vector<std::string> words = {"wineserver", "-p5"};
        std::vector<char*> argv = pointersTo(words);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        pid_t pid = -1;
        const int spawned =
            posix_spawnp(&pid, "wineserver", &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ASSERT_EQ(spawned, 0) << "cannot start wineserver: " << std::strerror(spawned);
        // It returns once it runs in the background, or at once if one already runs.
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
    }
};

[[maybe_unused]] ::testing::Environment* const wineServer =
    ::testing::AddGlobalTestEnvironment(new WineServer);

// --- The client's record ----------------------------------------------------

// Waits (bounded) for a file to appear; returns whether it did.
bool waitForFile(const fs::path& path, std::chrono::seconds bound = 20s) {
    const Clock::time_point giveUp = Clock::now() + bound;
    while (!fs::exists(path)) {
        if (Clock::now() > giveUp) return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

// The arguments the client in game recorded, once it has; nullopt if it never does.
std::optional<std::vector<std::string>> clientArguments(const fs::path& game) {
    const fs::path record = game / "client-args.txt";
    if (!waitForFile(record)) return std::nullopt;
    std::ifstream in(record, std::ios::binary);
    size_t count = 0;
    std::string line;
    if (!std::getline(in, line)) return std::nullopt;
    count = std::stoul(line);
    std::vector<std::string> args;
    while (args.size() < count && std::getline(in, line)) args.push_back(line);
    if (args.size() != count) return std::nullopt;
    return args;
}

// --- Expected logs ----------------------------------------------------------

struct Launch {
    std::string param;                    // the arguments joined by single blanks
    std::vector<std::string> matchLines;  // "match ..." lines, in order
    std::string id;
    std::string sid;
};

// The log up to and including tfile_path, for a launcher whose directory
// prefix is execDir (nullopt when the program path lacks DIVU.exe).
std::vector<std::string> logHead(const std::string& programPath,
                                 const std::optional<std::string>& execDir, const Launch& launch) {
    const std::string dir = execDir.value_or("");
    std::vector<std::string> lines = {"Pre excu Directory:" + programPath};
    lines.push_back(execDir ? "Now excu Directory:" + dir : "Execu Directory parse failed");
    lines.push_back("input param: " + launch.param);
    lines.insert(lines.end(), launch.matchLines.begin(), launch.matchLines.end());
    lines.push_back("id: " + launch.id);
    lines.push_back("sid:" + launch.sid);
    lines.push_back("file_path:" + dir + "META-INF/AIR/application.xml");
    lines.push_back("tfile_path:" + dir + "META-INF/AIR/application" + launch.id + launch.sid +
                    ".xml");
    return lines;
}

// The descriptor step of a first launch with newId.
std::vector<std::string> rewriteWay(const std::string& execDir, const std::string& newId) {
    return {"finded file:" + execDir + "META-INF/AIR/application.xml",
            "line:  <id>DIVU" + newId + "</id>", "AppID change success"};
}

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Checks a finished run: exit 0, exactly these lines on stdout, nothing on stderr.
void expectLog(const Outcome& outcome, const std::vector<std::string>& lines) {
    EXPECT_TRUE(outcome.exited && outcome.exitCode == 0) << "exit code " << outcome.exitCode;
    EXPECT_EQ(outcome.out, joinLines(lines, lineEnd()));
    EXPECT_EQ(outcome.err, "");
}

class LauncherE2e : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(setup().launcher.empty()) << "E2E_LAUNCHER is not set";
        ASSERT_FALSE(setup().client.empty()) << "E2E_CLIENT is not set";
        ASSERT_TRUE(fs::is_regular_file(setup().launcher)) << setup().launcher;
        ASSERT_TRUE(fs::is_regular_file(setup().client)) << setup().client;
    }
    Scratch scratch;
};

// --- The cases --------------------------------------------------------------

TEST_F(LauncherE2e, LogsEachKindOfLaunchAndStartsTheClient) {
    struct Row {
        const char* name;
        std::vector<std::string> args;
        std::vector<std::string> matchLines;
        std::string id;
        std::string sid;
    };
    const Row rows[] = {
        {"DMM",
         {"DMM", "viewer_id=12345", "token=abc"},
         {"match account success:12345"},
         "12345",
         ""},
        {"JP with account and sid",
         {"kemumclient://start", "account=678", "sid=90"},
         {"match account success:678", "match account success:90"},
         "678",
         "90"},
        {"JP wins over DMM in the first argument",
         {"DMM-kemumclient", "viewer_id=1", "account=2", "sid=3"},
         {"match account success:2", "match account success:3"},
         "2",
         "3"},
        {"NONE: the platform word is case-sensitive", {"dmm", "viewer_id=5"}, {}, "", ""},
        {"DMM without a viewer id", {"DMM", "account=5"}, {"match faild"}, "", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const fs::path game = scratch.path() / std::to_string(&row - rows);
        makeGame(game);
        const Outcome outcome = runLauncher({game / "DIVU.exe", row.args});

        const std::string param = joinArguments(row.args);
        const std::string dir = prefixOf(game);
        const std::string newId = row.id + row.sid;
        const std::vector<std::string> step =
            newId.empty()
                ? std::vector<std::string>{"no id for this launch, descriptor left as it is"}
                : rewriteWay(dir, newId);
        expectLog(
            outcome,
            logHead(seenAs(game / "DIVU.exe"), dir, {param, row.matchLines, row.id, row.sid}) +
                step + std::vector<std::string>{"APP:" + dir + "KEMU_Client.exe " + param});

        if (newId.empty()) {
            EXPECT_EQ(readBytes(descriptorIn(game)), shippedDescriptor());
        } else {
            EXPECT_EQ(readBytes(descriptorIn(game)), rewrittenDescriptor(newId));
            EXPECT_EQ(readBytes(cachedCopyIn(game, newId)), rewrittenDescriptor(newId));
        }
        EXPECT_EQ(clientArguments(game), row.args);
    }
}

TEST_F(LauncherE2e, ALaterLaunchWithAKnownIdReusesItsCachedCopy) {
    const fs::path game = scratch.path() / "game";
    makeGame(game);
    const std::string dir = prefixOf(game);
    const std::string program = seenAs(game / "DIVU.exe");
    for (const char* id : {"11", "22"}) {
        SCOPED_TRACE(id);
        const Outcome outcome =
            runLauncher({game / "DIVU.exe", {"DMM", "viewer_id=" + std::string(id)}});
        EXPECT_TRUE(outcome.exited && outcome.exitCode == 0);
        ASSERT_EQ(readBytes(descriptorIn(game)), rewrittenDescriptor(id));
        ASSERT_TRUE(clientArguments(game).has_value());
        fs::remove(game / "client-args.txt");
    }

    const Outcome outcome = runLauncher({game / "DIVU.exe", {"DMM", "viewer_id=11"}});
    expectLog(outcome,
              logHead(program, dir, {"DMM viewer_id=11", {"match account success:11"}, "11", ""}) +
                  std::vector<std::string>{"AppID change success",
                                           "APP:" + dir + "KEMU_Client.exe DMM viewer_id=11"});
    EXPECT_EQ(readBytes(descriptorIn(game)), rewrittenDescriptor("11"));
    EXPECT_EQ(clientArguments(game), (std::vector<std::string>{"DMM", "viewer_id=11"}));
}

TEST_F(LauncherE2e, ReturnsWhileTheClientStillRuns) {
    const fs::path game = scratch.path() / "game";
    makeGame(game);
    writeBytes(game / "client-stay", "4000\n");
    const Outcome outcome = runLauncher({game / "DIVU.exe", {"DMM", "viewer_id=7"}});
    const bool clientEndedBeforeLauncher = fs::exists(game / "client-ended.txt");
    EXPECT_TRUE(outcome.exited && outcome.exitCode == 0);
    EXPECT_FALSE(clientEndedBeforeLauncher) << "the launcher waited for its client";
    EXPECT_EQ(clientArguments(game), (std::vector<std::string>{"DMM", "viewer_id=7"}));
    EXPECT_TRUE(waitForFile(game / "client-ended.txt")) << "the client never finished";
}

TEST_F(LauncherE2e, PassesTheJoinedArgumentsAsWordsWithoutQuoting) {
    struct Row {
        const char* name;
        std::vector<std::string> args;
    };
    const Row rows[] = {
        {"words from param", {"DMM", "viewer_id=3", "lang=ja", "mode=full"}},
        {"an argument with blanks splits", {"DMM", "viewer_id=3 extra word", "tail"}},
        {"runs of blanks", {"DMM", "a  b", " lead"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const fs::path game = scratch.path() / std::to_string(&row - rows);
        makeGame(game);
        const Outcome outcome = runLauncher({game / "DIVU.exe", row.args});
        const std::string param = joinArguments(row.args);
        EXPECT_TRUE(outcome.exited && outcome.exitCode == 0);
        EXPECT_NE(
            outcome.out.find("APP:" + prefixOf(game) + "KEMU_Client.exe " + param + lineEnd()),
            std::string::npos)
            << outcome.out;
        EXPECT_EQ(clientArguments(game), wordsOf(param));
    }
}

// Starting the client is the launcher's one job, so a start that fails is a
// failed launch: a line says why, and the exit status says so.
TEST_F(LauncherE2e, AClientThatCannotBeStartedFailsTheLaunch) {
    const fs::path game = scratch.path() / "game";
    makeGame(game, "DIVU.exe", false);
    const Outcome outcome = runLauncher({game / "DIVU.exe", {"DMM", "viewer_id=8"}});
    const std::string dir = prefixOf(game);
    const std::string appDir = dir + "KEMU_Client.exe DMM viewer_id=8";
    EXPECT_TRUE(outcome.exited && outcome.exitCode == 1) << "exit code " << outcome.exitCode;
    EXPECT_EQ(outcome.out,
              joinLines(logHead(seenAs(game / "DIVU.exe"), dir,
                                {"DMM viewer_id=8", {"match account success:8"}, "8", ""}) +
                            rewriteWay(dir, "8") + std::vector<std::string>{"APP:" + appDir},
                        lineEnd()));
    EXPECT_EQ(outcome.err, "cant start client, error 2:" + appDir + lineEnd());
    EXPECT_EQ(readBytes(descriptorIn(game)), rewrittenDescriptor("8"));
}

// Windows takes a command line of at most 32,767 characters. Wildcards make
// the client's far longer than the launcher's own.
TEST_F(LauncherE2e, AClientCommandLineLongerThanWindowsTakes) {
    if (!underWine()) GTEST_SKIP() << "a POSIX shell expands wildcards before the launcher starts";
    const fs::path game = scratch.path() / "game";
    makeGame(game);
    const fs::path work = scratch.path() / "work";
    for (int i = 0; i < 300; ++i) {
        writeBytes(work / ("file" + std::to_string(1000 + i) + std::string(110, 'x') + ".txt"), "");
    }
    const Outcome outcome = runLauncher({game / "DIVU.exe", {"DMM", "viewer_id=9", "*.txt"}, work});
    EXPECT_TRUE(outcome.exited && outcome.exitCode == 1) << "exit code " << outcome.exitCode;
    const size_t app = outcome.out.rfind("APP:");
    ASSERT_NE(app, std::string::npos) << outcome.out.substr(0, 2000);
    const std::string appDir =
        outcome.out.substr(app + 4, outcome.out.size() - app - 4 - lineEnd().size());
    EXPECT_GT(appDir.size(), 32767u);
    EXPECT_EQ(outcome.err, "cant start client, error 11:" + appDir + lineEnd());
    EXPECT_EQ(readBytes(descriptorIn(game)), rewrittenDescriptor("9"));
    EXPECT_FALSE(waitForFile(game / "client-args.txt", 2s)) << "the client was started";
}

TEST_F(LauncherE2e, UnderAnotherNameWorksInTheWorkingFolder) {
    const fs::path game = scratch.path() / "game";
    makeGame(game, "launcher.exe");
    Invocation run{game / "launcher.exe", {"DMM", "viewer_id=9"}, game, "./launcher.exe"};
    const Outcome outcome = runLauncher(run);
    const std::string program = underWine() ? seenAs(game / "launcher.exe") : "./launcher.exe";
    expectLog(outcome, logHead(program, std::nullopt,
                               {"DMM viewer_id=9", {"match account success:9"}, "9", ""}) +
                           std::vector<std::string>{"finded file:META-INF/AIR/application.xml",
                                                    "line:  <id>DIVU9</id>", "AppID change success",
                                                    "APP:KEMU_Client.exe DMM viewer_id=9"});
    EXPECT_EQ(readBytes(descriptorIn(game)), rewrittenDescriptor("9"));
    EXPECT_EQ(readBytes(cachedCopyIn(game, "9")), rewrittenDescriptor("9"));
}

// A folder or an argument outside the ANSI code page reaches the file system
// and the client exact; only the log shows it in that code page, with "?" for
// what the code page lacks. A name it can show logs in its bytes.
TEST_F(LauncherE2e, NamesInAndOutsideTheCodePage) {
    struct Row {
        const char* name;
        CodePage codePage;
        const ForeignName& folder;
        std::string argument;  // a third launch argument, if any
        std::string folderInLog;
    };
    const Row rows[] = {
        {"Japanese folder and argument on a Western system", CodePage::Western, kanjiJapan,
         kanjiName.utf8 + "=" + kanjiJapan.utf8, "??"},
        {"Korean folder and argument on a Japanese system", CodePage::Japanese, hangulKorea,
         hangulName.utf8 + "=" + hangulKorea.utf8, "??"},
        {"Japanese folder on a Japanese system", CodePage::Japanese, katakanaGame, "",
         katakanaGame.japanese},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const fs::path game = scratch.path() / row.folder.utf8 / "game";
        makeGame(game);
        std::vector<std::string> args = {"DMM", "viewer_id=45"};
        if (!row.argument.empty()) args.push_back(row.argument);
        Invocation run{game / "DIVU.exe", args};
        run.extraEnv = localeFor(row.codePage);
        const Outcome outcome = runLauncher(run);

        const std::string dir = prefixOf(game, row.codePage);
        const std::string param = joinArguments(args);
        const std::string paramInLog = logFormOf(param, row.codePage);
        if (underWine()) {
            EXPECT_NE(dir.find("\\" + row.folderInLog + "\\game\\"), std::string::npos) << dir;
        }
        expectLog(outcome,
                  logHead(seenAs(game / "DIVU.exe", row.codePage), dir,
                          {paramInLog, {"match account success:45"}, "45", ""}) +
                      rewriteWay(dir, "45") +
                      std::vector<std::string>{"APP:" + dir + "KEMU_Client.exe " + paramInLog});
        EXPECT_EQ(readBytes(descriptorIn(game)), rewrittenDescriptor("45"));
        EXPECT_EQ(readBytes(cachedCopyIn(game, "45")), rewrittenDescriptor("45"));
        EXPECT_EQ(clientArguments(game), args);
        if (underWine()) {
            EXPECT_EQ(readBytes(game / "client-command-line.txt"),
                      windowsForm(game) + "\\KEMU_Client.exe " + param);
        }
    }
}

// Folder names that a careless launcher gets wrong: a blank, which would let
// Windows take a leading part of the client's path for the program, so the
// path is quoted; and the launcher's own name, of which the last one in the
// path is the launcher's.
TEST_F(LauncherE2e, FolderNamesThatNeedCare) {
    struct Row {
        const char* folder;
        std::string id;
        bool quoted;
    };
    const Row rows[] = {
        {"my game", "10", true},
        {"DIVU.exe.d", "46", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.folder);
        const fs::path game = scratch.path() / row.folder;
        makeGame(game);
        const Outcome outcome = runLauncher({game / "DIVU.exe", {"DMM", "viewer_id=" + row.id}});
        const std::string dir = prefixOf(game);
        ASSERT_NE(dir.find(row.folder), std::string::npos);
        const std::string client =
            row.quoted ? "\"" + dir + "KEMU_Client.exe\" " : dir + "KEMU_Client.exe ";
        expectLog(
            outcome,
            logHead(seenAs(game / "DIVU.exe"), dir,
                    {"DMM viewer_id=" + row.id, {"match account success:" + row.id}, row.id, ""}) +
                rewriteWay(dir, row.id) +
                std::vector<std::string>{"APP:" + client + "DMM viewer_id=" + row.id});
        EXPECT_EQ(readBytes(descriptorIn(game)), rewrittenDescriptor(row.id));
        EXPECT_EQ(clientArguments(game), (std::vector<std::string>{"DMM", "viewer_id=" + row.id}));
    }
}

TEST_F(LauncherE2e, ExpandsWildcardsInItsArguments) {
    if (!underWine()) GTEST_SKIP() << "a POSIX shell expands wildcards before the launcher starts";
    const fs::path game = scratch.path() / "game";
    makeGame(game);
    const fs::path work = scratch.path() / "work";
    writeBytes(work / "a.txt", "");
    writeBytes(work / "b.txt", "");
    const Outcome outcome = runLauncher({game / "DIVU.exe", {"DMM", "*.txt", "x*.none"}, work});
    EXPECT_TRUE(outcome.exited && outcome.exitCode == 0);
    const bool inOrder =
        outcome.out.find("input param: DMM a.txt b.txt x*.none\r\n") != std::string::npos;
    const bool reversed =
        outcome.out.find("input param: DMM b.txt a.txt x*.none\r\n") != std::string::npos;
    EXPECT_TRUE(inOrder || reversed) << outcome.out;
    std::optional<std::vector<std::string>> got = clientArguments(game);
    ASSERT_TRUE(got.has_value()) << "the client recorded nothing; the launcher said:\n"
                                 << outcome.out << outcome.err;
    std::sort(got->begin() + 1, got->end());
    EXPECT_EQ(*got, (std::vector<std::string>{"DMM", "a.txt", "b.txt", "x*.none"}));
}

TEST_F(LauncherE2e, NoArgumentsAtAll) {
    const fs::path game = scratch.path() / "game";
    makeGame(game);
    const Outcome outcome = runLauncher({game / "DIVU.exe", {}});
    const std::string dir = prefixOf(game);
    expectLog(outcome,
              logHead(seenAs(game / "DIVU.exe"), dir, {"", {}, "", ""}) +
                  std::vector<std::string>{"no id for this launch, descriptor left as it is",
                                           "APP:" + dir + "KEMU_Client.exe "});
    EXPECT_EQ(readBytes(descriptorIn(game)), shippedDescriptor());
    EXPECT_EQ(clientArguments(game), std::vector<std::string>{});
}

// Whether the client shares the launcher's standard streams. Natively the
// launcher's stand-in for WinExec gives it /dev/null. Wine hands a windowed
// program its starter's own streams; the launcher's log is whole before its
// client starts all the same.
TEST_F(LauncherE2e, TheClientsOutputNeverBreaksIntoTheLog) {
    const fs::path game = scratch.path() / "game";
    makeGame(game);
    writeBytes(game / "client-speak", "");
    writeBytes(game / "client-stay", "1500\n");
    Invocation run{game / "DIVU.exe", {"DMM", "viewer_id=12"}};
    run.readToEnd = true;
    const Outcome outcome = runLauncher(run);
    EXPECT_TRUE(outcome.exited && outcome.exitCode == 0);
    EXPECT_TRUE(waitForFile(game / "client-ended.txt"));
    const size_t appLine = outcome.out.find("APP:");
    const size_t clientLine = outcome.out.find("stand-in client");
    ASSERT_NE(appLine, std::string::npos) << outcome.out;
    if (underWine()) {
        EXPECT_TRUE(clientLine == std::string::npos || clientLine > appLine) << outcome.out;
        EXPECT_TRUE(outcome.err.empty() || outcome.err == "stand-in client on stderr" + lineEnd())
            << outcome.err;
    } else {
        EXPECT_EQ(clientLine, std::string::npos) << outcome.out;
        EXPECT_EQ(outcome.err, "");
    }
    EXPECT_TRUE(outcome.outClosed && outcome.errClosed)
        << "a pipe stayed open after the client ended";
    std::cout << "pipes closed when the launcher exited: stdout "
              << (outcome.outClosedAtExit ? "yes" : "no") << ", stderr "
              << (outcome.errClosedAtExit ? "yes" : "no") << "\n";
    if (!underWine()) {
        EXPECT_TRUE(outcome.outClosedAtExit && outcome.errClosedAtExit)
            << "the client kept the launcher's standard streams";
    }
}

// Launches that run at once on one game folder, as when a player starts
// several accounts together, or one that a virus scanner reads meanwhile:
// each waits out the others' brief hold on a file, and none fails.
TEST_F(LauncherE2e, TwentyLaunchesAtOnceOnOneFolder) {
    const fs::path game = scratch.path() / "game";
    makeGame(game);
    constexpr int launches = 20;
    int waited = 0;
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        // Five ids, four launches each; each round shares two ids with the
        // one before, whose cached copies it then reuses.
        std::vector<std::string> ids;
        for (int i = 0; i < launches; ++i) ids.push_back(std::to_string(1 + i % 5 + 3 * round));
        std::vector<Outcome> outcomes(launches);
        std::vector<std::thread> threads;
        for (int i = 0; i < launches; ++i) {
            threads.emplace_back([&, i] {
                outcomes[i] = runLauncher({game / "DIVU.exe", {"DMM", "viewer_id=" + ids[i]}});
            });
        }
        for (std::thread& thread : threads) thread.join();

        for (int i = 0; i < launches; ++i) {
            SCOPED_TRACE("launch " + std::to_string(i) + ", id " + ids[i]);
            EXPECT_TRUE(outcomes[i].exited && outcomes[i].exitCode == 0)
                << "exit code " << outcomes[i].exitCode;
            EXPECT_NE(outcomes[i].out.find("AppID change success" + lineEnd()), std::string::npos)
                << outcomes[i].out;
            EXPECT_EQ(outcomes[i].err, "");
            waited += outcomes[i].out.find("waited for busy file:") != std::string::npos;
        }
        const std::optional<std::string> descriptor = readBytes(descriptorIn(game));
        ASSERT_TRUE(descriptor.has_value());
        EXPECT_TRUE(std::any_of(ids.begin(), ids.end(), [&](const std::string& id) {
            return *descriptor == rewrittenDescriptor(id);
        })) << *descriptor;
        for (const std::string& id : ids) {
            EXPECT_EQ(readBytes(cachedCopyIn(game, id)), rewrittenDescriptor(id)) << id;
        }
        for (const fs::directory_entry& entry : fs::directory_iterator(game / "META-INF/AIR")) {
            EXPECT_NE(entry.path().extension(), ".tmp") << entry.path();
        }
    }
    std::cout << "launches that waited for a busy file: " << waited << " of " << 3 * launches
              << "\n";
}

// A descriptor of about 64 MiB with the id element near its top, in the line
// ends the launcher writes, so that its rewrite differs only in that element.
const std::string& largeDescriptor() {
    static const std::string text = [] {
        const std::string end = lineEnd();
        std::string bytes = descriptorLines[0] + end + descriptorLines[1] + end + idLine + end;
        const std::string filler =
            "  <asset name=\"texture\" size=\"1024\">padding padding padding</asset>" + end;
        bytes.reserve(64u << 20);
        while (bytes.size() < (64u << 20)) bytes += filler;
        bytes += "</application>" + end;
        return bytes;
    }();
    return text;
}

// The kill points are spread over the time an uninterrupted run took here,
// so that they fall into each step whatever the build and the machine.
TEST_F(LauncherE2e, AKillDuringALargeRewriteLeavesWholeFiles) {
    const std::string& old = largeDescriptor();
    const std::string newId = "31337";
    std::string rewritten = old;
    const size_t at = rewritten.find(idLine);
    rewritten.replace(at, idLine.size(), "  <id>DIVU" + newId + "</id>");

    const fs::path fixture = scratch.path() / "fixture.xml";
    writeBytes(fixture, old);
    std::vector<std::optional<std::chrono::milliseconds>> delays = {std::nullopt};
    std::chrono::milliseconds whole{0};
    for (size_t round = 0; round < delays.size(); ++round) {
        const std::optional<std::chrono::milliseconds> delay = delays[round];
        const std::string name = delay ? std::to_string(delay->count()) + " ms" : "not killed";
        SCOPED_TRACE(name);
        const fs::path game = scratch.path() / ("game-" + std::to_string(round));
        makeGame(game);
        fs::copy_file(fixture, descriptorIn(game), fs::copy_options::overwrite_existing);
        Invocation run{game / "DIVU.exe", {"DMM", "viewer_id=" + newId}};
        run.killAfter = delay;
        const Clock::time_point started = Clock::now();
        const Outcome outcome = runLauncher(run);
        if (!delay) {
            EXPECT_TRUE(outcome.exited && outcome.exitCode == 0) << outcome.err;
            whole = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started);
            delays.push_back(0ms);
            delays.push_back(5ms);
            for (int eighth = 1; eighth < 8; ++eighth) delays.push_back(whole * eighth / 8);
        }

        const std::optional<std::string> descriptor = readBytes(descriptorIn(game));
        ASSERT_TRUE(descriptor.has_value());
        const bool isOld = *descriptor == old;
        const bool isNew = *descriptor == rewritten;
        EXPECT_TRUE(isOld || isNew) << "descriptor of " << descriptor->size() << " bytes";
        if (!delay) {
            EXPECT_TRUE(isNew);
        }
        const std::optional<std::string> cached = readBytes(cachedCopyIn(game, newId));
        if (cached) {
            EXPECT_TRUE(*cached == rewritten) << "cached copy of " << cached->size() << " bytes";
        } else {
            EXPECT_TRUE(delay.has_value()) << "no cached copy after a whole run";
        }
        size_t temporaries = 0;
        for (const fs::directory_entry& entry : fs::directory_iterator(game / "META-INF/AIR")) {
            temporaries += entry.path().extension() == ".tmp";
        }
        std::cout << name << ": " << (outcome.killed ? "killed" : "exited") << ", descriptor "
                  << (isNew   ? "new"
                      : isOld ? "old"
                              : "broken")
                  << ", cached copy " << (cached ? "present" : "absent") << ", temporaries left "
                  << temporaries << "\n";
        if (!delay) {
            EXPECT_EQ(temporaries, 0u);
        }
    }
}

// Memory that runs out inside the standard library ends the launch with a
// line of its own and a failure status, or, where the line reader catches it,
// as a read failure; in every case the descriptor stays whole. The limits rise
// until a launch gets through, so that both ways are seen on the way there.
TEST_F(LauncherE2e, RunningOutOfMemoryKeepsTheDescriptorWhole) {
    if (underWine()) GTEST_SKIP() << "Wine cannot run in a small address space";
    if (sanitized()) GTEST_SKIP() << "the sanitizers end the process when memory runs out";
    const std::string old = "<a>" + std::string(40 << 20, 'x') + idLine + "</a>\n";
    const fs::path fixture = scratch.path() / "fixture.xml";
    writeBytes(fixture, old);
    bool stopped = false;
    bool gotThrough = false;
    for (long limit = 48 << 10; limit <= 512 << 10 && !gotThrough; limit += 2 << 10) {
        SCOPED_TRACE(std::to_string(limit) + " KiB");
        const fs::path game = scratch.path() / ("game-" + std::to_string(limit));
        makeGame(game);
        fs::copy_file(fixture, descriptorIn(game), fs::copy_options::overwrite_existing);
        Invocation run{game / "DIVU.exe", {"DMM", "viewer_id=9"}};
        run.memoryLimitKib = limit;
        const Outcome outcome = runLauncher(run);
        const std::optional<std::string> descriptor = readBytes(descriptorIn(game));
        ASSERT_TRUE(descriptor.has_value());
        if (outcome.exitCode == 1) {
            stopped = true;
            EXPECT_EQ(outcome.err, "launcher stopped: std::bad_alloc\n");
            EXPECT_TRUE(*descriptor == old);
        } else {
            ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
            gotThrough = outcome.err.empty();
            if (!gotThrough) {
                EXPECT_EQ(outcome.err,
                          "cant read file:" + prefixOf(game) + "META-INF/AIR/application.xml\n");
            }
            EXPECT_TRUE(
                *descriptor ==
                (gotThrough ? "<a>" + std::string(40 << 20, 'x') + "  <id>DIVU9</id></a>\n" : old));
        }
        fs::remove_all(game);
    }
    EXPECT_TRUE(gotThrough) << "no launch got through below 512 MiB";
    EXPECT_TRUE(stopped) << "no limit stopped the launch with the exception's line";
}

}  // namespace
