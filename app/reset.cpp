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

// Panels and throttle maximum (m/s²) of a vehicle type.
void ShowPanelsFor(state::TMainState& s, int32_t type) {
  s.Panels = state::TPanelVisibility{};
  state::TPanelVisibility& p = s.Panels;
  if (type == 12 || type == 13) {  // fighter
    p.PFD = p.Indicator = p.Navi = p.Power = true;
    s.ThrottleMax = 10;
  } else if (type == 10 || type == 11) {  // airliner
    p.PFD = p.Indicator = p.Dest = p.Power = true;
    s.ThrottleMax = 3.9;
  } else if (type == 20) {  // road vehicle
    p.Indicator = p.Navi = p.Power = true;
    s.ThrottleMax = 6;
  } else if (type == 30) {  // train
    p.Indicator = p.Navi = p.Power = true;
    s.ThrottleMax = 11.0 / 12.0;
  } else if (type / 10 == vehicle::kKindTrain) {
    // Other trains (the express) keep their panels hidden but drive with the
    // train's thrust: the unbounded maximum of other types would throw a
    // train off the position grid within one step of full throttle.
    s.ThrottleMax = 11.0 / 12.0;
  } else {
    s.ThrottleMax = 1e10;
  }
}

// The captain's briefing before an airliner flight.
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
    if (type == 10 || type == 11) CaptainBriefing(s);
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
