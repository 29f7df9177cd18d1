// Where an installed program finds its files. The paths are relative to the
// folder the program lies in, so an installed tree works wherever it sits:
// under /usr, or unpacked into any folder. A program run from its build
// folder has no such tree next to it and keeps to the working directory.
#pragma once

#include <string>

namespace velmora::ui {

// The installation's folder as installed beside the program, when it holds
// vehicles.dat; otherwise empty.
std::string InstalledDataDir(const std::string& programDir);

// The folder the program enters before reading the installation: the one
// given with --data, else the installed one, else empty (stay in the working
// directory).
std::string ChooseDataDir(const std::string& givenDir, const std::string& programDir);

// Where the renderer library lies when installed beside the program; empty
// without a program folder. Whether the file exists is for the loader to find.
std::string InstalledRendererPath(const std::string& programDir);

}  // namespace velmora::ui
