#pragma once

#include <string>

#include "pattern.h"

// Puts the application id "DIVU" + newId into the AIR application descriptor
// file_path, below the launcher's folder dir. The first launch with a newId
// rewrites every match of pattern in each line of the descriptor and keeps
// the result as the cached copy for that id; later launches with that id put
// the cached copy in the descriptor's place. Every step is logged, and the
// descriptor is never left missing or cut short.
void replaceAppId(std::string dir, std::string file_path, Pattern pattern, std::string newId);
