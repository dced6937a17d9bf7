// Stand-ins for the Win32 calls, for building and testing the launcher away
// from Windows.
//
// GetConsoleWindow/ShowWindow: a POSIX process has no console window, so there
// is nothing to find or hide.
// WinExecUtf8: splits the command line as a Windows program's runtime would
// and starts the program its first word names, looked up as Windows looks up
// a program named without a folder: beside the running program, in the
// working folder, then along PATH. The started program keeps none of our
// files open and shares none of our standard streams (Windows hands neither to
// a program started this way), is nobody's zombie, and runs on after we exit.
// Its show command is ignored, and results are WinExec's: 33 on success, 2 for
// a missing file, 3 for a missing folder, 11 for a file that cannot be run, 0
// otherwise.
// Arguments and names: bytes already, taken as they are.
// Files: opened and moved with the POSIX calls, which never stop another
// process from renaming or deleting a file, so nothing is ever busy here.

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

#include "platform/command_line.h"
#include "platform/win32.h"

namespace {

constexpr UINT startedOk = 33;
constexpr UINT fileNotFound = 2;
constexpr UINT pathNotFound = 3;
constexpr UINT badFormat = 11;
constexpr UINT outOfResources = 0;

bool isFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string runningProgramFolder() {
    char buffer[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0) return {};
    std::string path(buffer, static_cast<size_t>(length));
    return path.substr(0, path.rfind('/') + 1);
}

// Finds the program file; sets result to the failure WinExec would report.
std::string findProgram(const std::string& name, UINT& result) {
    result = fileNotFound;
    if (name.empty()) return {};
    if (name.find('/') != std::string::npos) {
        if (isFile(name)) return name;
        const std::string folder = name.substr(0, name.rfind('/') + 1);
        struct stat info {};
        if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) result = pathNotFound;
        return {};
    }
    std::vector<std::string> folders = {runningProgramFolder(), "./"};
    if (const char* path = std::getenv("PATH")) {
        std::string list = path;
        size_t start = 0;
        while (start <= list.size()) {
            const size_t end = std::min(list.find(':', start), list.size());
            if (end > start) folders.push_back(list.substr(start, end - start) + "/");
            start = end + 1;
        }
    }
    for (const std::string& folder : folders) {
        if (!folder.empty() && isFile(folder + name)) return folder + name;
    }
    return {};
}

// Runs in the started program's process, before it becomes that program.
[[noreturn]] void becomeProgram(const std::string& program, std::vector<std::string>& words,
                                int errorPipe) {
    const int nullDevice = open("/dev/null", O_RDWR);
    if (nullDevice >= 0) {
        dup2(nullDevice, STDIN_FILENO);
        dup2(nullDevice, STDOUT_FILENO);
        dup2(nullDevice, STDERR_FILENO);
        if (nullDevice > STDERR_FILENO) close(nullDevice);
    }
    if (errorPipe > STDERR_FILENO + 1) close_range(STDERR_FILENO + 1, errorPipe - 1, 0);
    close_range(errorPipe + 1, ~0U, 0);

    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    const int error = errno;
    ssize_t ignored = write(errorPipe, &error, sizeof error);
    (void)ignored;
    _exit(127);
}

}  // namespace

HWND GetConsoleWindow() { return nullptr; }

int ShowWindow(HWND, int) { return 0; }

UINT WinExecUtf8(const std::string& commandLine, UINT) {
    std::vector<std::string> words = splitCommandLine(commandLine);
    UINT result = fileNotFound;
    const std::string program = findProgram(words.front(), result);
    if (program.empty()) return result;

    int errorPipe[2];
    if (pipe2(errorPipe, O_CLOEXEC) != 0) return outOfResources;

    // The middle process exits at once, so the program is handed to init and
    // never waits as our zombie; the pipe closes when exec succeeds.
    const pid_t middle = fork();
    if (middle == 0) {
        close(errorPipe[0]);
        const pid_t started = fork();
        if (started == 0) becomeProgram(program, words, errorPipe[1]);
        _exit(started < 0 ? 1 : 0);
    }
    close(errorPipe[1]);
    if (middle < 0) {
        close(errorPipe[0]);
        return outOfResources;
    }
    int status = 0;
    while (waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
    int execError = 0;
    ssize_t got;
    while ((got = read(errorPipe[0], &execError, sizeof execError)) < 0 && errno == EINTR) {
    }
    close(errorPipe[0]);

    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return outOfResources;
    if (got <= 0) return startedOk;
    if (execError == ENOENT) return fileNotFound;
    if (execError == EACCES || execError == ENOEXEC) return badFormat;
    return outOfResources;
}

LaunchArguments launchArguments(int argc, char* argv[]) {
    std::vector<std::string> words;
    for (int i = 0; i < argc; ++i) words.emplace_back(argv[i] ? argv[i] : "");
    return launchArgumentsOf(std::move(words));
}

std::string logText(const std::string& text) { return text; }

std::filesystem::path filePath(const std::string& name) { return std::filesystem::path(name); }

int openToRead(const std::string& name) { return open(name.c_str(), O_RDONLY | O_CLOEXEC); }

int createNewFile(const std::string& name, bool& nameTaken) {
    // O_EXCL refuses any existing name, a symbolic link included, and
    // follows no link.
    const int descriptor = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    nameTaken = descriptor < 0 && errno == EEXIST;
    return descriptor;
}

// No write bit at all binds root too, who may write anything else.
bool isReadOnly(const std::string& name) {
    struct stat info {};
    if (stat(name.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return true;
    return access(name.c_str(), W_OK) != 0 && (errno == EACCES || errno == EROFS);
}

MoveResult moveOver(const std::string& from, const std::string& to) {
    return rename(from.c_str(), to.c_str()) == 0 ? MoveResult::Moved : MoveResult::Failed;
}

unsigned long processId() { return static_cast<unsigned long>(getpid()); }
