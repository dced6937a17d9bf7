// A sample game client: it only writes down the arguments it was started
// with, one a line, to client-args.txt beside itself, so a launch can be
// checked by reading that file.

#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

namespace {

// The folder of the program path, with its separator; empty for a bare name.
std::string folderOf(const std::string& programPath) {
    const size_t separator = programPath.find_last_of("/\\");
    return separator == std::string::npos ? std::string() : programPath.substr(0, separator + 1);
}

}  // namespace

// WinExec returns once the program it started waits for input or ends; this
// one ends as soon as it has written its file, so it needs no message loop.
int main(int argc, char* argv[]) {
    const std::string folder = folderOf(argc > 0 && argv[0] ? argv[0] : "");
    const std::string target = folder + "client-args.txt";
    const std::string temporary = target + ".tmp";

    // Written beside the target and renamed, so a reader never sees half a list.
    std::ofstream out(temporary, std::ios::out | std::ios::binary | std::ios::trunc);
    if (!out.is_open()) {
        std::cerr << "cant new file:" << temporary << '\n';
        return 1;
    }
    out << "arguments: " << (argc > 0 ? argc - 1 : 0) << '\n';
    for (int i = 1; i < argc; ++i) out << '[' << i << "] " << argv[i] << '\n';
    out.close();
    if (out.fail()) {
        std::remove(temporary.c_str());
        std::cerr << "cant write file:" << temporary << '\n';
        return 1;
    }
    // Windows' rename does not replace an existing file.
    std::remove(target.c_str());
    if (std::rename(temporary.c_str(), target.c_str()) != 0) {
        std::remove(temporary.c_str());
        std::cerr << "cant replace file:" << target << '\n';
        return 1;
    }
    return 0;
}
