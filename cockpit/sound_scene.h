// The sound scene: what should sound now, computed every tick from the main
// state as plain data. Each voice names a sound, says whether it loops or
// plays once, and gives its gain, pitch, place and velocity relative to the
// listener (the camera). A backend in the shell mixes the list; the scene
// itself never plays anything and never allocates.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "state/main_state.h"

namespace velmora::cockpit::sound {

// Every sound the scene can ask for; each is one file in the installation.
enum class TSound : uint8_t {
  TurbineWhine,   // jet engine's compressor whine
  JetRoar,        // jet exhaust roar
  Propeller,      // light aircraft's piston engine and propeller
  CarEngine,      // car engine at its idle revs
  TractionMotor,  // train's traction motor whine at its base pitch
  Wind,           // air rushing past
  Rumble,         // wheels rolling on a runway or road
  RailClick,      // a bogie passing a rail joint, once
  BrakeHiss,      // a train's air brake
  GearMotor,      // landing gear moving
  FlapMotor,      // flaps moving
  Thump,          // touchdown, once
  Crash,          // once
  Shot,           // missile launch, once
  Hit,            // missile hit, once
  LockTone,       // the fighter's lock-on tone
  Bell,           // the train protection's bell
  StallShaker,    // the stall warning's stick shaker rattle
  // The crew's spoken calls, once each: one voice for every state::TCall,
  // in its order, so that the call's identity picks the voice (CallVoice).
  FirstCall,
  Count = FirstCall + state::kCallCount
};
inline constexpr int kSoundCount = static_cast<int>(TSound::Count);

// The file of a sound, relative to the data folder ("sounds/turbine_whine.wav").
std::string_view SoundFile(TSound sound);

// Whether a sound is one of the crew's spoken calls.
inline bool IsSpoken(TSound sound) {
  return sound >= TSound::FirstCall && sound < TSound::Count;
}

// The voice of a crew call, chosen by the call's identity and never by its
// text; TSound::Count for TCall::Count.
constexpr TSound CallVoice(state::TCall call) {
  return static_cast<TSound>(static_cast<int>(TSound::FirstCall) + static_cast<int>(call));
}

inline constexpr uint32_t kOwnSource = 0;  // TVoice::Source of the own vehicle and the cockpit

struct TVoice {
  TSound Sound = TSound::Count;
  bool Loop = false;    // true: sounds while it stays in the list; false: start it once now
  uint32_t Source = 0;  // kOwnSource, or the remote vehicle's user number
  float Gain = 0;       // 0..1, distance attenuation included
  float Pitch = 1;      // playback rate, 1 = as recorded; Doppler not included
  float Right = 0, Up = 0, Forward = 0;     // m, from the listener in its own axes
  float VRight = 0, VUp = 0, VForward = 0;  // m/s, relative to the listener, same axes
};

inline constexpr int kMaxVoices = 64;
inline constexpr int kMaxRemoteVoices = 16;       // remote vehicles heard at once, nearest first
inline constexpr double kHearingRange = 3000;     // m: remote vehicles further away are silent
inline constexpr double kReferenceDistance = 50;  // m: closer sources sound at full gain
inline constexpr double kRailJointSpacing = 25;   // m between rail joints
inline constexpr double kSpeedOfSound = 343.3;    // m/s

struct TSoundScene {
  std::array<TVoice, kMaxVoices> Voices{};
  int Count = 0;  // voices in use this tick

  // What the scene remembers between ticks.
  bool Started = false;      // false until the first update
  uint32_t LastTime = 0;     // ms, synchronised clock of the last update
  uint32_t CuesSeen = 0;     // cues of the state already turned into voices
  double Spool = 0;          // 0..1, the own engine's lagging response to the throttle
  int32_t EngineOwner = -1;  // the kind of engine the spool belongs to
  double JointDistance = 0;  // m travelled since the last rail joint
  bool Airborne = false;     // the own aircraft was off the ground
  double SinkRate = 0;       // m/s, own descent rate at the last update
};

// Seconds the own engine takes to cover 63 % of a throttle change, by type.
double SpoolTime(const vehicle::TVehicleState& vehicle);

// Recomputes scene.Voices for the state at synchronised clock now (ms).
void UpdateScene(const state::TMainState& state, uint32_t now, TSoundScene& scene);

// The groups whose levels the user sets apart.
enum class TSoundGroup : uint8_t {
  Engines,   // the own vehicle's engines and its other sounds
  Voices,    // the crew's spoken calls and the ground-proximity warning's words
  Warnings,  // the protection bell, the stick shaker and the lock-on tone
  Traffic,   // every sound of another vehicle
  Count
};
inline constexpr int kSoundGroupCount = static_cast<int>(TSoundGroup::Count);

// The group a voice is heard in.
TSoundGroup GroupOf(const TVoice& voice);

// The frequency ratio a listener at rest hears from a voice moving as it does.
double DopplerRatio(const TVoice& voice);

}  // namespace velmora::cockpit::sound
