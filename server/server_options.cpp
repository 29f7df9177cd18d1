#include "server/server_options.h"

#include <cstdint>
#include <filesystem>
#include <system_error>

#include "net/host_port.h"
#include "net/option_reader.h"

// The build sets it from its install folders; this is the default for a /usr
// or /usr/local tree.
#ifndef VELMORA_INSTALLED_DATA
#define VELMORA_INSTALLED_DATA "../share/velmora"
#endif

namespace velmora::server {
namespace {

constexpr int kMaxPort = 65535;
constexpr int32_t kMinIntervalMs = 10;
constexpr int32_t kMaxIntervalMs = 10000;
// A client holds 100 other vehicles, so a room of more users hides some from
// each (server/README.md): a room that large is asked for by name, up to the
// most it was tried with under load.
constexpr int kMaxUsersLimit = 400;
constexpr int kMaxPerAddressLimit = 100;
constexpr const char* kSourceTreeMissions = "server/missions.txt";
constexpr int64_t kMaxIdleLimitSeconds = 86400;

// The options that take a whole number, with their bounds as the message
// words them.
struct TNumberOption {
  const char* Name;
  int64_t Lo, Hi;
  const char* Range;
  int ServerOptions::*Field;
};
constexpr TNumberOption kNumberOptions[] = {
    {"--port", 0, kMaxPort, "from 0 to 65535", &ServerOptions::Port},
    {"--world", INT32_MIN, INT32_MAX, "(32 bits)", &ServerOptions::WorldNo},
    {"--room", INT32_MIN, INT32_MAX, "(32 bits)", &ServerOptions::RoomNo},
    {"--interval", kMinIntervalMs, kMaxIntervalMs, "from 10 to 10000", &ServerOptions::IntervalMs},
    {"--max-users", 1, kMaxUsersLimit, "from 1 to 400", &ServerOptions::MaxUsers},
    {"--max-per-address", 0, kMaxPerAddressLimit, "from 0 to 100",
     &ServerOptions::MaxUsersPerAddress},
    {"--idle-limit", 0, kMaxIdleLimitSeconds, "from 0 to 86400", &ServerOptions::IdleLimitSeconds},
};

// --http [ADDRESS:]PORT, an IPv6 address in brackets: "[::1]:8080".
std::optional<std::string> ParseHttp(const std::string& value, ServerOptions& o) {
  const std::optional<net::THostPort> http = net::ParseListenAddress(value, "127.0.0.1");
  if (!http && !value.empty() && value.front() == '[' && value.find("]:") == std::string::npos) {
    return "option --http takes [ADDRESS]:PORT, not '" + value + "'";
  }
  if (!http) {
    return "option --http takes [ADDRESS:]PORT with a port from 0 to 65535, not '" + value + "'";
  }
  o.HttpAddress = http->Host;
  o.HttpPort = http->Port;
  return std::nullopt;
}

}  // namespace

std::string DefaultMissionsPath(const std::string& programDir) {
  if (programDir.empty()) return kSourceTreeMissions;
  const auto installed =
      (std::filesystem::path(programDir) / VELMORA_INSTALLED_DATA / "missions.txt")
          .lexically_normal();
  std::error_code error;
  if (!std::filesystem::is_regular_file(installed, error)) return kSourceTreeMissions;
  return installed.string();
}

std::string ServerHelpText() {
  return "Usage: velmora-server [options]\n"
         "The Velmora game server: logins, missions, positions, chat and missile shots\n"
         "for the simulator program, over TCP.\n"
         "\n"
         "Options:\n"
         "  --address ADDR    address to listen on (default 127.0.0.1); an IPv6 address\n"
         "                    as it is or in brackets, e.g. [::1]\n"
         "  --port N          TCP port (default 64000; 0 picks a free port)\n"
         "  --world N         world number, the first field of every message (default 52566771)\n"
         "  --room N          room number given to every user (default 1)\n"
         "  --interval MS     milliseconds between position messages, 10..10000 (default 100)\n"
         "  --max-users N     users logged in at once, 1..400 (default 100); a program\n"
         "                    shows 100 others, so above 100 each sees only some\n"
         "  --max-per-address N\n"
         "                    users logged in from one address at once, 0..100; 0: no\n"
         "                    limit, e.g. for a LAN party behind one address (default 8)\n"
         "  --idle-limit S    close a user who has neither sent anything nor read what\n"
         "                    the server sent for S seconds, 0..86400; 0 never (default 120)\n"
         "  --missions FILE   missions file (default: the installed missions.txt,\n"
         "                    else server/missions.txt in the working directory)\n"
         "  --http [ADDRESS:]PORT\n"
         "                    serve a status page with a live map, /api/state and\n"
         "                    /metrics on PORT (0 picks a free port), on loopback\n"
         "                    unless an ADDRESS is given (off by default)\n"
         "  -h, --help        show this text and exit\n"
         "  --version         show the version and exit\n"
         "\n"
         "Once listening, the server prints \"listening on ADDR:PORT\" on standard output;\n"
         "its log (logins, missions, shots, disconnects) goes to standard error.\n";
}

OptionsParse ParseServerOptions(const std::vector<std::string>& arguments) {
  OptionsParse parse;
  ServerOptions& o = parse.Options;
  net::TOptionReader line(arguments);
  while (!line.AtEnd()) {
    const std::string name = line.Take();
    if (name == "--help" || name == "-h") {
      o.Help = true;
      continue;
    }
    if (name == "--version") {
      o.Version = true;
      continue;
    }
    const TNumberOption* number = nullptr;
    for (const TNumberOption& option : kNumberOptions) {
      if (name == option.Name) number = &option;
    }
    if (number == nullptr && name != "--http" && name != "--address" && name != "--missions") {
      parse.Error = "unknown option '" + name + "' (see --help)";
      return parse;
    }
    const std::optional<std::string> value = line.Value();
    if (!value) {
      parse.Error = "option " + name + " needs a value";
      return parse;
    }
    if (name == "--http") {
      parse.Error = ParseHttp(*value, o);
    } else if (name == "--address") {
      o.Address = net::WithoutBrackets(*value);
    } else if (name == "--missions") {
      if (value->empty()) {
        parse.Error = "option --missions needs a file name";
      } else {
        o.MissionsPath = *value;
      }
    } else if (const auto n = net::ReadWholeNumber(*value, number->Lo, number->Hi)) {
      o.*number->Field = static_cast<int>(*n);
    } else {
      parse.Error = "option " + name + " takes a whole number " + number->Range + ", not '" +
                    *value + "'";
    }
    if (parse.Error) return parse;
  }
  return parse;
}

}  // namespace velmora::server
