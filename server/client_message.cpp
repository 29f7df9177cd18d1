#include "server/client_message.h"

#include <cmath>

#include "net/field_reader.h"

namespace velmora::server {
namespace {

// Largest position accepted, cm: far beyond any world, yet short on the wire.
constexpr double kMaxPositionCm = 1e10;

constexpr int32_t kCodeChat = 20;
constexpr int32_t kCodeLogin = 30;
constexpr int32_t kCodeState = 40;
constexpr int32_t kCodeMission = 50;
constexpr int32_t kCodeShot = 60;

bool ReadInteger(net::FieldReader& reader, int32_t& out) {
  const std::optional<int32_t> value = reader.ReadInteger();
  if (!value) return false;
  out = *value;
  return true;
}

bool ReadPosition(net::FieldReader& reader, double& out) {
  const std::optional<double> value = reader.ReadFloat();
  if (!value || std::fabs(*value) > kMaxPositionCm) return false;
  out = *value;
  return true;
}

std::optional<ClientMessage> ParseState(net::FieldReader& reader) {
  StateMessage state;
  WireVehicle& v = state.Vehicle;
  if (!ReadInteger(reader, v.UserNo)) return std::nullopt;
  if (v.UserNo != 0) {
    const bool ok = ReadInteger(reader, state.RoomNo) && ReadInteger(reader, state.Time) &&
                    ReadInteger(reader, v.Kind) && ReadInteger(reader, v.FormNo) &&
                    ReadPosition(reader, v.X) && ReadPosition(reader, v.Y) &&
                    ReadPosition(reader, v.Z) && ReadInteger(reader, v.Heading) &&
                    ReadInteger(reader, v.Pitch) && ReadInteger(reader, v.Bank) &&
                    ReadInteger(reader, v.Flap) && ReadInteger(reader, v.VX) &&
                    ReadInteger(reader, v.VY) && ReadInteger(reader, v.VZ);
    if (!ok) return std::nullopt;
  }
  if (!reader.Rest().empty()) return std::nullopt;
  return state;
}

std::optional<ClientMessage> ParseLogin(net::FieldReader& reader) {
  LoginMessage login;
  // The account and the pass word each end with a TAB; a field that stopped
  // at a line end instead has no TAB after it.
  const std::string_view beforeAccount = reader.Rest();
  login.Account = reader.ReadText();
  if (reader.Rest().size() != beforeAccount.size() - login.Account.size() - 1) return std::nullopt;
  const std::string_view beforePassword = reader.Rest();
  login.Password = reader.ReadText();
  if (reader.Rest().size() != beforePassword.size() - login.Password.size() - 1) {
    return std::nullopt;
  }
  if (!ReadInteger(reader, login.Clock)) return std::nullopt;
  login.Handle = reader.Rest();
  return login;
}

std::optional<ClientMessage> ParseChat(net::FieldReader& reader) {
  ChatMessage chat;
  if (!ReadInteger(reader, chat.UserNo) || !ReadInteger(reader, chat.RoomNo)) return std::nullopt;
  const std::string_view rest = reader.Rest();
  const std::size_t tab = rest.find('\t');
  if (tab == std::string_view::npos || tab + 1 != rest.size()) return std::nullopt;
  chat.Text = rest.substr(0, tab);
  return chat;
}

template <typename Message>
std::optional<ClientMessage> ParseThreeNumbers(net::FieldReader& reader, int32_t Message::*third) {
  Message message;
  if (!ReadInteger(reader, message.UserNo) || !ReadInteger(reader, message.RoomNo) ||
      !ReadInteger(reader, message.*third) || !reader.Rest().empty()) {
    return std::nullopt;
  }
  return message;
}

}  // namespace

std::optional<ClientMessage> ParseClientMessage(std::string_view body) {
  net::FieldReader reader(body);
  int32_t code = 0;
  if (!ReadInteger(reader, code)) return std::nullopt;
  switch (code) {
    case kCodeLogin:
      return ParseLogin(reader);
    case kCodeState:
      return ParseState(reader);
    case kCodeMission:
      return ParseThreeNumbers(reader, &MissionMessage::MissionNo);
    case kCodeShot:
      return ParseThreeNumbers(reader, &ShotMessage::TargetNo);
    case kCodeChat:
      return ParseChat(reader);
    default:
      return OtherMessage{code};
  }
}

}  // namespace velmora::server
