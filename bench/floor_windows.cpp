// The least a launcher has to do on Windows: hide its console and start the
// client, without waiting for it. Timing this under Wine gives the floor the
// Windows launcher is held to.
//
// Usage: floor.exe <client> [arguments...]

#include <windows.h>

#include <string>

int main(int argc, char* argv[]) {
    ShowWindow(GetConsoleWindow(), 0);
    if (argc < 2) return 2;
    std::string commandLine = argv[1];
    for (int i = 2; i < argc; ++i) commandLine += std::string(" ") + argv[i];
    return WinExec(commandLine.c_str(), 1) > 31 ? 0 : 1;
}
