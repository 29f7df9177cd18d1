// The version every program prints on --version: the project's version and,
// when built from a git checkout, the commit it was built from.
#pragma once

#include <string>
#include <string_view>

namespace velmora::version {

// "0.1.0": the project's version.
std::string ProjectVersion();

// "velmora-server 0.1.0 (commit 0123456789ab)"; "(commit 0123456789ab,
// modified)" when tracked files differed from that commit; no commit when the
// build did not come from a git checkout.
std::string VersionLine(std::string_view program);

// Prints VersionLine on standard output and returns the exit status of
// --version: 0, or 1 when the line could not be written.
int PrintVersion(std::string_view program);

}  // namespace velmora::version
