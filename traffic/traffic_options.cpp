#include "traffic/traffic_options.h"

#include <cstdio>
#include <cstdlib>

namespace velmora::traffic {
namespace {

// The highest first handle number: AI-9999 and the clients after it stay well
// inside the server's handle length.
constexpr int kMaxFirstHandle = 9999;

std::optional<long> Number(const std::string& text, long lo, long hi) {
  if (text.empty() || text.size() > 10) return std::nullopt;
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || value < lo || value > hi) return std::nullopt;
  return value;
}

}  // namespace

TOptionsParse ParseTrafficOptions(const std::vector<std::string>& arguments) {
  TOptionsParse out;
  TTrafficOptions& o = out.Options;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& a = arguments[i];
    if (a == "-h" || a == "--help") {
      o.Help = true;
      continue;
    }
    if (i + 1 >= arguments.size()) {
      out.Error = a + ": unknown option or missing value";
      return out;
    }
    const std::string& value = arguments[++i];
    // A whole number within [lo, hi] into field, or the error that names the option.
    const auto ranged = [&](int& field, long lo, long hi) {
      const auto n = Number(value, lo, hi);
      if (!n) {
        out.Error =
            a + " wants " + std::to_string(lo) + " to " + std::to_string(hi) + ", not " + value;
        return false;
      }
      field = static_cast<int>(*n);
      return true;
    };
    if (a == "--server") {
      const std::size_t colon = value.rfind(':');
      const auto port =
          colon == std::string::npos ? std::nullopt : Number(value.substr(colon + 1), 1, 65535);
      if (!port || colon == 0) {
        out.Error = "--server wants HOST:PORT, not " + value;
        return out;
      }
      o.Host = value.substr(0, colon);
      o.Port = static_cast<uint16_t>(*port);
    } else if (a == "--count") {
      if (!ranged(o.Count, 0, kMaxTrafficClients)) return out;
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
      const auto n = Number(value, 0, 2147483647);
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
  return "Usage: velmora-traffic --server HOST:PORT --count N [--kinds "
         "airliner,train,car,fighter]\n"
         "                       [--first K] [--seed S] [--world N] [--data DIR] [--status "
         "SECONDS]\n"
         "Runs N traffic clients against the game server, handles AI-01, AI-02, ...; the kinds\n"
         "are taken in turn. --first K starts the handles at AI-K (default 1), so that a second\n"
         "velmora-traffic can join a server the first one is on.\n"
         "--data names the installation folder (default: here).\n"
         "Every --status seconds (default 60) a line per client says where it is.\n";
}

std::string TrafficHandle(int number) {
  char text[16];
  std::snprintf(text, sizeof text, "AI-%02d", number);
  return text;
}

}  // namespace velmora::traffic
