// The crew's spoken calls: the captain's, the ground-proximity warning's and
// the stall warning's. Each call is an identity that carries the text the log
// shows; the sound speaks a call by its identity, never by its text, so a
// text corrected here keeps its voice.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace velmora::state {

enum class TCall : uint8_t {
  // The captain's take-off calls.
  Call80,
  CallV,
  CallOne,
  CallVR,
  CallV2,
  PositiveClimb,
  // The captain's acknowledgements of the pilot's gear and flap commands.
  GearUp,
  GearDown,
  FlapsUp,
  Flaps1,
  Flaps5,
  Flaps10,
  Flaps20,
  Flaps25,
  Flaps30,
  // The captain on the approach.
  ApproachingMinimums,
  Minimums,
  AutopilotDisengaged,
  CommandC,
  // The ground-proximity warning.
  GpwsMinimums,
  Gpws100,
  Gpws50,
  Gpws40,
  Gpws30,
  Gpws20,
  Gpws10,
  // The stall warning.
  Stall,
  Count
};
inline constexpr int kCallCount = static_cast<int>(TCall::Count);

// The line the log shows for each call (UTF-8), in the order of TCall. The
// texts stay byte for byte as stored logs and the crew's tests read them,
// "Approching" included.
inline constexpr std::array<std::string_view, kCallCount> kCallTexts = {
    "機長> 80.",
    "機長> V（ヴィーーーー）.",
    "機長> 1（ワン）.",
    "機長> VR（ヴィアール）.",
    "機長> V2（ヴィツー）.",
    "機長> Positive climb.",
    "機長> Gear up.",
    "機長> Gear down.",
    "機長> Flaps up.",
    "機長> Flaps 1.",
    "機長> Flaps 5.",
    "機長> Flaps 10.",
    "機長> Flaps 20.",
    "機長> Flaps 25.",
    "機長> Flaps 30.",
    "機長> Approching minimums.",
    "機長> Minimums.",
    "機長> Auto pilot disengaged.",
    "機長> Command C push.",
    "GPWS> Minimums.",
    "GPWS> 100",
    "GPWS> 50",
    "GPWS> 40",
    "GPWS> 30",
    "GPWS> 20",
    "GPWS> 10",
    "失速警報> Stall.",
};

// The line of a call; empty for TCall::Count.
constexpr std::string_view CallText(TCall call) {
  const auto i = static_cast<std::size_t>(call);
  return i < kCallTexts.size() ? kCallTexts[i] : std::string_view();
}

}  // namespace velmora::state
