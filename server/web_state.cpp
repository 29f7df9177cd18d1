#include "server/web_state.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "net/json_text.h"

namespace velmora::server {
namespace {

using net::AppendJsonString;

constexpr double kCentimetresPerMetre = 100.0;
constexpr double kHundredthsPerDegree = 100.0;

void AppendNumber(std::string& out, double value, int decimals) {
  // A value that rounds to zero is written without its sign.
  static constexpr double kHalfStep[] = {0.5, 0.05, 0.005, 0.0005, 0.00005, 0.000005, 0.0000005};
  if (std::fabs(value) < kHalfStep[decimals]) value = 0;
  char text[64];
  const auto result =
      std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
  out.append(text, result.ptr);
}

void AppendInteger(std::string& out, long long value) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  out.append(text, result.ptr);
}

// A value to one decimal in integer arithmetic: a vehicle's numbers are most
// of an update, and this is several times faster than formatting a double.
void AppendTenths(std::string& out, double value) {
  const long long tenths = std::llround(value * 10.0);
  if (tenths < 0) out += '-';
  const long long magnitude = tenths < 0 ? -tenths : tenths;
  AppendInteger(out, magnitude / 10);
  out += '.';
  out += static_cast<char>('0' + magnitude % 10);
}

// "name": with its comma when it is not the object's first member.
void Key(std::string& out, std::string_view name, bool first = false) {
  if (!first) out += ',';
  out += '"';
  out += name;
  out += "\":";
}

void AppendVehicle(std::string& out, const UserView& user) {
  const WireVehicle& v = *user.Vehicle;
  out += '{';
  Key(out, "user", true);
  AppendInteger(out, user.UserNo);
  Key(out, "handle");
  AppendJsonString(out, user.Handle);
  Key(out, "kind");
  AppendJsonString(out, VehicleKindName(v.FormNo));
  Key(out, "type");
  AppendInteger(out, v.FormNo);
  Key(out, "group");
  AppendInteger(out, v.GroupNo);
  Key(out, "x");
  AppendTenths(out, v.X / kCentimetresPerMetre);
  Key(out, "y");
  AppendTenths(out, v.Y / kCentimetresPerMetre);
  Key(out, "height");
  AppendTenths(out, -v.Z / kCentimetresPerMetre);
  Key(out, "heading");
  double heading = std::fmod(v.Heading / kHundredthsPerDegree, 360.0);
  if (heading < 0) heading += 360.0;
  AppendTenths(out, heading);
  Key(out, "speed");
  const double vx = v.VX, vy = v.VY, vz = v.VZ;
  AppendTenths(out, std::sqrt(vx * vx + vy * vy + vz * vz) / kCentimetresPerMetre);
  Key(out, "climb");
  AppendTenths(out, -vz / kCentimetresPerMetre);
  Key(out, "mission_no");
  AppendInteger(out, user.MissionNo);
  Key(out, "age_ms");
  AppendInteger(out, user.VehicleAgeMs);
  out += '}';
}

void AppendUser(std::string& out, const UserView& user, uint32_t nowMs) {
  out += '{';
  Key(out, "user", true);
  AppendInteger(out, user.UserNo);
  Key(out, "handle");
  AppendJsonString(out, user.Handle);
  Key(out, "vehicle");
  if (user.Vehicle != nullptr) {
    AppendJsonString(out, VehicleKindName(user.Vehicle->FormNo));
  } else {
    out += "null";
  }
  Key(out, "mission_no");
  AppendInteger(out, user.MissionNo);
  Key(out, "online_s");
  AppendInteger(out, (nowMs - user.LoggedInAt) / 1000);
  out += '}';
}

void AppendHealth(std::string& out, const Room& room, const ServerStats& stats,
                  const WebCounters& web, const WebClock& clock) {
  const RecentFigures recent = stats.Recent(clock.UptimeMs);
  const RoomJournal& journal = room.Journal();
  out += '{';
  Key(out, "users", true);
  AppendInteger(out, room.UserCount());
  Key(out, "connections");
  AppendInteger(out, static_cast<long long>(room.ConnectionCount()));
  Key(out, "rounds_per_s");
  AppendNumber(out, recent.RoundsPerSecond, 2);
  Key(out, "round_ms_median");
  AppendNumber(out, recent.RoundMedianMs, 3);
  Key(out, "round_ms_max");
  AppendNumber(out, recent.RoundMaxMs, 3);
  Key(out, "bytes_sent_per_s");
  AppendNumber(out, recent.SentPerSecond, 0);
  Key(out, "bytes_received_per_s");
  AppendNumber(out, recent.ReceivedPerSecond, 0);
  Key(out, "logins");
  AppendInteger(out, static_cast<long long>(journal.Logins()));
  Key(out, "refusals");
  out += '{';
  for (int i = 0; i < static_cast<int>(Refusal::Count); ++i) {
    Key(out, RefusalName(static_cast<Refusal>(i)), i == 0);
    AppendInteger(out, static_cast<long long>(journal.Refusals(static_cast<Refusal>(i))));
  }
  out += '}';
  Key(out, "viewers");
  AppendInteger(out, web.Viewers);
  Key(out, "uptime_s");
  AppendInteger(out, static_cast<long long>(clock.UptimeMs / 1000));
  out += '}';
}

}  // namespace

std::string_view VehicleKindName(int32_t formNo) {
  switch (formNo) {
    case 10:
    case 11:
      return "airliner";
    case 12:
    case 13:
      return "fighter";
    case 14:
    case 15:
      return "light_aircraft";
    default:
      break;
  }
  switch (formNo / 10) {
    case 1:
      return "aircraft";
    case 2:
      return "car";
    case 3:
      return "train";
    default:
      return "other";
  }
}

void AppendStateJson(std::string& out, const Room& room, const ServerStats& stats,
                     const WebCounters& web, const WebClock& clock, uint64_t chatAfter,
                     uint64_t resultsAfter) {
  const RoomConfig& config = room.Config();
  out += '{';
  Key(out, "time_ms", true);
  AppendInteger(out, clock.RoomMs);
  Key(out, "server");
  out += '{';
  Key(out, "world", true);
  AppendInteger(out, config.WorldNo);
  Key(out, "room");
  AppendInteger(out, config.RoomNo);
  Key(out, "interval_ms");
  AppendInteger(out, config.IntervalMs);
  Key(out, "max_users");
  AppendInteger(out, config.MaxUsers);
  out += '}';

  // The missions' titles once; vehicles and users give their numbers.
  Key(out, "missions");
  out += '[';
  const std::vector<Mission>& missions = room.Missions().Missions;
  for (std::size_t i = 0; i < missions.size(); ++i) {
    if (i > 0) out += ',';
    out += "{\"no\":";
    AppendInteger(out, static_cast<long long>(i + 1));
    Key(out, "title");
    AppendJsonString(out, missions[i].Title);
    out += '}';
  }
  out += ']';

  Key(out, "vehicles");
  out += '[';
  bool first = true;
  room.ForEachUser(clock.RoomMs, [&](const UserView& user) {
    if (user.Vehicle == nullptr) return;
    if (!first) out += ',';
    first = false;
    AppendVehicle(out, user);
  });
  out += ']';

  Key(out, "users");
  out += '[';
  first = true;
  room.ForEachUser(clock.RoomMs, [&](const UserView& user) {
    if (!first) out += ',';
    first = false;
    AppendUser(out, user, clock.RoomMs);
  });
  out += ']';

  Key(out, "chat");
  out += '[';
  first = true;
  for (const ChatEntry& line : room.Journal().Chat()) {
    if (line.Seq <= chatAfter) continue;
    if (!first) out += ',';
    first = false;
    out += '{';
    Key(out, "seq", true);
    AppendInteger(out, static_cast<long long>(line.Seq));
    Key(out, "time_ms");
    AppendInteger(out, line.AtMs);
    Key(out, "handle");
    AppendJsonString(out, line.Speaker);
    Key(out, "text");
    AppendJsonString(out, line.Text);
    Key(out, "server");
    out += line.FromServer ? "true" : "false";
    out += '}';
  }
  out += ']';

  Key(out, "results");
  out += '[';
  first = true;
  for (const ResultEntry& result : room.Journal().Results()) {
    if (result.Seq <= resultsAfter) continue;
    if (!first) out += ',';
    first = false;
    out += '{';
    Key(out, "seq", true);
    AppendInteger(out, static_cast<long long>(result.Seq));
    Key(out, "time_ms");
    AppendInteger(out, result.AtMs);
    Key(out, "handle");
    AppendJsonString(out, result.Handle);
    Key(out, "mission_no");
    AppendInteger(out, result.MissionNo);
    Key(out, "mission");
    AppendJsonString(out, result.Mission);
    Key(out, "seconds");
    AppendNumber(out, result.Seconds, 1);
    out += '}';
  }
  out += ']';

  Key(out, "health");
  AppendHealth(out, room, stats, web, clock);
  out += "}\n";
}

std::string StateJson(const Room& room, const ServerStats& stats, const WebCounters& web,
                      const WebClock& clock) {
  std::string out;
  AppendStateJson(out, room, stats, web, clock);
  return out;
}

std::string MetricsText(const Room& room, const ServerStats& stats, const WebCounters& web,
                        const WebClock& clock) {
  std::string out;
  const auto head = [&](std::string_view name, std::string_view type, std::string_view help) {
    out.append("# HELP velmora_").append(name).append(" ").append(help).append("\n");
    out.append("# TYPE velmora_").append(name).append(" ").append(type).append("\n");
  };
  const auto sample = [&](std::string_view name, std::string_view labels, double value,
                          int decimals = 0) {
    out.append("velmora_").append(name);
    if (!labels.empty()) out.append("{").append(labels).append("}");
    out += ' ';
    AppendNumber(out, value, decimals);
    out += '\n';
  };
  const auto count = [](uint64_t n) { return static_cast<double>(n); };

  std::size_t vehicles = 0;
  room.ForEachUser(clock.RoomMs, [&](const UserView& user) { vehicles += user.Vehicle ? 1 : 0; });
  head("users", "gauge", "Users logged in.");
  sample("users", "", room.UserCount());
  head("pending_connections", "gauge", "Game connections that have not logged in.");
  sample("pending_connections", "", static_cast<double>(room.PendingCount()));
  head("vehicles", "gauge", "Vehicles shown on the map.");
  sample("vehicles", "", static_cast<double>(vehicles));
  head("uptime_seconds", "gauge", "Seconds since the server started.");
  sample("uptime_seconds", "", static_cast<double>(clock.UptimeMs) / 1000.0, 3);

  head("rounds_total", "counter", "Rounds of positions sent.");
  sample("rounds_total", "", count(stats.Rounds()));
  head("round_seconds", "histogram", "Work of one round: every position line built and sent.");
  uint64_t cumulative = 0;
  const auto& buckets = stats.RoundBucketCounts();
  for (std::size_t i = 0; i < buckets.size(); ++i) {
    cumulative += buckets[i];
    std::string label = "le=\"";
    if (i < kRoundBuckets.size()) {
      char bound[32];
      std::snprintf(bound, sizeof bound, "%g", kRoundBuckets[i]);
      label += bound;
    } else {
      label += "+Inf";
    }
    label += '"';
    sample("round_seconds_bucket", label, count(cumulative));
  }
  sample("round_seconds_sum", "", stats.RoundSecondsSum(), 6);
  sample("round_seconds_count", "", count(stats.Rounds()));

  head("bytes_sent_total", "counter", "Bytes sent, by side (game protocol or web).");
  sample("bytes_sent_total", "side=\"game\"", count(stats.BytesSent(Side::Game)));
  sample("bytes_sent_total", "side=\"web\"", count(stats.BytesSent(Side::Web)));
  head("bytes_received_total", "counter", "Bytes received, by side (game protocol or web).");
  sample("bytes_received_total", "side=\"game\"", count(stats.BytesReceived(Side::Game)));
  sample("bytes_received_total", "side=\"web\"", count(stats.BytesReceived(Side::Web)));

  const RoomJournal& journal = room.Journal();
  head("logins_total", "counter", "Logins admitted.");
  sample("logins_total", "", count(journal.Logins()));
  head("refusals_total", "counter", "Game connections and logins refused, by reason.");
  for (int i = 0; i < static_cast<int>(Refusal::Count); ++i) {
    const auto reason = static_cast<Refusal>(i);
    sample("refusals_total", "reason=\"" + std::string(RefusalName(reason)) + "\"",
           count(journal.Refusals(reason)));
  }
  head("chat_lines_total", "counter", "Chat lines said, the server's own included.");
  sample("chat_lines_total", "", count(journal.ChatCount()));
  head("finishes_total", "counter", "Runs that reached their mission's goal.");
  sample("finishes_total", "", count(journal.ResultCount()));

  head("web_connections", "gauge", "Web connections open, live-update viewers included.");
  sample("web_connections", "", web.Connections);
  head("web_viewers", "gauge", "Pages following the live updates.");
  sample("web_viewers", "", web.Viewers);
  head("web_responses_total", "counter", "Web responses, by HTTP status.");
  for (const auto& [status, n] : web.Responses) {
    sample("web_responses_total", "code=\"" + std::to_string(status) + "\"", count(n));
  }
  head("web_busy_seconds_total", "counter",
       "Time the web side's answers and updates took on the game's thread.");
  sample("web_busy_seconds_total", "", web.BusySeconds, 6);
  head("web_refusals_total", "counter", "Web connections refused or dropped, by reason.");
  sample("web_refusals_total", "reason=\"too_many_connections\"", count(web.RefusedConnections));
  sample("web_refusals_total", "reason=\"slow_or_idle\"", count(web.DroppedConnections));
  return out;
}

}  // namespace velmora::server
