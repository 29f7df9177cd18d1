#include "app/reset.h"

#include <cmath>
#include <cstdio>

#include "physics/step_vehicle.h"
#include "pilot/control_step.h"
#include "vehicle/geometry.h"
#include "vehicle/units.h"

namespace velmora::app {
namespace {

constexpr double kTrainStartMargin = 2.7777777777777777;  // m/s (10 km/h) below the limit

// Throttle maxima (m/s²) of the kinds, for every type but the fighter and the
// airliner, which have their own.
// An aircraft of another type is taken for a light aircraft: 1.5 m/s² (0.15 g)
// lifts the sample one off after about 600 m when rotated at 64 kt (1540 m
// unrotated, inside its 2000 m runway), climbs it at 500 to 900 ft/min
// between 78 and 90 kt and tops out near 230 kt.
constexpr double kAircraftThrust = 1.5;
constexpr double kRoadThrust = 6;             // the car: 144 km/h flat out
constexpr double kTrainThrust = 11.0 / 12.0;  // 0.92 m/s²
// A kind the simulation gives no law of its own: the gentlest thrust of the
// others, since nothing is known about its drag or brakes.
constexpr double kOtherThrust = kTrainThrust;

// Panels and throttle maximum (m/s²) of a vehicle type: the fighter and the
// airliner by their numbers, every other type by its kind (type div 10).
void ShowPanelsFor(state::TMainState& s, int32_t type) {
  s.Panels = state::TPanelVisibility{};
  state::TPanelVisibility& p = s.Panels;
  if (vehicle::IsFighter(type)) {
    p.PFD = p.Indicator = p.Navi = p.Power = true;
    s.ThrottleMax = 10;
    return;
  }
  if (vehicle::IsAirliner(type)) {
    p.PFD = p.Indicator = p.Dest = p.Power = true;
    s.ThrottleMax = 3.9;
    return;
  }
  switch (type / 10) {
    case vehicle::kKindNone:  // no vehicle: nothing to show or drive
      s.ThrottleMax = 0;
      break;
    case vehicle::kKindAircraft:  // the fighter's panels: the destination grid serves the crew
      p.PFD = p.Indicator = p.Navi = p.Power = true;
      s.ThrottleMax = kAircraftThrust;
      break;
    case vehicle::kKindRoad:
      p.Indicator = p.Navi = p.Power = true;
      s.ThrottleMax = kRoadThrust;
      break;
    case vehicle::kKindTrain:
      p.Indicator = p.Navi = p.Power = true;
      s.ThrottleMax = kTrainThrust;
      break;
    default:  // the indicator draws nothing for these kinds
      p.Navi = p.Power = true;
      s.ThrottleMax = kOtherThrust;
      break;
  }
}

// The captain's briefing before an airliner flight; in practice the
// instructor's word on how it starts.
void CaptainBriefing(state::TMainState& s) {
  s.Log("");
  if (s.Start.Kind != 0) {
    // The bearing the base wind blows from, and its speed in knots.
    // Adding 0 turns a bearing of −0 (wind straight from the north) into 0.
    const double from =
        vehicle::Normalise360(vehicle::Atan2Deg(-s.BaseWindX, -s.BaseWindY)) + 0.0;
    const double knots = std::sqrt(s.BaseWindX * s.BaseWindX + s.BaseWindY * s.BaseWindY) *
                         units::kKnotsPerMetrePerSecond;
    char line[128];
    std::snprintf(line, sizeof line, "機長> 風は方位%.0fから%.0fノット。", from, knots);
    s.Log(line);
    s.Log("機長> V1 140. VR 150. V2 160.");
    s.Log("機長> 君が操縦してくれ。");
  } else {
    // A practice flight waits for its runway: nothing moves until it is chosen.
    s.Log("教官> 下の行先一覧で着陸する滑走路を選ぶと、");
    s.Log("教官> その滑走路への進入から始まる。");
  }
  const int32_t row = (s.World ? s.World->DestinationCount : 0) + 1;
  if (s.World) s.World->DestinationPanel.Rows[static_cast<std::size_t>(row)] = "・行先を指定しない";
  s.DestRow = row;
}

}  // namespace

void ResetRoutine(state::TMainState& s, int32_t type, bool place, uint32_t now) {
  ShowPanelsFor(s, type);

  // Aircraft pairs (10..19) start with the gear of their type; others have it down.
  s.Gear = (type / 10 == 1) ? (type & 1) : 1;

  if (place) {
    // Settle the ground clamp and, for a train, the track and its speed limit.
    physics::StepVehicle(s, s.Own, 0, 0, 0);
    if (s.Own.Kind == vehicle::kKindTrain &&
        s.RailSpeedLimit - kTrainStartMargin > vehicle::GroundSpeed(s.Own)) {
      s.Throttle = s.ThrottleMax;
    } else {
      pilot::TrimThrottle(s, s.Own);
    }
    if (vehicle::IsAirliner(type)) CaptainBriefing(s);
  } else {
    s.Panels.Dest = false;
    s.Panels.Navi = false;
    s.Panels.Video = s.ReplayEnd != s.ReplayStart;
    s.Throttle = 0;
  }

  s.OriginX = 0;
  s.OriginY = 0;
  s.WindX = 0;
  s.WindY = 0;
  s.SelectedDestination = -1;
  s.GuidanceMode = 0;
  s.PitchRate = 0;
  s.RollRate = 0;
  s.Rudder = 0;
  s.Steer = 0;
  s.RollInput = 0;
  s.PitchInput = 0;
  s.FlapSet = s.Own.Flap;
  s.FlapCommand = s.Own.Flap;
  s.GearSet = s.Gear;
  s.GearCommand = s.Gear;
  s.StickX = 0;
  s.StickY = 0;
  s.LastAirspeed = 0;
  s.StallWarning = 0;
  s.LastShotTime = now - 10000;
  s.EndKey = 0;
  s.JoystickButton = 0;
  s.StopDistance = 1e38;
  s.RailSpeedLimit = 1e38;
  s.ThrottleRate = 0;
  s.Brake = (s.Own.VX == 0 && s.Own.VY == 0) ? 1 : 0;
  s.EmergencyBrake = 0;
  s.ViewDirection = 0;
  s.LastViewDirection = -1;
}

}  // namespace velmora::app
