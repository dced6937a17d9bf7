#pragma once

// The few things the launcher needs from Windows. The Windows build takes the
// console and process calls from the system itself; win32_posix.cpp stands in
// for them elsewhere, under the same names, so callers need no #ifdef.

#include <filesystem>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
using HWND = void*;
using UINT = unsigned int;
using LPCSTR = const char*;

// Returns the console window of the process; there is never one here.
HWND GetConsoleWindow();

// Shows or hides a window; with no windows this does nothing.
int ShowWindow(HWND window, int command);

// Starts the program that the first word of commandLine names, with the other
// words as its arguments, and returns without waiting: above 31 on success,
// 2 when the file is not found, 3 when its folder is not found.
UINT WinExec(LPCSTR commandLine, UINT show);
#endif

// The line end that a text file has on this platform.
#ifdef _WIN32
inline constexpr char textLineEnd[] = "\r\n";
#else
inline constexpr char textLineEnd[] = "\n";
#endif

// The name of a file as the file system takes it. The program handles names
// as the runtime gave them: bytes in the ANSI code page on Windows.
std::filesystem::path filePath(const std::string& name);

// A number that no other running process has, for naming temporary files.
unsigned long processId();
