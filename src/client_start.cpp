#include "client_start.h"

#include <string_view>

#include "platform/win32.h"

namespace {

constexpr std::string_view clientName = "KEMU_Client.exe ";

}  // namespace

std::string clientCommandLine(const std::string& execDir, const std::string& param) {
    if (execDir.find_first_of(" \t") == std::string::npos) {
        return execDir + std::string(clientName) + param;
    }
    const std::string_view fileName = clientName.substr(0, clientName.size() - 1);
    return "\"" + execDir + std::string(fileName) + "\" " + param;
}

unsigned int startApplication(std::string path) { return WinExecUtf8(path, 1); }
