#include "cockpit/sound_scene.h"

#include <algorithm>
#include <cmath>

#include "vehicle/geometry.h"

namespace velmora::cockpit::sound {
namespace {

using state::TCall;

using vehicle::TVehicleState;

constexpr float kSilent = 0.001f;     // voices quieter than this (−60 dB) are left out
constexpr double kRolloff = 0.5;      // of the inverse-distance law
constexpr double kMaxStep = 0.1;      // s: a longer pause between ticks counts as this
constexpr double kWindSpeed = 100;    // m/s at which the wind rush is at full gain
constexpr double kRumbleSpeed = 50;   // m/s at which the rolling rumble is at full gain
constexpr double kMovingSpeed = 0.3;  // m/s: slower counts as standing still
constexpr double kFirmSinkRate = 3;   // m/s: a touchdown this hard thumps at full gain
// Levels of the own vehicle's sounds heard inside it, and of other vehicles'
// engines heard from outside at the reference distance: the crew's calls,
// at full gain, stay clear above them, and all of them together leave
// the mix headroom.
constexpr double kCabinLevel = 0.15;
constexpr double kOutsideLevel = 0.6;

struct TSoundFile {
  TSound Sound;
  const char* File;
};

constexpr TSoundFile kSounds[] = {
    {TSound::TurbineWhine, "sounds/turbine_whine.wav"},
    {TSound::JetRoar, "sounds/jet_roar.wav"},
    {TSound::Propeller, "sounds/propeller.wav"},
    {TSound::CarEngine, "sounds/car_engine.wav"},
    {TSound::TractionMotor, "sounds/traction_motor.wav"},
    {TSound::Wind, "sounds/wind.wav"},
    {TSound::Rumble, "sounds/rumble.wav"},
    {TSound::RailClick, "sounds/rail_click.wav"},
    {TSound::BrakeHiss, "sounds/brake_hiss.wav"},
    {TSound::GearMotor, "sounds/gear_motor.wav"},
    {TSound::FlapMotor, "sounds/flap_motor.wav"},
    {TSound::Thump, "sounds/thump.wav"},
    {TSound::Crash, "sounds/crash.wav"},
    {TSound::Shot, "sounds/shot.wav"},
    {TSound::Hit, "sounds/hit.wav"},
    {TSound::LockTone, "sounds/lock_tone.wav"},
    {TSound::Bell, "sounds/bell.wav"},
    {TSound::StallShaker, "sounds/stall_shaker.wav"},
    {CallVoice(TCall::Call80), "sounds/call_80.wav"},
    {CallVoice(TCall::CallV), "sounds/call_v.wav"},
    {CallVoice(TCall::CallOne), "sounds/call_one.wav"},
    {CallVoice(TCall::CallVR), "sounds/call_vr.wav"},
    {CallVoice(TCall::CallV2), "sounds/call_v2.wav"},
    {CallVoice(TCall::PositiveClimb), "sounds/call_positive_climb.wav"},
    {CallVoice(TCall::GearUp), "sounds/call_gear_up.wav"},
    {CallVoice(TCall::GearDown), "sounds/call_gear_down.wav"},
    {CallVoice(TCall::FlapsUp), "sounds/call_flaps_up.wav"},
    {CallVoice(TCall::Flaps1), "sounds/call_flaps_1.wav"},
    {CallVoice(TCall::Flaps5), "sounds/call_flaps_5.wav"},
    {CallVoice(TCall::Flaps10), "sounds/call_flaps_10.wav"},
    {CallVoice(TCall::Flaps20), "sounds/call_flaps_20.wav"},
    {CallVoice(TCall::Flaps25), "sounds/call_flaps_25.wav"},
    {CallVoice(TCall::Flaps30), "sounds/call_flaps_30.wav"},
    {CallVoice(TCall::ApproachingMinimums), "sounds/call_approaching_minimums.wav"},
    {CallVoice(TCall::Minimums), "sounds/call_minimums.wav"},
    {CallVoice(TCall::AutopilotDisengaged), "sounds/call_autopilot_disengaged.wav"},
    {CallVoice(TCall::CommandC), "sounds/call_command_c.wav"},
    {CallVoice(TCall::GpwsMinimums), "sounds/gpws_minimums.wav"},
    {CallVoice(TCall::Gpws100), "sounds/gpws_100.wav"},
    {CallVoice(TCall::Gpws50), "sounds/gpws_50.wav"},
    {CallVoice(TCall::Gpws40), "sounds/gpws_40.wav"},
    {CallVoice(TCall::Gpws30), "sounds/gpws_30.wav"},
    {CallVoice(TCall::Gpws20), "sounds/gpws_20.wav"},
    {CallVoice(TCall::Gpws10), "sounds/gpws_10.wav"},
    {CallVoice(TCall::Stall), "sounds/call_stall.wav"},
};
static_assert(std::size(kSounds) == kSoundCount, "one file for every sound");
static_assert(
    [] {
      for (std::size_t i = 0; i < std::size(kSounds); ++i) {
        if (static_cast<std::size_t>(kSounds[i].Sound) != i) return false;
      }
      return true;
    }(),
    "each file in the place of its sound");

// What drives a vehicle's engine sound.
enum class TEngine { None, Airliner, Fighter, Propeller, Car, Train };

TEngine EngineOf(const TVehicleState& v) {
  switch (v.Kind) {
    case vehicle::kKindAircraft:
      if (vehicle::IsFighter(v.FormNo)) return TEngine::Fighter;
      if (v.FormNo == 14 || v.FormNo == 15) return TEngine::Propeller;
      return TEngine::Airliner;
    case vehicle::kKindRoad:
      return TEngine::Car;
    case vehicle::kKindTrain:
      return TEngine::Train;
    default:
      return TEngine::None;
  }
}

// The throttle a vehicle seen from outside is likely to hold at its speed
// (m/s), 0..1: remote vehicles and the replay carry no throttle.
double LikelyDrive(TEngine engine, double speed) {
  const double cruise = engine == TEngine::Car ? 30 : engine == TEngine::Train ? 25 : 120;
  return std::clamp(0.3 + 0.5 * speed / cruise, 0.0, 1.0);
}

double Speed(const TVehicleState& v) {
  return std::sqrt(v.VX * v.VX + v.VY * v.VY + v.VZ * v.VZ);
}

// Adds voices in place: every voice takes its place and velocity from the
// emitter it is built for.
class TVoiceWriter {
 public:
  TVoiceWriter(TSoundScene& scene, const TVehicleState& listener)
      : scene_(scene), listener_(listener) {
    scene_.Count = 0;
  }

  // The emitter for the voices that follow, and their level: a vehicle, or
  // null for the listener's own head (calls, tones).
  void At(const TVehicleState* emitter, uint32_t source, double level = 1) {
    source_ = source;
    place_ = vehicle::TBodyVector{};
    velocity_ = vehicle::TBodyVector{};
    attenuation_ = level;
    if (emitter == nullptr) return;
    place_ = vehicle::WorldToBody(listener_, emitter->X - listener_.X, emitter->Y - listener_.Y,
                                  emitter->Z - listener_.Z);
    velocity_ = vehicle::WorldToBody(listener_, emitter->VX - listener_.VX,
                                     emitter->VY - listener_.VY, emitter->VZ - listener_.VZ);
    const double distance = std::sqrt(place_.Right * place_.Right + place_.Up * place_.Up +
                                      place_.Forward * place_.Forward);
    // Inverse distance, halved: a jet is still heard a few kilometres away.
    if (distance > kReferenceDistance) {
      attenuation_ *= kReferenceDistance /
                      (kReferenceDistance + kRolloff * (distance - kReferenceDistance));
    }
  }

  void Add(TSound sound, bool loop, double gain, double pitch = 1) {
    const auto g = static_cast<float>(std::clamp(gain * attenuation_, 0.0, 1.0));
    if (!(g >= kSilent) || scene_.Count >= kMaxVoices) return;
    TVoice& v = scene_.Voices[static_cast<std::size_t>(scene_.Count++)];
    v.Sound = sound;
    v.Loop = loop;
    v.Source = source_;
    v.Gain = g;
    v.Pitch = static_cast<float>(pitch);
    v.Right = static_cast<float>(place_.Right);
    v.Up = static_cast<float>(place_.Up);
    v.Forward = static_cast<float>(place_.Forward);
    v.VRight = static_cast<float>(velocity_.Right);
    v.VUp = static_cast<float>(velocity_.Up);
    v.VForward = static_cast<float>(velocity_.Forward);
  }

 private:
  TSoundScene& scene_;
  const TVehicleState& listener_;
  uint32_t source_ = kOwnSource;
  vehicle::TBodyVector place_, velocity_;
  double attenuation_ = 1;
};

// The engine of one vehicle at drive 0..1 and speed (m/s). Remote vehicles
// (full = false) sound their main engine only.
void AddEngine(TVoiceWriter& out, TEngine engine, double drive, double speed, bool full) {
  switch (engine) {
    case TEngine::Airliner:
      if (full) out.Add(TSound::TurbineWhine, true, 0.25 + 0.55 * drive, 0.55 + 0.75 * drive);
      out.Add(TSound::JetRoar, true, 0.1 + 0.8 * drive * std::sqrt(drive), 0.8 + 0.4 * drive);
      break;
    case TEngine::Fighter:
      if (full) out.Add(TSound::TurbineWhine, true, 0.2 + 0.5 * drive, 0.6 + 0.9 * drive);
      out.Add(TSound::JetRoar, true, 0.15 + 0.85 * drive, 0.7 + 0.6 * drive);
      break;
    case TEngine::Propeller:
      out.Add(TSound::Propeller, true, 0.3 + 0.6 * drive, 0.6 + 0.7 * drive);
      break;
    case TEngine::Car: {
      const double revs = 0.15 + std::min(speed, 60.0) / 50 + 0.3 * drive;
      out.Add(TSound::CarEngine, true, 0.25 + 0.45 * drive + 0.2 * std::min(speed / 40, 1.0),
              0.6 + 0.9 * revs);
      break;
    }
    case TEngine::Train:
      out.Add(TSound::TractionMotor, true, 0.5 * drive + 0.4 * std::min(speed / 15, 1.0),
              0.4 + std::min(speed, 60.0) / 25);
      break;
    case TEngine::None:
      break;
  }
}

// The own vehicle: engine, air, wheels, moving parts, touchdown.
void AddOwnVehicle(const state::TMainState& s, double dt, TSoundScene& scene, TVoiceWriter& out) {
  const TVehicleState& own = s.Own;
  const TEngine engine = EngineOf(own);
  const bool playback = s.ReplayMode != 0 && s.ReplayMode != 6;
  const double speed = Speed(own);
  const double groundSpeed = std::hypot(own.VX, own.VY);
  const double drive = playback || !(s.ThrottleMax > 0)
                           ? LikelyDrive(engine, speed)
                           : std::clamp(s.Throttle / s.ThrottleMax, 0.0, 1.0);

  // The engine answers the throttle after its spool time; a vehicle with
  // another kind of engine starts with its engine already at the throttle.
  if (scene.EngineOwner != static_cast<int32_t>(engine) || !std::isfinite(scene.Spool)) {
    scene.Spool = drive;
    scene.EngineOwner = static_cast<int32_t>(engine);
  }
  scene.Spool += (drive - scene.Spool) * (1 - std::exp(-dt / SpoolTime(own)));
  if (engine == TEngine::None) return;

  out.At(&own, kOwnSource, kCabinLevel);
  AddEngine(out, engine, scene.Spool, speed, true);

  // Air rushing past, more on an aircraft than inside a car or train.
  const double airspeed = std::fabs(vehicle::AirData(own, s.WindX, s.WindY).Forward);
  const double wind = std::min(airspeed / kWindSpeed, 1.0);
  out.Add(TSound::Wind, true, (own.Kind == vehicle::kKindAircraft ? 0.7 : 0.35) * wind * wind,
          0.7 + 0.8 * std::min(airspeed / 200, 1.0));

  const vehicle::TFormParam* form = s.Forms.Find(own.FormNo);
  const bool onGround = form != nullptr && own.Z >= form->RestZ;
  if (own.Kind != vehicle::kKindTrain && onGround && groundSpeed > kMovingSpeed) {
    out.Add(TSound::Rumble, true, 0.7 * std::min(groundSpeed / kRumbleSpeed, 1.0),
            0.7 + 0.6 * std::min(groundSpeed / 90, 1.0));
  }

  if (own.Kind == vehicle::kKindTrain) {
    // One click per rail joint passed.
    scene.JointDistance += groundSpeed * dt;
    if (scene.JointDistance >= kRailJointSpacing) {
      scene.JointDistance = std::fmod(scene.JointDistance, kRailJointSpacing);
      out.Add(TSound::RailClick, false, 0.3 + 0.5 * std::min(groundSpeed / 30, 1.0));
    }
    if ((s.Brake != 0 || s.EmergencyBrake != 0) && groundSpeed > kMovingSpeed) {
      out.Add(TSound::BrakeHiss, true, 0.5);
    }
    if (s.EmergencyBrake != 0 && !playback) out.Add(TSound::Bell, true, 1);
  }

  if (own.Kind == vehicle::kKindAircraft) {
    if (!playback && s.Gear != s.GearSet) out.Add(TSound::GearMotor, true, 0.4);
    if (!playback && own.Flap != s.FlapSet) out.Add(TSound::FlapMotor, true, 0.35);
    if (onGround && scene.Airborne) {
      const double sink = std::max(scene.SinkRate, own.VZ);
      out.Add(TSound::Thump, false, std::clamp(sink / kFirmSinkRate, 0.15, 1.0));
    }
  }
  scene.Airborne = !onGround;
  scene.SinkRate = own.VZ;
}

// The nearest remote vehicles within hearing range, each with its engine.
void AddRemoteVehicles(const state::TMainState& s, const TVehicleState& listener,
                       TVoiceWriter& out) {
  struct TNear {
    double Distance2;
    int Index;
  };
  std::array<TNear, vehicle::kRemoteSlots> near{};
  int n = 0;
  const int remotes = vehicle::RemoteCount(s.Remote);
  for (int i = 0; i < remotes; ++i) {
    const TVehicleState& r = s.Remote[static_cast<std::size_t>(i)];
    if (EngineOf(r) == TEngine::None) continue;
    const double dx = r.X - listener.X, dy = r.Y - listener.Y, dz = r.Z - listener.Z;
    const double d2 = dx * dx + dy * dy + dz * dz;
    if (!(d2 <= kHearingRange * kHearingRange)) continue;
    near[static_cast<std::size_t>(n++)] = {d2, i};
  }
  const int heard = std::min(n, kMaxRemoteVoices);
  std::partial_sort(near.begin(), near.begin() + heard, near.begin() + n,
                    [](const TNear& a, const TNear& b) { return a.Distance2 < b.Distance2; });
  for (int k = 0; k < heard; ++k) {
    const TVehicleState& r =
        s.Remote[static_cast<std::size_t>(near[static_cast<std::size_t>(k)].Index)];
    const TEngine engine = EngineOf(r);
    const double speed = Speed(r);
    out.At(&r, static_cast<uint32_t>(r.UserNo), kOutsideLevel);
    AddEngine(out, engine, LikelyDrive(engine, speed), speed, false);
  }
}

// Cues pushed since the last update, each turned into its sound once.
void AddCues(const state::TMainState& s, TSoundScene& scene, TVoiceWriter& out) {
  const state::TCueQueue& cues = s.Cues;
  // Cues overwritten before this update are lost rather than replayed wrong.
  if (cues.Pushed - scene.CuesSeen > static_cast<uint32_t>(state::kCueCapacity)) {
    scene.CuesSeen = cues.Pushed - state::kCueCapacity;
  }
  for (; scene.CuesSeen != cues.Pushed; ++scene.CuesSeen) {
    const state::TCue& cue = cues.At(scene.CuesSeen);
    switch (cue.Kind) {
      case state::TCueKind::Callout: {
        const TSound call = CallVoice(cue.Call);
        if (call != TSound::Count) {
          out.At(nullptr, kOwnSource);
          out.Add(call, false, 1);
        }
        break;
      }
      case state::TCueKind::Crash:
        // Heard where the listener is: the wreck has already been reset away.
        out.At(nullptr, kOwnSource);
        out.Add(TSound::Crash, false, 1);
        break;
      case state::TCueKind::Shot:
        out.At(&s.Own, kOwnSource);
        out.Add(TSound::Shot, false, 0.8);
        break;
      case state::TCueKind::Hit:
        out.At(nullptr, kOwnSource);
        out.Add(TSound::Hit, false, 0.9);
        break;
    }
  }
}

}  // namespace

std::string_view SoundFile(TSound sound) {
  const auto i = static_cast<std::size_t>(sound);
  return i < std::size(kSounds) ? kSounds[i].File : std::string_view();
}

double SpoolTime(const TVehicleState& vehicle) {
  switch (EngineOf(vehicle)) {
    case TEngine::Airliner:
      return 2.5;
    case TEngine::Fighter:
      return 1.5;
    case TEngine::Propeller:
      return 0.4;
    case TEngine::Car:
      return 0.25;
    case TEngine::Train:
      return 0.5;
    case TEngine::None:
      break;
  }
  return 1;
}

void UpdateScene(const state::TMainState& s, uint32_t now, TSoundScene& scene) {
  // The listener is the camera of the last frame; before the first frame, the own vehicle.
  const TVehicleState& listener = s.Camera.Kind != vehicle::kKindNone ? s.Camera : s.Own;
  const double dt =
      scene.Started ? std::clamp(state::ClockDiff(now, scene.LastTime) / 1000.0, 0.0, kMaxStep) : 0;
  if (!scene.Started) scene.CuesSeen = s.Cues.Pushed;  // what happened before is not heard
  scene.Started = true;
  scene.LastTime = now;

  TVoiceWriter out(scene, listener);
  AddOwnVehicle(s, dt, scene, out);
  if (s.LockedOn != 0) {
    out.At(nullptr, kOwnSource);
    out.Add(TSound::LockTone, true, 0.5);
  }
  // The shaker rattles for as long as the stall warning lasts; a replay
  // keeps no warning.
  if (s.StallWarning != 0 && (s.ReplayMode == 0 || s.ReplayMode == 6)) {
    out.At(nullptr, kOwnSource);
    out.Add(TSound::StallShaker, true, 0.6);
  }
  AddRemoteVehicles(s, listener, out);
  AddCues(s, scene, out);
}

double DopplerRatio(const TVoice& v) {
  const double distance = std::sqrt(v.Right * v.Right + v.Up * v.Up + v.Forward * v.Forward);
  if (!(distance > 0)) return 1;
  // The source's speed away from the listener, kept below the speed of sound.
  const double receding = (v.Right * v.VRight + v.Up * v.VUp + v.Forward * v.VForward) / distance;
  return kSpeedOfSound /
         (kSpeedOfSound + std::clamp(receding, -0.5 * kSpeedOfSound, 0.5 * kSpeedOfSound));
}

TSoundGroup GroupOf(const TVoice& voice) {
  if (voice.Source != kOwnSource) return TSoundGroup::Traffic;
  if (IsSpoken(voice.Sound)) return TSoundGroup::Voices;
  switch (voice.Sound) {
    case TSound::Bell:
    case TSound::StallShaker:
    case TSound::LockTone: return TSoundGroup::Warnings;
    default: return TSoundGroup::Engines;
  }
}

}  // namespace velmora::cockpit::sound
