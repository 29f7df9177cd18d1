#include "version/version.h"

#include <cstdio>

// VELMORA_COMMIT and VELMORA_COMMIT_MODIFIED, written by commit_header.cmake on
// every build; only this file includes it, so a new commit recompiles nothing else.
#include "version_commit.h"

namespace velmora::version {

std::string ProjectVersion() {
  return VELMORA_PROJECT_VERSION;
}

std::string VersionLine(std::string_view program) {
  std::string line = std::string(program) + " " + ProjectVersion();
  const std::string commit = VELMORA_COMMIT;
  if (!commit.empty()) {
    line += " (commit " + commit + (VELMORA_COMMIT_MODIFIED ? ", modified)" : ")");
  }
  return line;
}

int PrintVersion(std::string_view program) {
  const std::string line = VersionLine(program) + "\n";
  const bool written = std::fputs(line.c_str(), stdout) >= 0 && std::fflush(stdout) == 0;
  return written ? 0 : 1;
}

}  // namespace velmora::version
