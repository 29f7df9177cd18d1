// What the web side serves, as text: the room's state as JSON (/api/state and
// the live updates) and the metrics in the Prometheus text format. Every text
// written by a user goes in through net::AppendJsonString.
// The formats are described in server/README.md.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "server/room.h"
#include "server/server_stats.h"

namespace velmora::server {

// What the web side itself counts.
struct WebCounters {
  std::map<int, uint64_t> Responses;  // by HTTP status
  uint64_t RefusedConnections = 0;    // past the connection limit
  uint64_t DroppedConnections = 0;    // too slow or idle
  double BusySeconds = 0;             // the game's thread spent answering and updating
  int Connections = 0;                // open now, viewers included
  int Viewers = 0;                    // live-update connections open now
};

// The moment the text describes.
struct WebClock {
  uint32_t RoomMs = 0;    // the room's time
  uint64_t UptimeMs = 0;  // the same clock, 64 bits wide
};

// The vehicle's kind as the page names it, from its type number: airliner,
// fighter, light_aircraft, aircraft, car, train or other.
std::string_view VehicleKindName(int32_t formNo);

// The room's state. Chat lines and results are those after the given
// sequence numbers (0: all kept), so that live updates carry only new ones.
void AppendStateJson(std::string& out, const Room& room, const ServerStats& stats,
                     const WebCounters& web, const WebClock& clock, uint64_t chatAfter = 0,
                     uint64_t resultsAfter = 0);
std::string StateJson(const Room& room, const ServerStats& stats, const WebCounters& web,
                      const WebClock& clock);

// Gauges and counters for users, rounds, a round-time histogram, bytes,
// logins and refusals by reason, and the web side's own.
std::string MetricsText(const Room& room, const ServerStats& stats, const WebCounters& web,
                        const WebClock& clock);

}  // namespace velmora::server
