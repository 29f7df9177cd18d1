#include "pilot/crew.h"

#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>

#include "vehicle/geometry.h"
#include "vehicle/units.h"
#include "world/runway_geometry.h"
#include "world/shapes.h"

namespace velmora::pilot {

using namespace vehicle;  // records and geometry helpers
using world::kAimPointDistance;
using world::kFinalTurnRadius;
using world::kGlideSlope;
using world::kStraightInTurn;

namespace {

constexpr int32_t kAcknowledgeDelay = 1500;  // ms the captain waits before acting on a command
constexpr double kEngageHeight = 300;        // m above the ground: the captain engages
constexpr double kTurnHeight = 300;          // m: no turns below it before the final mode
constexpr double kInterceptDistance = 17000; // m from the fix to the turn, plus f + u
constexpr double kAbeamDistance = 6000;      // m beside the fix when positioning
constexpr double kBankGravity = 5.6618693775;  // m/s², g·tan 30°: a turn at 30° of bank
constexpr double kFixReached = 300;          // m
constexpr double kDisengageCurved = 1000;    // m before the turn of a curved approach
constexpr double kDisengageStraight = 6000;  // m before the aim point on a straight-in
constexpr double kApproachSpeed = 74.5;      // m/s, 145 kt, for the descent-rate advice
constexpr double kMaxBank = 30;              // deg
constexpr double kBankRate = 15;             // deg/s
constexpr double kBankPerDegree = 10;        // deg of bank per deg of course error
constexpr double kPitchRateLimit = 3;        // deg/s
// The autopilot's pitch envelope. Its steepest climb, 15 m/s at 100 m/s, is
// an 8.6° path; at most the 12° angle of attack where the controls stop the
// nose comes on top, so +20° holds every climb an airliner flies normally;
// −15° is a 15 m/s descent down to 58 m/s.
constexpr double kMinPitch = -15;            // deg
constexpr double kMaxPitch = 20;             // deg
// The autopilot gives up below the airspeed at which level flight needs this
// angle of attack, where the pilot's own controls stop the nose, 3° short
// of the stall.
constexpr double kFloorAngleOfAttack = 12;   // deg
constexpr double kThrottleShare = 0.9;       // of ThrottleMax the autothrottle may use
constexpr double kGearDrag = 0.381;          // of Drag, with the gear down
constexpr double kSpeedGain = 50;            // 1/s, autothrottle response to a speed error
constexpr double kStandingSpeed = 0.01;      // m/s over the ground: the aircraft stands
// Below these magnitudes a factor of the vertical law counts as vanished.
constexpr double kMinCosine = 1e-6;
constexpr double kMinLiftPerDegree = 1e-12;  // m/s² per degree of angle of attack
constexpr double kMinAirspeed = 1e-9;        // m/s

constexpr double kKnots = units::kKnotsPerMetrePerSecond;
constexpr double kFeet = units::kFeetPerMetre;
constexpr double kMetresPerSecondPerKnot = 1850.0 / 3600.0;

using state::TCall;

// Speed of take-off crossings in knots and the captain's call for each.
struct TCrossing {
  double Knots;
  TCall Call;
};
constexpr TCrossing kTakeOffCalls[] = {
    {80, TCall::Call80},
    {135, TCall::CallV},
    {140, TCall::CallOne},
    {150, TCall::CallVR},
    {160, TCall::CallV2},
};

// The captain's acknowledgement of a flap setting other than up, by the
// whole number he says; none for a setting that is no detent.
std::optional<TCall> FlapsCall(double spokenDegrees) {
  constexpr std::pair<double, TCall> kDetents[] = {{1, TCall::Flaps1},   {5, TCall::Flaps5},
                                                   {10, TCall::Flaps10}, {20, TCall::Flaps20},
                                                   {25, TCall::Flaps25}, {30, TCall::Flaps30}};
  for (const auto& [degrees, call] : kDetents) {
    if (spokenDegrees == degrees) return call;
  }
  return std::nullopt;
}

// The ground-proximity call of a 10 ft band below 50 ft, by its upper bound (ft).
constexpr TCall kGpwsBands[] = {TCall::Gpws10, TCall::Gpws20, TCall::Gpws30, TCall::Gpws40,
                                TCall::Gpws50};

bool IsOdd(int32_t n) { return (n & 1) != 0; }

// A whole number as the captain says it: never "-0".
double Spoken(double value) { return std::nearbyint(value) == 0 ? 0.0 : value; }

std::string Format(const char* format, double value) {
  char line[160];
  std::snprintf(line, sizeof line, format, Spoken(value));
  return line;
}

std::string Format(const char* format, double a, double b) {
  char line[160];
  std::snprintf(line, sizeof line, format, Spoken(a), Spoken(b));
  return line;
}

// The instructor's next step of the flap schedule after extending to flap.
void FlapSchedule(state::TMainState& s, double flap) {
  if (flap == 5) {
    s.Log("教官> 速度が 180ノットを切ったら Flaps 10。");
  } else if (flap == 10) {
    s.Log("教官> 速度が 160ノットを切ったら、まず");
    s.Log("教官> Gear down 操作をし、続けて Flaps 20。");
  } else if (flap == 20) {
    s.Log("教官> 速度が 150ノットを切ったら Flaps 25。");
  } else if (flap == 25) {
    s.Log("教官> Flaps 30 は使わない。");
  }
}

// The captain accepts gear and flap commands once they are 1.5 s old.
void Acknowledge(state::TMainState& s) {
  const bool due = state::ClockDiff(s.ClockNow, s.CommandTime) > kAcknowledgeDelay;
  if (!due) return;
  if (s.GearCommand != s.GearSet) {
    s.Callout(s.GearCommand >= 0.5 ? TCall::GearDown : TCall::GearUp);
    s.GearSet = s.GearCommand;
  }
  if (s.FlapCommand != s.FlapSet) {
    // A setting between detents is said as it is, without a voice of its own.
    const std::optional<TCall> flaps =
        s.FlapCommand == 0 ? TCall::FlapsUp : FlapsCall(std::nearbyint(Spoken(s.FlapCommand)));
    if (flaps) {
      s.Callout(*flaps);
    } else {
      s.Log(Format("機長> Flaps %.0f.", s.FlapCommand));
    }
    if (s.Start.Kind == 0 && s.FlapCommand > s.FlapSet) FlapSchedule(s, s.FlapCommand);
    s.FlapSet = s.FlapCommand;
  }
}

// The selected destination, or null.
const world::TRunwayInfo* Destination(const state::TMainState& s) {
  if (s.World == nullptr || s.SelectedDestination < 0 ||
      s.SelectedDestination >= s.World->DestinationCount) {
    return nullptr;
  }
  return s.World->Destinations[static_cast<std::size_t>(s.SelectedDestination)];
}

double Bearing(double east, double north) { return Normalise360(Atan2Deg(east, north)); }

// The target (east, north from the aircraft) lies behind along the course,
// within 45° of straight behind.
bool LeftBehind(double east, double north, double course) {
  const double along = east * SinDeg(course) + north * CosDeg(course);
  const double across = east * CosDeg(course) - north * SinDeg(course);
  return along < 0 && std::fabs(across) <= -along;
}

// The captain hands over: the wind, the descent rates on a 3° path at 145 kt,
// and in practice mode the instructor's landing advice.
void HandOver(state::TMainState& s, bool curved, double windSpeed, double windBearing,
              double runway, double course) {
  s.Log(Format("機長> 風は方位%.0fから%.0fノット。", Normalise360(windBearing + 180),
               windSpeed * kKnots));
  if (curved) {
    // Feet per minute: tan 3° × 200 ft/min per m/s, on the air speed plus the tail wind.
    constexpr double kDescentFactor = kGlideSlope * units::kFeetPerMinutePerMetrePerSecond;
    const double start =
        kDescentFactor * (windSpeed * CosDeg(Normalise180(course - windBearing)) + kApproachSpeed);
    const double end =
        kDescentFactor * (windSpeed * CosDeg(Normalise180(runway - windBearing)) + kApproachSpeed);
    s.Log("機長> 旋回開始と同時に降下を始め、降下率は開始");
    s.Log(Format("機長> 時に毎分%.0ffeet、終了時%.0ffeet位がいい。", start, end));
  }
  if (s.Start.Kind != 0) return;
  s.Log("");
  s.Log("教官> 黄色線は予想進路を地面に描いたものだ。");
  if (curved) {
    s.Log("教官> 水色の垂直線を越えたら旋回と降下を開始し");
    s.Log("教官> 黄色線がピンク線に接するように操縦。");
  }
  s.Log("教官> 速度は 145ノットに維持。");
  s.Log("教官> GPWSが20をコールしたら、10コールよりも前");
  s.Log("教官> に機首を上げながら推力を絞る操作を開始。");
}

// One approach step towards the selected destination: mode changes, the
// lateral law, and the vertical law and autothrottle on the profile.
void ApproachStep(state::TMainState& s, double upwardAcceleration, double dt) {
  const world::TRunwayInfo* dest = Destination(s);
  if (dest == nullptr) return;
  TVehicleState& own = s.Own;
  const TFormParam& form = s.Forms[own.FormNo];
  // The forward airspeed of this step, before the laws move the attitude.
  const double forwardAirspeed = AirData(own, s.WindX, s.WindY).Forward;

  // Too slow to hold the aircraft up: the autopilot lets go rather than
  // raise the nose into a stall, and the captain says so.
  if (!(forwardAirspeed >= AirspeedFloor(own, form))) {
    s.Log("機長> Auto pilot disengaged.");
    s.Log("機長> 速度が足りない、失速するぞ。");
    s.Log("機長> 機首を下げて推力を上げてくれ。");
    s.GuidanceMode = kModeManualLanding;
    return;
  }

  // Wind, ground track and air track.
  const double windSpeed = std::hypot(s.BaseWindX, s.BaseWindY);
  const double windBearing = Bearing(s.BaseWindX, s.BaseWindY);
  const double track = Bearing(own.VX, own.VY);
  const double groundSpeed = std::hypot(own.VX, own.VY);
  const double airEast = own.VX - s.BaseWindX;
  const double airNorth = own.VY - s.BaseWindY;
  const double airSpeed = std::hypot(airEast, airNorth);
  const double airTrack = Bearing(airEast, airNorth);

  // From the aircraft to the aim point, f before the threshold.
  const double runway = Normalise360(world::RunwayCourse(*dest));
  const double f = dest->ApproachOffset;
  const double h = dest->ApproachCourse;
  double ae = dest->X1 - f * SinDeg(runway) - (own.X + s.OriginX);
  double an = dest->Y1 - f * CosDeg(runway) - (own.Y + s.OriginY);

  // Back to where the 2000 m turn onto the runway begins.
  const double turnE = kFinalTurnRadius * (CosDeg(runway) - CosDeg(h));
  const double turnN = kFinalTurnRadius * (SinDeg(runway) - SinDeg(h));
  if (Normalise180(runway - h) >= 0) {
    ae += turnE;
    an -= turnN;
  } else {
    ae -= turnE;
    an += turnN;
  }
  const double u = std::fabs(Normalise180(h - runway)) * units::kRadiansPerDegree * kFinalTurnRadius;
  const bool curved = u > kStraightInTurn;

  double distanceToGo = 0;
  bool passed = false;  // the target lies behind: no turn towards it this step
  if (s.GuidanceMode < kModeFinal) {
    // Further back along the approach course to the intercept fix.
    const double back = kInterceptDistance - f - u;
    ae -= back * SinDeg(h);
    an -= back * CosDeg(h);
    const double along = ae * SinDeg(h) + an * CosDeg(h);
    if (s.GuidanceMode == kModePositioning && along > 0) s.GuidanceMode = kModeToFix;

    double course = h;
    double addend = kInterceptDistance;
    if (s.GuidanceMode == kModePositioning) {
      // A point 6000 m abeam the fix on the aircraft's side.
      const double side = an * SinDeg(h) > ae * CosDeg(h) ? Normalise360(h - 90)
                                                           : Normalise360(h + 90);
      ae -= kAbeamDistance * SinDeg(side);
      an -= kAbeamDistance * CosDeg(side);
      course = side;
      addend = kInterceptDistance + kAbeamDistance;
    }

    const double d = std::hypot(ae, an);
    const double radius = airSpeed * airSpeed / kBankGravity;
    const double turn = Normalise180(course - airTrack) * units::kRadiansPerDegree;
    const double sinTurn = std::sin(std::fabs(turn));
    double lead = d;
    double drift = 0;
    if (sinTurn > 1e-10) {
      lead = (d / sinTurn) * SinDeg(std::fabs(Normalise180(course - track)));
      if (airSpeed > kMinAirspeed) {
        drift = (radius * turn / airSpeed) * (windSpeed / sinTurn) *
                SinDeg(Normalise180(course - windBearing));
      }
    }
    const bool reached =
        d <= kFixReached ||
        (d <= 2 * radius &&
         lead <= drift + 1.1 * airSpeed + radius * std::tan(std::fabs(turn) / 2));
    // A fix left behind on the approach course counts as passed: turning back
    // to it would fly away from the runway.
    passed = s.GuidanceMode == kModeToFix && LeftBehind(ae, an, h);
    if (reached || passed) s.GuidanceMode += 1;
    distanceToGo = d + addend;
  } else {
    const double d = std::hypot(ae, an);
    // So is the start of the final turn (on a straight-in, the aim point):
    // with an approach offset of 6000 m or more a straight-in would otherwise
    // never hand over and turn back at the aim point.
    passed = LeftBehind(ae, an, h);
    const bool disengage =
        (curved ? d <= kDisengageCurved : f + u + d <= kDisengageStraight) || passed;
    if (disengage) {
      s.Callout(TCall::AutopilotDisengaged);
      if (curved) s.Log("機長> マニュアルで旋回して着陸してくれ。");
      s.GuidanceMode = kModeManualLanding;
      HandOver(s, curved, windSpeed, windBearing, runway, h);
    }
    distanceToGo = d + f + u;
  }

  const TApproachProfile profile = ApproachProfile(distanceToGo, f, u, groundSpeed);

  // Lateral: 10° of bank per degree of course error, within 30° and 15°/s.
  const double height = form.RestZ - own.Z;
  const bool steer = !passed && (s.GuidanceMode == kModeFinal || height >= kTurnHeight);
  const double wanted = steer ? Bearing(ae, an) : track;
  double bankChange = Normalise180(wanted - track) * kBankPerDegree - own.Bank;
  bankChange = Clamp(bankChange, -kMaxBank - own.Bank, kMaxBank - own.Bank);
  bankChange = Clamp(bankChange, -kBankRate * dt, kBankRate * dt);

  // The user's hands on the controls keep the autopilot off that channel.
  if (s.RollInput == 0 && s.PitchInput == 0) {
    own.Bank = static_cast<float>(own.Bank + bankChange);
    VerticalLaw(s, upwardAcceleration, profile, dt);
  }
  if (s.ThrottleRate == 0) {
    Autothrottle(s, forwardAirspeed, profile.Speed, kThrottleShare * s.ThrottleMax, dt);
  }
}

}  // namespace

double AirspeedFloor(const TVehicleState& own, const TFormParam& form) {
  const double liftPerSpeedSquared = FlapFactor(own.Flap) * DensityRatio(-own.Z) * form.Lift *
                                     (1 - kFloorAngleOfAttack / form.ZeroLiftAngle);
  if (!(liftPerSpeedSquared > 0)) return HUGE_VAL;
  return std::sqrt(units::kGravity / liftPerSpeedSquared);
}

void StallWarning(state::TMainState& s) {
  const TVehicleState& own = s.Own;
  const TFormParam& form = s.Forms[own.FormNo];
  const double airspeed = AirData(own, s.WindX, s.WindY).Forward;
  const double floor = AirspeedFloor(own, form);
  // On the wheels, or back with a margin above the floor: no warning, and
  // the next fall below the floor warns anew.
  if (!(own.Z < form.RestZ) || (s.StallWarning != 0 && airspeed > kStallRecovery * floor)) {
    s.StallWarning = 0;
    return;
  }
  if (s.StallWarning == 0) {
    if (!(airspeed < floor)) return;
    s.StallWarning = 1;
  } else if (state::ClockDiff(s.ClockNow, s.StallCallTime) < kStallCallInterval) {
    return;
  }
  s.Callout(TCall::Stall);
  s.StallCallTime = s.ClockNow;
}

TApproachProfile ApproachProfile(double distanceToGo, double f, double u, double groundSpeed) {
  const double L = distanceToGo;
  const bool curved = u > kStraightInTurn;
  TApproachProfile p{};
  if (L > 23000) {
    p = {890, 0, 15, 0};
  } else if (L > 14600) {
    p = {590, 0, 9, 0};
  } else if (curved) {
    p = {kGlideSlope * (f + u + kAimPointDistance), 0, 5, 0};
  } else {
    const double path = kGlideSlope * (L + kAimPointDistance);  // 3° path to the runway's aim point
    p = path > 590 ? TApproachProfile{590, 0, 5, 0}
                   : TApproachProfile{path, -kGlideSlope * groundSpeed, 5, 0};
  }
  const double slowdown = curved ? f + u + 2000 : 7000;
  double knots = 145;
  if (L > 28000) {
    knots = 250;
  } else if (L > 14900) {
    knots = 210;
  } else if (L > 13300) {
    knots = 190;
  } else if (L > 11700) {
    knots = 170;
  } else if (L > slowdown) {
    knots = 155;
  }
  p.Speed = knots * kMetresPerSecondPerKnot;
  return p;
}

void VerticalLaw(state::TMainState& s, double upwardAcceleration, const TApproachProfile& profile,
                 double dt) {
  TVehicleState& own = s.Own;
  const TFormParam& form = s.Forms[own.FormNo];
  const double e = (form.RestZ - own.Z) - profile.Height;  // m above the wanted height
  const double v = -own.VZ - profile.ClimbRate;            // m/s faster up than wanted
  const double limit = e >= 0 ? -profile.ClimbLimit : profile.ClimbLimit;

  double demand = 0;  // m/s², upward acceleration wanted
  if (e * v >= 0) {
    demand = Clamp(-0.2 * e - 10 * v, -1.5, 1.5);
  } else {
    // The constant acceleration that closes the height error at zero rate;
    // while that is small, capture the limiting climb rate instead.
    demand = 2 * v * v / (3 * e);
    if (std::fabs(demand) < 0.1 * (std::fabs(e) - 0.1)) {
      const double q = -own.VZ - limit;
      demand = std::fabs(q) > 0.25 ? -Sign(q) * (1.5 * std::fabs(q) - 0.25) / std::fabs(q)
                                   : -8 * q * std::fabs(q);
    }
  }

  const TBodyVector air = AirData(own, s.WindX, s.WindY);
  const double cosBank = CosDeg(own.Bank);
  const double cosPitch = CosDeg(own.Pitch);
  const double liftPerDegree =
      FlapFactor(own.Flap) * DensityRatio(-own.Z) * form.Lift * air.Forward * air.Forward;
  if (std::fabs(cosBank) < kMinCosine || std::fabs(cosPitch) < kMinCosine ||
      std::fabs(liftPerDegree) < kMinLiftPerDegree) {
    return;
  }
  double pitchChange = -(demand - upwardAcceleration) * form.ZeroLiftAngle /
                       (cosBank * liftPerDegree * cosPitch);
  pitchChange = Clamp(pitchChange, kMinPitch - own.Pitch, kMaxPitch - own.Pitch);
  pitchChange = Clamp(pitchChange, -kPitchRateLimit * dt, kPitchRateLimit * dt);
  own.Heading = static_cast<float>(
      Normalise360(own.Heading + pitchChange * std::tan(own.Bank * units::kRadiansPerDegree)));
  own.Pitch = static_cast<float>(own.Pitch + pitchChange);
}

void Autothrottle(state::TMainState& s, double forwardAirspeed, double targetSpeed, double limit,
                  double dt) {
  const TVehicleState& own = s.Own;
  const TFormParam& form = s.Forms[own.FormNo];
  double k = FlapFactor(own.Flap) * DensityRatio(-own.Z) * form.Drag;
  if (IsOdd(own.FormNo)) k += form.Drag * kGearDrag;
  double change = units::kGravity * SinDeg(own.Pitch) + k * targetSpeed * targetSpeed +
                  kSpeedGain * dt * (targetSpeed - forwardAirspeed) - s.Throttle;
  change = Clamp(change, -dt * limit, dt * limit);
  s.Throttle = Clamp(s.Throttle + change, 0, limit);
}

void CrewCallouts(state::TMainState& s, double z0, double /*vz0*/) {
  const TVehicleState& own = s.Own;
  const TFormParam& form = s.Forms[own.FormNo];
  const double airspeed = AirData(own, s.WindX, s.WindY).Forward;
  // No airspeed remembered yet (just placed or reset): the speed before is
  // taken as the speed now, so a flight placed in the air hears no crossing.
  const double before = s.LastAirspeed != 0 ? s.LastAirspeed : airspeed;
  const double kb = before * kKnots;
  const double ka = airspeed * kKnots;
  const double hb = (form.RestZ - z0) * kFeet;
  const double ha = (form.RestZ - own.Z) * kFeet;

  Acknowledge(s);

  // The landing roll ends when the aircraft stands (or has just been placed:
  // no airspeed remembered); until then a gust or the nose coming down may
  // raise the airspeed through a take-off speed, which is no take-off.
  if (s.LastAirspeed == 0 || std::hypot(own.VX, own.VY) < kStandingSpeed) s.LandingRoll = 0;

  // Take-off speeds: the lowest speed passed in this step.
  if (s.GuidanceMode < kModeDestinationChosen && s.LandingRoll == 0) {
    for (const TCrossing& call : kTakeOffCalls) {
      if (kb < call.Knots && call.Knots <= ka) {
        s.Callout(call.Call);
        break;
      }
    }
  }

  // 160 kt and 200 ft reached together while climbing at 3 m/s or more.
  if (own.VZ <= -3 && (kb < 160 || hb < 200) && ka >= 160 && ha >= 200) {
    s.Callout(TCall::PositiveClimb);
  }

  if (s.GuidanceMode > kModeFinal) {
    if (hb > 300 && 300 >= ha) {
      s.Callout(TCall::ApproachingMinimums);
    } else if (hb > 220 && 220 >= ha) {
      s.Callout(TCall::Minimums);
    }
  }

  // Ground proximity: minimums, 100, then every 10 ft band below 50 ft.
  if (hb > 200 && 200 >= ha) {
    s.Callout(TCall::GpwsMinimums);
  } else if (hb > 100 && 100 >= ha) {
    s.Callout(TCall::Gpws100);
  } else if (ha > 0 && ha <= 50 && std::ceil(ha / 10) < std::ceil(hb / 10)) {
    // 0 < ha <= 50: the band's upper bound is 10 to 50 ft.
    s.Callout(kGpwsBands[static_cast<std::size_t>(std::ceil(ha / 10)) - 1]);
  }

  s.LastAirspeed = airspeed;
}

void CrewGuidance(state::TMainState& s, double upwardAcceleration, double dt) {
  if (s.GuidanceMode <= kModeDestinationChosen) {
    const double height = s.Forms[s.Own.FormNo].RestZ - s.Own.Z;
    // A mode of 4 left by a cancelled destination waits for the next one.
    const bool chosen = s.GuidanceMode == kModeDestinationChosen && Destination(s) != nullptr;
    const bool climbedOut = s.GuidanceMode < kModeDestinationChosen && height >= kEngageHeight;
    if (chosen || climbedOut) {
      s.Callout(TCall::CommandC);
      s.Log("機長> 自動操縦に切り替えたがフラップは手動だ。");
      s.GuidanceMode = kModePositioning;
    }
    return;
  }
  if (s.GuidanceMode > kModeFinal) return;
  ApproachStep(s, upwardAcceleration, dt);
}

}  // namespace velmora::pilot
