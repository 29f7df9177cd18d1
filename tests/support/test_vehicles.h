// A main state with a small table of vehicle types whose values make each one
// behave: standing on its wheels does not trip a crash test, the airliner
// takes off near 150 kt, the car tops out near 40 m/s.
#pragma once

#include "state/main_state.h"

namespace velmora::testing {

inline constexpr int kAirlinerGearUp = 10;
inline constexpr int kAirlinerGearDown = 11;
inline constexpr int kFighterGearUp = 12;
inline constexpr int kFighterGearDown = 13;
inline constexpr int kLightAircraft = 14;
inline constexpr int kCar = 20;
inline constexpr int kTrain = 30;
inline constexpr int kFreeBody = 40;  // kind 4: no gravity, no aerodynamics

inline void SetForm(state::TMainState& s, int formNo, double restZ, double wheelbase, double scale,
                    double drag, double lift, double zeroLift) {
  vehicle::TFormParam& f = s.Forms[formNo];
  f.RestZ = restZ;
  f.Wheelbase = wheelbase;
  f.EyeUp = 2;
  f.EyeForward = wheelbase / 2;
  f.Scale = scale;
  f.Drag = drag;
  f.Lift = lift;
  f.ZeroLiftAngle = zeroLift;
}

inline void FillTestForms(state::TMainState& s) {
  SetForm(s, kAirlinerGearUp, -5, 20, 20, 15e-6, 450e-6, -3);
  SetForm(s, kAirlinerGearDown, -5, 20, 20, 15e-6, 450e-6, -3);
  SetForm(s, kFighterGearUp, -2, 6, 8, 4e-6, 200e-6, -2);
  SetForm(s, kFighterGearDown, -2, 6, 8, 4e-6, 200e-6, -2);
  SetForm(s, kLightAircraft, -1.5, 2, 4, 60e-6, 1500e-6, -4);
  SetForm(s, kCar, -0.6, 2.6, 3, 1300e-6, 0, -1);
  SetForm(s, kTrain, -1.2, 14, 10, 30e-6, 0, -1);
  SetForm(s, kFreeBody, 0, 1, 1, 0, 0, -1);
}

// The own vehicle of the given kind and type at the origin, heading north,
// standing on its wheels.
inline void PlaceOwn(state::TMainState& s, int32_t kind, int32_t formNo) {
  s.Own = vehicle::TVehicleState{};
  s.Own.Kind = kind;
  s.Own.FormNo = formNo;
  s.Own.Z = s.Forms[formNo].RestZ;
  s.Own.UserNo = 1;
}

}  // namespace velmora::testing
