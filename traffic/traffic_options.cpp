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
      const auto n = Number(value, 0, kMaxTrafficClients);
      if (!n) {
        out.Error = "--count wants 0 to " + std::to_string(kMaxTrafficClients) + ", not " + value;
        return out;
      }
      o.Count = static_cast<int>(*n);
    } else if (a == "--first") {
      const auto n = Number(value, 1, kMaxFirstHandle);
      if (!n) {
        out.Error = "--first wants 1 to " + std::to_string(kMaxFirstHandle) + ", not " + value;
        return out;
      }
      o.First = static_cast<int>(*n);
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
      const auto n = Number(value, 0, 1000000);
      if (!n) {
        out.Error = "--seed wants 0 to 1000000, not " + value;
        return out;
      }
      o.Seed = static_cast<uint32_t>(*n);
    } else if (a == "--world") {
      const auto n = Number(value, 0, 2147483647);
      if (!n) {
        out.Error = "--world wants a world number, not " + value;
        return out;
      }
      o.WorldText = value;
      o.WorldNo = static_cast<int32_t>(*n);
    } else if (a == "--status") {
      const auto n = Number(value, 1, 86400);
      if (!n) {
        out.Error = "--status wants seconds, 1 to 86400, not " + value;
        return out;
      }
      o.StatusSeconds = static_cast<int>(*n);
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
