#include "traffic/traffic_options.h"

#include <algorithm>
#include <cstdio>

#include "net/host_port.h"
#include "net/option_reader.h"

namespace velmora::traffic {
namespace {

// The highest first handle number: AI-9999 and the clients after it stay well
// inside the server's handle length.
constexpr int kMaxFirstHandle = 9999;

}  // namespace

TOptionsParse ParseTrafficOptions(const std::vector<std::string>& arguments) {
  TOptionsParse out;
  TTrafficOptions& o = out.Options;
  net::TOptionReader line(arguments);
  while (!line.AtEnd()) {
    const std::string a = line.Take();
    if (a == "-h" || a == "--help") {
      o.Help = true;
      continue;
    }
    if (a == "--version") {
      o.Version = true;
      continue;
    }
    const std::optional<std::string> given = line.Value();
    if (!given) {
      out.Error = a + ": unknown option or missing value";
      return out;
    }
    const std::string& value = *given;
    // A whole number within [lo, hi] into field, or the error that names the option.
    const auto ranged = [&](int& field, int64_t lo, int64_t hi) {
      const auto n = net::ReadWholeNumber(value, lo, hi);
      if (!n) {
        out.Error =
            a + " wants " + std::to_string(lo) + " to " + std::to_string(hi) + ", not " + value;
        return false;
      }
      field = static_cast<int>(*n);
      return true;
    };
    if (a == "--server") {
      const std::optional<net::THostPort> server = net::ParseHostPort(value);
      if (!server) {
        out.Error = "--server wants HOST:PORT or [IPv6]:PORT, not " + value;
        return out;
      }
      o.Host = server->Host;
      o.Port = server->Port;
    } else if (a == "--count") {
      if (!ranged(o.Count, 1, kMaxTrafficClients)) return out;
    } else if (a == "--first") {
      if (!ranged(o.First, 1, kMaxFirstHandle)) return out;
    } else if (a == "--kinds") {
      o.Kinds.clear();
      std::size_t start = 0;
      while (start <= value.size()) {
        const std::size_t comma = std::min(value.find(',', start), value.size());
        const auto kind = KindFromName(value.substr(start, comma - start));
        if (!kind) {
          out.Error = "--kinds lists airliner, train, car and fighter, not " + value;
          return out;
        }
        o.Kinds.push_back(*kind);
        start = comma + 1;
      }
    } else if (a == "--seed") {
      int seed = 0;
      if (!ranged(seed, 0, 1000000)) return out;
      o.Seed = static_cast<uint32_t>(seed);
    } else if (a == "--world") {
      const auto n = net::ReadWholeNumber(value, 0, 2147483647);
      if (!n) {
        out.Error = "--world wants a world number, not " + value;
        return out;
      }
      o.WorldText = value;
      o.WorldNo = static_cast<int32_t>(*n);
    } else if (a == "--status") {
      if (!ranged(o.StatusSeconds, 1, 86400)) return out;
    } else if (a == "--data") {
      o.DataDir = value;
    } else {
      out.Error = a + ": unknown option";
      return out;
    }
  }
  return out;
}

const char* TrafficUsage() {
  return "Usage: velmora-traffic [--server HOST:PORT] [--count N] [--kinds LIST] [--first K]\n"
         "                       [--seed S] [--world N] [--data DIR] [--status SECONDS]\n"
         "\n"
         "Runs N traffic clients against the game server, handles AI-01, AI-02, ...\n"
         "\n"
         "Options:\n"
         "  --server HOST:PORT  the game server; an IPv6 address in brackets, e.g.\n"
         "                      [::1]:64000 (default 127.0.0.1:64000)\n"
         "  --count N           traffic clients, 1..400 (default 1)\n"
         "  --kinds LIST        kinds taken in turn, from airliner, train, car and\n"
         "                      fighter (default train,car,airliner,fighter)\n"
         "  --first K           the first handle is AI-K, 1..9999 (default 1), so that\n"
         "                      a second velmora-traffic can join a server the first\n"
         "                      one is on\n"
         "  --seed S            seed of the drivers' choices, 0..1000000 (default 1)\n"
         "  --world N           world number (default 52566771)\n"
         "  --data DIR          the installation: vehicles.dat, ground.dat and\n"
         "                      objects.dat (default: the working directory)\n"
         "  --status SECONDS    a line per client on where it is, every SECONDS,\n"
         "                      1..86400 (default 60)\n"
         "  -h, --help          show this text\n"
         "  --version           show the version\n";
}

std::string TrafficHandle(int number) {
  char text[16];
  std::snprintf(text, sizeof text, "AI-%02d", number);
  return text;
}

}  // namespace velmora::traffic
