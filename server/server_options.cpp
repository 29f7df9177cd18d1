#include "server/server_options.h"

#include <charconv>
#include <filesystem>
#include <system_error>

#include "net/host_port.h"

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

std::optional<int64_t> ParseWhole(const std::string& text) {
  int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// --http [ADDRESS:]PORT, an IPv6 address in brackets: "[::1]:8080".
std::optional<std::string> ParseHttp(const std::string& value, ServerOptions& o) {
  std::string address = "127.0.0.1";
  std::string port = value;
  if (!value.empty() && value.front() == '[') {
    const std::size_t close = value.find("]:");
    if (close == std::string::npos) {
      return "option --http takes [ADDRESS]:PORT, not '" + value + "'";
    }
    address = value.substr(1, close - 1);
    port = value.substr(close + 2);
  } else if (const std::size_t colon = value.rfind(':'); colon != std::string::npos) {
    address = value.substr(0, colon);
    port = value.substr(colon + 1);
  }
  const std::optional<int64_t> number = ParseWhole(port);
  if (address.empty() || !number || *number < 0 || *number > kMaxPort) {
    return "option --http takes [ADDRESS:]PORT with a port from 0 to 65535, not '" + value + "'";
  }
  o.HttpAddress = address;
  o.HttpPort = static_cast<int>(*number);
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
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& name = arguments[i];
    if (name == "--help" || name == "-h") {
      o.Help = true;
      continue;
    }

    if (name == "--http") {
      if (i + 1 >= arguments.size()) {
        parse.Error = "option --http needs a value";
        return parse;
      }
      parse.Error = ParseHttp(arguments[++i], o);
      if (parse.Error) return parse;
      continue;
    }
    if (name == "--version") {
      o.Version = true;
      continue;
    }
    if (name != "--address" && name != "--port" && name != "--world" && name != "--room" &&
        name != "--interval" && name != "--max-users" && name != "--missions" &&
        name != "--max-per-address" && name != "--idle-limit") {
      parse.Error = "unknown option '" + name + "' (see --help)";
      return parse;
    }
    if (i + 1 >= arguments.size()) {
      parse.Error = "option " + name + " needs a value";
      return parse;
    }
    const std::string& value = arguments[++i];
    if (name == "--address") {
      o.Address = net::WithoutBrackets(value);
      continue;
    }
    if (name == "--missions") {
      if (value.empty()) {
        parse.Error = "option --missions needs a file name";
        return parse;
      }
      o.MissionsPath = value;
      continue;
    }
    const std::optional<int64_t> number = ParseWhole(value);
    const auto bad = [&](const std::string& range) {
      parse.Error = "option " + name + " takes a whole number " + range + ", not '" + value + "'";
    };
    if (name == "--port") {
      if (!number || *number < 0 || *number > kMaxPort) return bad("from 0 to 65535"), parse;
      o.Port = static_cast<int>(*number);
    } else if (name == "--world") {
      if (!number || *number < INT32_MIN || *number > INT32_MAX) return bad("(32 bits)"), parse;
      o.WorldNo = static_cast<int32_t>(*number);
    } else if (name == "--room") {
      if (!number || *number < INT32_MIN || *number > INT32_MAX) return bad("(32 bits)"), parse;
      o.RoomNo = static_cast<int32_t>(*number);
    } else if (name == "--interval") {
      if (!number || *number < kMinIntervalMs || *number > kMaxIntervalMs) {
        return bad("from 10 to 10000"), parse;
      }
      o.IntervalMs = static_cast<int32_t>(*number);
    } else if (name == "--max-per-address") {
      if (!number || *number < 0 || *number > kMaxPerAddressLimit) {
        return bad("from 0 to 100"), parse;
      }
      o.MaxUsersPerAddress = static_cast<int>(*number);
    } else if (name == "--idle-limit") {
      if (!number || *number < 0 || *number > kMaxIdleLimitSeconds) {
        return bad("from 0 to 86400"), parse;
      }
      o.IdleLimitSeconds = static_cast<int>(*number);
    } else {
      if (!number || *number < 1 || *number > kMaxUsersLimit) return bad("from 1 to 400"), parse;
      o.MaxUsers = static_cast<int>(*number);
    }
  }
  return parse;
}

}  // namespace velmora::server
