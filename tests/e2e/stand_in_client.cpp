// Stands in for the game client in the end-to-end tests: records the
// arguments it was started with in client-args.txt beside itself, so a test
// can tell that the launcher started it and what it passed.
//
// Marker files beside it change what it does:
//   client-stay   holds a number of milliseconds to stay alive after recording;
//                 client-ended.txt is written when that time is up.
//   client-speak  makes it write one line to its standard output and error,
//                 to show whether it shares the launcher's streams.
//
// The record file holds the argument count on its first line, then each
// argument on a line of its own, each line ending in a line feed. On Windows
// the arguments are those of the wide command line, in UTF-8, and that whole
// command line goes to client-command-line.txt as well. Both are written to a
// temporary and renamed, so they are never seen half-written.

// This helper is the one program here that runs on both platforms without the
// launcher's platform layer, so it makes its few system calls itself.
#ifdef _WIN32
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>
#else
#include <limits.h>
#include <unistd.h>
#endif

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

// This program's own folder, from the system rather than argv[0], which the
// starter chooses.
fs::path ownFolder() {
#ifdef _WIN32
    std::wstring buffer(32768, L'\0');
    const DWORD length =
        GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0 || length >= buffer.size()) return {};
    buffer.resize(length);
    return fs::path(buffer).parent_path();
#else
    char buffer[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0) return {};
    return fs::path(std::string(buffer, static_cast<size_t>(length))).parent_path();
#endif
}

// Writes bytes to folder/name through a temporary; returns whether it is in place.
bool writeAtomically(const fs::path& folder, const std::string& name, const std::string& bytes) {
    const fs::path temporary = folder / (name + ".tmp");
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) return false;
    }
    std::error_code error;
    fs::rename(temporary, folder / name, error);
    return !error;
}

// The milliseconds client-stay asks for; 0 when there is no such file.
long stayMilliseconds(const fs::path& folder) {
    std::ifstream in(folder / "client-stay");
    long milliseconds = 0;
    if (in >> milliseconds) return milliseconds;
    return 0;
}

// Stays alive for the given time. WinExec returns only once the program it
// started waits for input, or ends, or after a long time-out, so on Windows
// this waits for messages, as a windowed program's message loop does; Wine
// counts nothing less.
void stayFor(long milliseconds) {
#ifdef _WIN32
    const ULONGLONG until = GetTickCount64() + static_cast<ULONGLONG>(milliseconds);
    for (ULONGLONG now = GetTickCount64(); now < until; now = GetTickCount64()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(until - now), QS_ALLINPUT);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
#else
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
#endif
}

#ifdef _WIN32
std::string utf8(const wchar_t* text) {
    const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 1) return {};
    std::string bytes(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes.data(), length, nullptr, nullptr);
    bytes.pop_back();
    return bytes;
}
#endif

// The arguments after the program's name, in UTF-8 on Windows.
std::vector<std::string> argumentsOf(int argc, char* argv[]) {
    std::vector<std::string> arguments;
#ifdef _WIN32
    (void)argc;
    (void)argv;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; wide && i < count; ++i) arguments.push_back(utf8(wide[i]));
    LocalFree(wide);
#else
    for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
#endif
    return arguments;
}

}  // namespace

int main(int argc, char* argv[]) {
#ifdef _WIN32
    // The message queue, at once, as a windowed program has it.
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
#endif
    const fs::path folder = ownFolder();
    if (folder.empty()) return 2;

    if (fs::exists(folder / "client-speak")) {
        std::cout << "stand-in client on stdout" << std::endl;
        std::cerr << "stand-in client on stderr" << std::endl;
    }

#ifdef _WIN32
    if (!writeAtomically(folder, "client-command-line.txt", utf8(GetCommandLineW()))) return 3;
#endif
    const std::vector<std::string> arguments = argumentsOf(argc, argv);
    std::string record = std::to_string(arguments.size()) + "\n";
    for (const std::string& argument : arguments) record += argument + "\n";
    if (!writeAtomically(folder, "client-args.txt", record)) return 3;

    const long stay = stayMilliseconds(folder);
    if (stay > 0) {
        stayFor(stay);
        if (!writeAtomically(folder, "client-ended.txt", "ended\n")) return 4;
    }
    return 0;
}
