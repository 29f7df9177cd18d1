#include "app/replay_entry.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace velmora::app {
namespace {

constexpr double kRailLimitOffset = 8;  // m/s added before scaling the rail limit
constexpr double kRailLimitScale = 4;   // steps per m/s

// x rounded to an integer and clamped to lo..hi; NaN counts as 0.
int32_t RoundClamped(double x, int32_t lo, int32_t hi) {
  if (std::isnan(x)) x = 0;
  const double r = std::round(x);
  if (r <= lo) return lo;
  if (r >= hi) return hi;
  return static_cast<int32_t>(r);
}

void PutInt8(state::TReplayEntry& e, int at, int32_t v) {
  e[static_cast<std::size_t>(at)] = static_cast<uint8_t>(v & 0xFF);
}

void PutInt16(state::TReplayEntry& e, int at, double scaled) {
  const auto v = static_cast<uint16_t>(RoundClamped(scaled, INT16_MIN, INT16_MAX) & 0xFFFF);
  e[static_cast<std::size_t>(at)] = static_cast<uint8_t>(v & 0xFF);
  e[static_cast<std::size_t>(at) + 1] = static_cast<uint8_t>(v >> 8);
}

void PutFloat(state::TReplayEntry& e, int at, double v) {
  const uint32_t bits = std::bit_cast<uint32_t>(static_cast<float>(v));
  for (int i = 0; i < 4; ++i) {
    e[static_cast<std::size_t>(at + i)] = static_cast<uint8_t>((bits >> (8 * i)) & 0xFF);
  }
}

int32_t GetInt8(const state::TReplayEntry& e, int at) {
  return static_cast<int8_t>(e[static_cast<std::size_t>(at)]);
}

int32_t GetInt16(const state::TReplayEntry& e, int at) {
  const auto lo = static_cast<uint16_t>(e[static_cast<std::size_t>(at)]);
  const auto hi = static_cast<uint16_t>(e[static_cast<std::size_t>(at) + 1]);
  return static_cast<int16_t>(static_cast<uint16_t>(lo | (hi << 8)));
}

float GetFloat(const state::TReplayEntry& e, int at) {
  uint32_t bits = 0;
  for (int i = 0; i < 4; ++i) {
    bits |= static_cast<uint32_t>(e[static_cast<std::size_t>(at + i)]) << (8 * i);
  }
  return std::bit_cast<float>(bits);
}

bool Recordable(double coordinate) {
  return std::isfinite(coordinate) && std::fabs(coordinate) <= kMaxReplayCoordinate;
}

}  // namespace

TUnrecordable WhyUnrecordable(const vehicle::TVehicleState& v, double originX, double originY) {
  if (v.UserNo < INT8_MIN || v.UserNo > INT8_MAX) return TUnrecordable::UserNo;
  if (!vehicle::TFormTable::InRange(v.FormNo)) return TUnrecordable::FormNo;
  if (!Recordable(v.X + originX) || !Recordable(v.Y + originY) || !Recordable(v.Z)) {
    return TUnrecordable::Position;
  }
  return TUnrecordable::None;
}

bool StoreEntry(state::TReplayEntry& e, const vehicle::TVehicleState& v, double originX,
                double originY) {
  if (WhyUnrecordable(v, originX, originY) != TUnrecordable::None) return false;
  const double x = v.X + originX;
  const double y = v.Y + originY;
  PutInt8(e, 0, v.UserNo);
  PutInt8(e, 1, v.FormNo);
  PutFloat(e, 2, x);
  PutFloat(e, 6, y);
  PutFloat(e, 10, v.Z);
  PutInt16(e, 14, v.Heading * 10.0);
  PutInt16(e, 16, v.Pitch * 10.0);
  PutInt16(e, 18, v.Bank * 10.0);
  PutInt8(e, 20, RoundClamped(v.Flap, INT8_MIN, INT8_MAX));
  PutInt16(e, 22, v.VX * 10);
  PutInt16(e, 24, v.VY * 10);
  PutInt16(e, 26, v.VZ * 10);
  return true;
}

void StoreControls(state::TReplayEntry& e, const TReplayControls& c) {
  PutInt8(e, 21, RoundClamped(c.Gear * 100, INT8_MIN, INT8_MAX));
  e[28] = static_cast<uint8_t>(
      RoundClamped((c.RailSpeedLimit + kRailLimitOffset) * kRailLimitScale, 0, UINT8_MAX));
  // A negative byte means the brake, so thrust never goes below 0.
  PutInt8(e, 29, c.Brake ? kReplayBrakeByte : RoundClamped(c.Throttle * 10, 0, INT8_MAX));
}

void RestoreEntry(const state::TReplayEntry& e, vehicle::TVehicleState& v, uint32_t now) {
  v = vehicle::TVehicleState{};
  v.FormNo = GetInt8(e, 1);
  v.Kind = v.FormNo / 10;
  v.X = GetFloat(e, 2);
  v.Y = GetFloat(e, 6);
  v.Z = GetFloat(e, 10);
  v.Heading = static_cast<float>(GetInt16(e, 14) / 10.0);
  v.Pitch = static_cast<float>(GetInt16(e, 16) / 10.0);
  v.Bank = static_cast<float>(GetInt16(e, 18) / 10.0);
  v.Flap = GetInt8(e, 20);
  v.VX = GetInt16(e, 22) / 10.0;
  v.VY = GetInt16(e, 24) / 10.0;
  v.VZ = GetInt16(e, 26) / 10.0;
  v.UserNo = GetInt8(e, 0);
  v.Time = static_cast<int32_t>(now);
}

TReplayControls RestoreControls(const state::TReplayEntry& e) {
  TReplayControls c;
  c.Gear = GetInt8(e, 21) / 100.0;
  c.RailSpeedLimit = e[28] / kRailLimitScale - kRailLimitOffset;
  c.Throttle = GetInt8(e, 29) / 10.0;
  if (c.Throttle < 0) {
    c.Brake = true;
    c.Throttle = 0;
  }
  return c;
}

int32_t EntryUserNo(const state::TReplayEntry& e) { return GetInt8(e, 0); }
int32_t EntryFormNo(const state::TReplayEntry& e) { return GetInt8(e, 1); }
float EntryCoordinate(const state::TReplayEntry& e, int axis) { return GetFloat(e, 2 + 4 * axis); }

}  // namespace velmora::app
