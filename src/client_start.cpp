#include "client_start.h"

#include "platform/win32.h"

namespace {

const std::string clientName = "KEMU_Client.exe ";

}  // namespace

std::string clientCommandLine(const std::string& execDir, const std::string& param) {
    if (execDir.find_first_of(" \t") == std::string::npos) return execDir + clientName + param;
    const std::string fileName = clientName.substr(0, clientName.size() - 1);
    return "\"" + execDir + fileName + "\" " + param;
}

unsigned int startApplication(std::string path) { return WinExec(path.c_str(), 1); }
