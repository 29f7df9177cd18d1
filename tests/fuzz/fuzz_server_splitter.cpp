// Feeds arbitrary bytes from three connections into a room, in pieces whose
// sizes the input chooses, with rounds and grace periods in between. Checks
// the splitter's promises on the way: a message never exceeds the limit, a
// malformed stream stays malformed, and every line the room sends starts
// with the world number (or is a refusal in the number of a client of another
// world), ends with its only LF, and goes to a live connection. The web
// side's JSON of the room that results carries no raw control byte and no <,
// whatever the handles and the chat were.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>

#include "server/message_splitter.h"
#include "server/room.h"
#include "server/web_state.h"

namespace {

using velmora::server::ConnectionId;

constexpr std::string_view kPrefix = "52566771;20;1;";
constexpr std::string_view kWorld = "52566771;";

// A refusal in another world's number, the one line a client of that world
// is sent: "<number>;10;".
bool ForeignRefusal(std::string_view line) {
  std::size_t digits = line.substr(0, 1) == "-" ? 1 : 0;
  const std::size_t start = digits;
  while (digits < line.size() && line[digits] >= '0' && line[digits] <= '9') ++digits;
  return digits > start && line.substr(digits, 4) == ";10;";
}

class CheckingOutput : public velmora::server::RoomOutput {
 public:
  void Send(ConnectionId id, std::string_view bytes) override {
    if (closed.count(id) != 0) std::abort();
    if (bytes.substr(0, kWorld.size()) != kWorld && !ForeignRefusal(bytes)) std::abort();
    if (bytes.empty() || bytes.back() != '\n' || bytes.find('\n') != bytes.size() - 1) std::abort();
  }
  void Close(ConnectionId id) override { closed.insert(id); }
  void Log(std::string_view) override {}
  std::set<ConnectionId> closed;
};

velmora::server::MissionsFile Missions() {
  using namespace velmora::server;
  MissionsFile f;
  f.Headings = {"H"};
  f.Missions.push_back(Mission{"F", 1, false,
                               {StartPoint{12, 0, -1500, 3000, 0, 0, 200, 0},
                                StartPoint{12, 0, 1500, 3000, 180, 0, 200, 0}},
                               std::nullopt});
  f.Missions.push_back(
      Mission{"P", 0, true, {StartPoint{10, 0, -12000, 600, 0, 0, 108, 0}}, std::nullopt});
  f.Missions.push_back(Mission{"R", 0, false, {StartPoint{20, 0, 0, 0, 0, 0, 0, 0}},
                               MissionGoal{0, 0, 0, 1000, 1000}});
  return f;
}

void CheckSplitter(std::string_view data) {
  using namespace velmora::server;
  MessageSplitter splitter{std::string(kPrefix)};
  bool broken = false;
  std::size_t at = 0;
  while (at < data.size()) {
    const std::size_t piece = 1 + static_cast<unsigned char>(data[at]) % 64;
    splitter.Append(data.substr(at + 1, piece));
    at += 1 + piece;
    for (int i = 0; i < 1000; ++i) {
      const SplitResult r = (i == 0 && at % 3 == 0) ? splitter.Flush() : splitter.Next();
      if (r.Status == SplitStatus::NeedMore) {
        if (broken) std::abort();
        break;
      }
      if (r.Status == SplitStatus::Malformed) {
        broken = true;
        break;
      }
      if (broken || r.Body.size() + kPrefix.size() > kMaxMessageLength) std::abort();
      (void)ParseClientMessage(r.Body);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  CheckSplitter(bytes);

  using namespace velmora::server;
  CheckingOutput output;
  Room room(RoomConfig{52566771, 1, 100, 100}, Missions(), output);
  uint32_t now = 0;
  for (ConnectionId id = 1; id <= 3; ++id) room.Connect(id, now);
  // Each chunk: one byte picks the connection and what happens after it, the
  // next its length.
  std::size_t at = 0;
  while (at + 2 <= bytes.size()) {
    const auto control = static_cast<unsigned char>(bytes[at]);
    const std::size_t length = static_cast<unsigned char>(bytes[at + 1]);
    const std::string_view chunk = bytes.substr(at + 2, length);
    at += 2 + length;
    const ConnectionId id = 1 + control % 3;
    room.Receive(id, chunk, now);
    now += control / 3 % 8 * 50;
    if (control & 0x40) room.GraceExpired(id, now);
    if (control & 0x80) room.Broadcast(now);
  }
  room.Broadcast(now);

  const std::string json = StateJson(room, ServerStats(), WebCounters(), WebClock{now, now});
  for (std::size_t i = 0; i + 1 < json.size(); ++i) {
    if (static_cast<unsigned char>(json[i]) < 0x20 || json[i] == '<') std::abort();
  }
  return 0;
}
