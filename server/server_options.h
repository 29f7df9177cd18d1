// The command line of velmora-server.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmora::server {

struct ServerOptions {
  std::string Address = "127.0.0.1";     // address to listen on
  int Port = 64000;                      // 0: any free port (the one bound is printed)
  int32_t WorldNo = 52566771;            // first field of every line
  int32_t RoomNo = 1;
  int32_t IntervalMs = 100;              // ms between rounds of positions
  int MaxUsers = 100;
  int MaxUsersPerAddress = 8;            // users logged in from one address; 0: no limit
  int IdleLimitSeconds = 120;            // a user who neither sends nor reads is closed; 0: never
  std::string MissionsPath;  // empty: see DefaultMissionsPath
  bool Help = false;
  bool Version = false;

  // The web side (status page, JSON, metrics): off while HttpPort is -1.
  std::string HttpAddress = "127.0.0.1";
  int HttpPort = -1;  // 0: any free port (the one bound is printed)
};

struct OptionsParse {
  ServerOptions Options;
  std::optional<std::string> Error;  // what was wrong with the command line
};

// Reads the arguments after the program name.
OptionsParse ParseServerOptions(const std::vector<std::string>& arguments);

// The missions file read without --missions: the one installed beside the
// program (../share/velmora/missions.txt from programDir, as the package
// lays it out) when it is there, else server/missions.txt in the working
// directory, where a server run from the source tree finds it.
std::string DefaultMissionsPath(const std::string& programDir);

// The text --help prints.
std::string ServerHelpText();

}  // namespace velmora::server
