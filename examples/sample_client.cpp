// A sample game client: it only writes down the arguments it was started
// with, one a line, to client-args.txt beside itself, so a launch can be
// checked by reading that file. On Windows it reads its path and arguments
// in UTF-16, as a real client does, and writes them in UTF-8, so names
// outside the ANSI code page come through.

#ifdef _WIN32
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>
#endif

#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The program's own path, then its arguments; text in UTF-8.
struct Invocation {
    fs::path program;
    std::vector<std::string> arguments;
};

#ifdef _WIN32
std::string utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(length > 0 ? length : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), size, bytes.data(), length, nullptr, nullptr);
    return bytes;
}

Invocation invocation(int, char*[]) {
    Invocation result;
    std::wstring path(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length > 0 && length < path.size()) result.program = path.substr(0, length);
    int count = 0;
    wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; words && i < count; ++i) result.arguments.push_back(utf8(words[i]));
    LocalFree(words);
    return result;
}
#else
Invocation invocation(int argc, char* argv[]) {
    Invocation result;
    if (argc > 0 && argv[0]) result.program = argv[0];
    for (int i = 1; i < argc; ++i) result.arguments.emplace_back(argv[i]);
    return result;
}
#endif

}  // namespace

// WinExec returns once the program it started waits for input or ends; this
// one ends as soon as it has written its file, so it needs no message loop.
int main(int argc, char* argv[]) {
    const Invocation started = invocation(argc, argv);
    const fs::path target = started.program.parent_path() / "client-args.txt";
    fs::path temporary = target;
    temporary += ".tmp";

    // Written beside the target and renamed, so a reader never sees half a list.
    std::ofstream out(temporary, std::ios::out | std::ios::binary | std::ios::trunc);
    if (!out.is_open()) {
        std::cerr << "cant new file:" << temporary.string() << '\n';
        return 1;
    }
    out << "arguments: " << started.arguments.size() << '\n';
    for (size_t i = 0; i < started.arguments.size(); ++i) {
        out << '[' << i + 1 << "] " << started.arguments[i] << '\n';
    }
    out.close();
    std::error_code error;
    if (out.fail()) {
        fs::remove(temporary, error);
        std::cerr << "cant write file:" << temporary.string() << '\n';
        return 1;
    }
    fs::rename(temporary, target, error);
    if (error) {
        fs::remove(temporary, error);
        std::cerr << "cant replace file:" << target.string() << '\n';
        return 1;
    }
    return 0;
}
