// The messages a client sends, read from a message body (the text after the
// message prefix). Numbers on the wire: positions in centimetres of the
// absolute world frame, angles in hundredths of a degree, speeds in cm/s.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace velmora::server {

// One vehicle as the wire carries it.
struct WireVehicle {
  int32_t UserNo = 0;   // owner's user number
  int32_t GroupNo = 0;  // fighters lock on only within their group
  int32_t Kind = 0;     // 0 none, 1 aircraft, 2 road vehicle, 3 train, 4 free body
  int32_t FormNo = 0;   // vehicle type number 1..100, 0 = none
  double X = 0;         // cm, east, absolute
  double Y = 0;         // cm, north, absolute
  double Z = 0;         // cm, down
  int32_t Heading = 0;  // 0.01 deg, clockwise from north
  int32_t Pitch = 0;    // 0.01 deg, nose up
  int32_t Bank = 0;     // 0.01 deg, right wing down
  int32_t Flap = 0;     // 0.01 deg, flap angle
  int32_t VX = 0;       // cm/s, east
  int32_t VY = 0;       // cm/s, north
  int32_t VZ = 0;       // cm/s, down
};

// Code 30: "30;<account>\t<pass word>\t<clock>;<handle>".
struct LoginMessage {
  std::string Account;   // CP932
  std::string Password;  // CP932
  int32_t Clock = 0;     // ms, the client's synchronised clock at login
  std::string Handle;    // CP932, as sent (not yet cleaned)
};

// Code 40. UserNo 0 is the empty state ("40;0;"), which carries nothing else.
struct StateMessage {
  int32_t RoomNo = 0;
  int32_t Time = 0;  // ms, the client's vehicle time
  WireVehicle Vehicle;  // GroupNo stays 0: the server assigns groups
};

// Code 50: the client chose mission MissionNo (1-based).
struct MissionMessage {
  int32_t UserNo = 0;
  int32_t RoomNo = 0;
  int32_t MissionNo = 0;
};

// Code 60: the client fired at TargetNo.
struct ShotMessage {
  int32_t UserNo = 0;
  int32_t RoomNo = 0;
  int32_t TargetNo = 0;
};

// Code 20: chat text, CP932, without its closing TAB.
struct ChatMessage {
  int32_t UserNo = 0;
  int32_t RoomNo = 0;
  std::string Text;
};

// A well-formed message of a code this server does not handle.
struct OtherMessage {
  int32_t Code = 0;
};

using ClientMessage =
    std::variant<LoginMessage, StateMessage, MissionMessage, ShotMessage, ChatMessage, OtherMessage>;

// Reads one body; nullopt when its fields do not fit its code.
std::optional<ClientMessage> ParseClientMessage(std::string_view body);

}  // namespace velmora::server
