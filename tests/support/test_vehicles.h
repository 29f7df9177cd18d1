// A main state with a small table of vehicle types whose values make each one
// behave: standing on its wheels does not trip a crash test, the airliner
// takes off near 150 kt, the car tops out near 40 m/s; and a builder that
// places vehicles of those types.
#pragma once

#include <cstddef>
#include <cstdint>

#include "state/main_state.h"
#include "vehicle/geometry.h"

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

// A vehicle record for a test, built up from its type, and put where the
// test wants it: the own vehicle, or a slot of the remote list. Fields not
// named stay as in an empty record: at the origin, heading north, standing.
//   Vehicle(kCar).User(5).At(0, 100).OnWheels(s).AsRemote(s, 0);
class TVehicleBuilder {
 public:
  TVehicleBuilder(int32_t kind, int32_t formNo) {
    v_.Kind = kind;
    v_.FormNo = formNo;
  }
  TVehicleBuilder& User(int32_t userNo, int32_t groupNo = 0) {
    v_.UserNo = userNo;
    v_.GroupNo = groupNo;
    return *this;
  }
  TVehicleBuilder& At(double x, double y) {
    v_.X = x;
    v_.Y = y;
    return *this;
  }
  TVehicleBuilder& At(double x, double y, double z) {
    v_.Z = z;
    return At(x, y);
  }
  // Its wheels `height` m above the ground (the type's rest height).
  TVehicleBuilder& OnWheels(const state::TMainState& s, double height = 0) {
    v_.Z = s.Forms[v_.FormNo].RestZ - height;
    return *this;
  }
  TVehicleBuilder& Heading(double degrees) {
    v_.Heading = static_cast<float>(degrees);
    return *this;
  }
  // Heading `degrees` at `speed` m/s along it, and vz m/s down.
  TVehicleBuilder& Moving(double speed, double degrees, double vz = 0) {
    Heading(degrees);
    return Velocity(speed * vehicle::SinDeg(degrees), speed * vehicle::CosDeg(degrees), vz);
  }
  TVehicleBuilder& Velocity(double vx, double vy, double vz = 0) {
    v_.VX = vx;
    v_.VY = vy;
    v_.VZ = vz;
    return *this;
  }
  TVehicleBuilder& Time(int32_t ms) {
    v_.Time = ms;
    return *this;
  }

  const vehicle::TVehicleState& Record() const { return v_; }
  vehicle::TVehicleState& AsOwn(state::TMainState& s) const { return s.Own = v_; }
  // Into a slot of the remote list, which then ends after it.
  vehicle::TVehicleState& AsRemote(state::TMainState& s, int slot) const {
    s.Remote[static_cast<std::size_t>(slot) + 1].UserNo = 0;
    return s.Remote[static_cast<std::size_t>(slot)] = v_;
  }
  // After the last vehicle of the remote list.
  vehicle::TVehicleState& AsNextRemote(state::TMainState& s) const {
    return AsRemote(s, vehicle::RemoteCount(s.Remote));
  }

 private:
  vehicle::TVehicleState v_;
};

// A vehicle of a test type, of the kind its number's tens name (1x aircraft,
// 2x road, 3x train, 40 free body), or of the kind given.
inline TVehicleBuilder Vehicle(int32_t formNo) {
  return TVehicleBuilder(formNo / 10, formNo);
}
inline TVehicleBuilder Vehicle(int32_t kind, int32_t formNo) {
  return TVehicleBuilder(kind, formNo);
}

// The own vehicle of the given kind and type at the origin, heading north,
// standing on its wheels.
inline void PlaceOwn(state::TMainState& s, int32_t kind, int32_t formNo) {
  Vehicle(kind, formNo).User(1).OnWheels(s).AsOwn(s);
}

}  // namespace velmora::testing
