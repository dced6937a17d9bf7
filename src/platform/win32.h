#pragma once

// The few things the launcher needs from the system. The Windows build takes
// the console calls from Windows itself and wraps the rest around Windows'
// own calls in win32_windows.cpp; win32_posix.cpp stands in for all of them
// elsewhere, under the same names, so callers need no #ifdef.
//
// Names, arguments and command lines are UTF-8 inside the program; they are
// converted to what the system takes only here.

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
using HWND = void*;
using UINT = unsigned int;

// Returns the console window of the process; there is never one here.
HWND GetConsoleWindow();

// Shows or hides a window; with no windows this does nothing.
int ShowWindow(HWND window, int command);
#endif

// The line end that a text file has on this platform.
#ifdef _WIN32
inline constexpr char textLineEnd[] = "\r\n";
#else
inline constexpr char textLineEnd[] = "\n";
#endif

// The argument vector in UTF-8, as main takes it: argv points into words and
// ends in a null entry. On Windows the runtime forms it again from the wide
// command line, wildcards expanded as for main, since main's own holds only
// what the ANSI code page can show.
struct LaunchArguments {
    std::vector<std::string> words;
    int argc = 0;
    std::vector<char*> argv;
};
LaunchArguments launchArguments(int argc, char* argv[]);

// An argument vector over words.
inline LaunchArguments launchArgumentsOf(std::vector<std::string> words) {
    LaunchArguments arguments{std::move(words), 0, {}};
    for (std::string& word : arguments.words) arguments.argv.push_back(word.data());
    arguments.argv.push_back(nullptr);
    arguments.argc = static_cast<int>(arguments.words.size());
    return arguments;
}

// A name or argument as the log shows it: on Windows in the ANSI code page,
// with "?" for what that code page lacks; unchanged elsewhere.
std::string logText(const std::string& text);

// WinExec for a UTF-8 command line: starts the program its first word names,
// with the rest as its arguments, and returns without waiting for it to end:
// above 31 on success, else why it failed: the system's error (2 for a
// missing file, 3 for a missing folder), given as 11 when it is 32 or more.
UINT WinExecUtf8(const std::string& commandLine, UINT show);

// The name of a file as the file system takes it; an empty path, which names
// no file, for text that is not UTF-8.
std::filesystem::path filePath(const std::string& name);

// Opens an existing file for binary reading. Other processes may read, write,
// rename or delete it meanwhile. Returns a file descriptor, or -1.
int openToRead(const std::string& name);

// Creates a file for binary writing, only where nothing of that name exists:
// an existing file or link is never opened. Returns a file descriptor, or -1
// with nameTaken telling whether something stood there. Other processes may
// read, rename or delete the file meanwhile.
int createNewFile(const std::string& name, bool& nameTaken);

// Whether name is a file that may not be written: the read-only attribute on
// Windows, no write permission elsewhere.
bool isReadOnly(const std::string& name);

// Moves a file over another in one step. Busy: another process holds one of
// them open in a way that stops it now, and a later try may succeed.
enum class MoveResult { Moved, Busy, Failed };
MoveResult moveOver(const std::string& from, const std::string& to);

// A number that no other running process has, for naming temporary files.
unsigned long processId();
