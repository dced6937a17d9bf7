// The launcher's system calls on Windows, made through the wide (UTF-16)
// functions, so that names and arguments outside the ANSI code page reach the
// file system and the client as they are.

#include <fcntl.h>
#include <io.h>

#include <optional>
#include <utility>

#include "platform/utf16.h"
#include "platform/win32.h"

// Asks the runtime to expand wildcards in the arguments before main.
extern "C" {
int _dowildcard = -1;
}

// The runtime's own argument splitter, wide form. Declared here, as its
// header is internal to the runtime.
struct _startupinfo {
    int newmode;
};
extern "C" int __wgetmainargs(int* argc, wchar_t*** argv, wchar_t*** env, int doWildCard,
                              _startupinfo* startInfo);

namespace {

// The longest command line CreateProcessW takes, its terminating null included.
constexpr size_t longestCommandLine = 32767;

// WinExec's result for a start that failed with error: the error itself, but
// 11 for those that do not fit below 32, where success begins.
UINT winExecFailure(DWORD error) { return error >= 32 ? ERROR_BAD_FORMAT : error; }

std::string utf8From(const wchar_t* text) {
    const std::wstring wide = text ? text : L"";
    return utf8FromUtf16(std::u16string(wide.begin(), wide.end()));
}

std::string utf8FromAnsi(const std::string& text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
    if (length <= 0) return text;
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), length);
    return utf8From(wide.c_str());
}

std::optional<std::wstring> wideFrom(const std::string& text) {
    const std::optional<std::u16string> utf16 = utf16FromUtf8(text);
    if (!utf16) return std::nullopt;
    return std::wstring(utf16->begin(), utf16->end());
}

DWORD attributesOf(const std::string& name) {
    const std::optional<std::wstring> wide = wideFrom(name);
    return wide ? GetFileAttributesW(wide->c_str()) : INVALID_FILE_ATTRIBUTES;
}

bool isPlainFile(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Hands a file handle to the runtime as a binary file descriptor.
int descriptorFor(HANDLE file, int flags) {
    if (file == INVALID_HANDLE_VALUE) return -1;
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file), flags);
    if (descriptor < 0) CloseHandle(file);
    return descriptor;
}

constexpr DWORD shareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

}  // namespace

LaunchArguments launchArguments(int argc, char* argv[]) {
    std::vector<std::string> words;
    int wideCount = 0;
    wchar_t** wide = nullptr;
    wchar_t** environment = nullptr;
    _startupinfo startInfo{0};
    if (__wgetmainargs(&wideCount, &wide, &environment, _dowildcard, &startInfo) == 0 && wide) {
        for (int i = 0; i < wideCount; ++i) words.push_back(utf8From(wide[i]));
    } else {
        // It fails only when memory runs out; main's own arguments, in the
        // ANSI code page, are then the best there are.
        for (int i = 0; i < argc; ++i) words.push_back(utf8FromAnsi(argv[i] ? argv[i] : ""));
    }
    return launchArgumentsOf(std::move(words));
}

std::string logText(const std::string& text) {
    const std::optional<std::wstring> wide = wideFrom(text);
    if (!wide) return text;  // bytes that are not UTF-8 show as they are
    if (wide->empty()) return {};
    const int size = static_cast<int>(wide->size());
    // No best fit: a character the code page lacks shows as "?", never as a
    // look-alike that reads as something else.
    const int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide->data(), size,
                                           nullptr, 0, "?", nullptr);
    if (length <= 0) return text;
    std::string shown(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide->data(), size, shown.data(), length, "?",
                        nullptr);
    return shown;
}

// What WinExec does, with the command line in UTF-16: no application name,
// so the system looks the program up as WinExec would; the show command
// through the startup information; a wait of up to 30 s for the program to
// be ready for input; its errors, with those of 32 and above given as 11.
UINT WinExecUtf8(const std::string& commandLine, UINT show) {
    std::optional<std::wstring> wide = wideFrom(commandLine);
    if (!wide) return winExecFailure(ERROR_NO_UNICODE_TRANSLATION);
    // Windows refuses a longer line; Wine may start it.
    if (wide->size() + 1 > longestCommandLine) return winExecFailure(ERROR_FILENAME_EXCED_RANGE);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(show);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, wide->data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return winExecFailure(GetLastError());
    }
    WaitForInputIdle(process.hProcess, 30000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 33;
}

std::filesystem::path filePath(const std::string& name) {
    const std::optional<std::wstring> wide = wideFrom(name);
    if (!wide) return {};
    return std::filesystem::path(*wide);
}

int openToRead(const std::string& name) {
    const std::optional<std::wstring> wide = wideFrom(name);
    if (!wide || wide->empty()) return -1;
    return descriptorFor(CreateFileW(wide->c_str(), GENERIC_READ, shareAll, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr),
                         _O_RDONLY);
}

int createNewFile(const std::string& name, bool& nameTaken) {
    nameTaken = false;
    const std::optional<std::wstring> wide = wideFrom(name);
    if (!wide || wide->empty()) return -1;
    const HANDLE file = CreateFileW(wide->c_str(), GENERIC_WRITE, shareAll, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        nameTaken = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ||
                    GetFileAttributesW(wide->c_str()) != INVALID_FILE_ATTRIBUTES;
        return -1;
    }
    return descriptorFor(file, 0);
}

bool isReadOnly(const std::string& name) {
    const DWORD attributes = attributesOf(name);
    return isPlainFile(attributes) && (attributes & FILE_ATTRIBUTE_READONLY);
}

MoveResult moveOver(const std::string& from, const std::string& to) {
    const std::optional<std::wstring> source = wideFrom(from);
    const std::optional<std::wstring> target = wideFrom(to);
    if (!source || !target) return MoveResult::Failed;
    if (MoveFileExW(source->c_str(), target->c_str(), MOVEFILE_REPLACE_EXISTING)) {
        return MoveResult::Moved;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_SHARING_VIOLATION) return MoveResult::Busy;
    // Denied over a plain writable file: it is open elsewhere (Windows moves
    // nothing over an open file, whatever its sharing) or on its way out. A
    // folder or a read-only file stays so.
    if (error == ERROR_ACCESS_DENIED) {
        const DWORD attributes = GetFileAttributesW(target->c_str());
        if (isPlainFile(attributes) && !(attributes & FILE_ATTRIBUTE_READONLY)) {
            return MoveResult::Busy;
        }
    }
    return MoveResult::Failed;
}

unsigned long processId() { return GetCurrentProcessId(); }
