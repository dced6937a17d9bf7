#pragma once

#include <string>

// The client's command line: its path in the launcher's folder, one blank,
// then the launch arguments exactly as joined. The path is quoted only when
// it holds a blank or tab, so that Windows cannot take a leading part of it
// for the program.
std::string clientCommandLine(const std::string& execDir, const std::string& param);

// Asks Windows to start the program the command line names, shown normally,
// without waiting for it; returns what WinExec returned.
unsigned int startApplication(std::string path);
