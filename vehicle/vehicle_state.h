// The vehicle state record, the vehicle type record and where the main state
// keeps them. World axes: x east, y north, z down (m); the ground is z = 0, 10 m
// above sea level. Heading clockwise from north, pitch nose up, bank right wing
// down (deg).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <type_traits>

namespace velmora::vehicle {

// Values of TVehicleState::Kind.
inline constexpr int32_t kKindNone = 0;        // empty slot or removed vehicle
inline constexpr int32_t kKindAircraft = 1;
inline constexpr int32_t kKindRoad = 2;
inline constexpr int32_t kKindTrain = 3;
inline constexpr int32_t kKindNoGravity = 4;

// The types the simulation treats apart from the rest of their kind, by type
// number (the gear-down shape is the odd one of each pair): the airliner with
// its crew, the fighter with its lock-on and missiles.
inline constexpr bool IsAirliner(int32_t formNo) { return formNo == 10 || formNo == 11; }
inline constexpr bool IsFighter(int32_t formNo) { return formNo == 12 || formNo == 13; }

// State of one vehicle, own or remote. A plain record: copying it is a byte
// copy (start state, camera, replay, network).
struct TVehicleState {
  int32_t Kind = 0;     // kKind* value
  int32_t FormNo = 0;   // type number 1..100, 0 = none; aircraft: odd = gear-down shape
  double X = 0;         // m, east, relative to the world offset
  double Y = 0;         // m, north, relative to the world offset
  double Z = 0;         // m, down, of the reference point
  float Heading = 0;    // deg, clockwise from north, [0, 360)
  float Pitch = 0;      // deg, nose up, [-180, 180)
  float Bank = 0;       // deg, right wing down, [-180, 180)
  double Flap = 0;      // deg, actual flap angle; 0 without flaps
  double VX = 0;        // m/s, east
  double VY = 0;        // m/s, north
  double VZ = 0;        // m/s, down (positive = descending)
  int32_t UserNo = 0;   // server's user number; 0 = empty slot / not logged in
  int32_t GroupNo = 0;  // group number received with a remote state
  int32_t Time = 0;     // ms, synchronised clock up to which the record is simulated
  uint32_t TrackSegments = 0;  // trains: front segment × 65536 + rear segment; 0 = off track
  int32_t PartnerNo = 0;       // user number of the coupled train, 0 = none
  int16_t Missed = 0;  // position messages since this vehicle last appeared in one
  int16_t Steps = 0;   // dead-reckoning steps since the last received state
};
static_assert(std::is_trivially_copyable_v<TVehicleState>);
static_assert(std::is_standard_layout_v<TVehicleState>);

// One vehicle type, read from vehicles.dat.
struct TFormParam {
  double RestZ = 0;          // m, Z of the reference point standing on the wheels (negative)
  double Wheelbase = 0;      // m, steered to fixed wheels; trains: bogie distance
  double EyeRight = 0;       // m, pilot's eye point in body axes, right
  double EyeUp = 0;          // m, eye point, up
  double EyeForward = 0;     // m, eye point, forward
  double Scale = 0;          // m, characteristic length of the vehicle
  double Drag = 0;           // 1/m, drag per unit mass
  double Lift = 0;           // 1/m, lift per unit mass at zero angle of attack
  double ZeroLiftAngle = 0;  // deg, angle of attack at which lift vanishes
  std::string Name;          // UTF-8, trimmed
};

inline constexpr int kFormCount = 100;  // type numbers 1..100

// The vehicle type table, indexed by type number 1..100. Entries that no line
// of vehicles.dat fills stay zero.
class TFormTable {
 public:
  static constexpr bool InRange(int formNo) { return formNo >= 1 && formNo <= kFormCount; }

  // The entry of a type number; a number outside 1..100 raises RangeFault.
  const TFormParam& operator[](int formNo) const;
  TFormParam& operator[](int formNo);

  // The entry of a type number, or null outside 1..100.
  const TFormParam* Find(int formNo) const {
    return InRange(formNo) ? &entries_[static_cast<std::size_t>(formNo - 1)] : nullptr;
  }

  // Whether a line of vehicles.dat filled the entry: a filled entry never has
  // a zero-lift angle of 0, an unfilled one is all zero.
  bool IsLoaded(int formNo) const {
    const TFormParam* form = Find(formNo);
    return form && form->ZeroLiftAngle != 0;
  }

 private:
  std::array<TFormParam, kFormCount> entries_{};
};

inline constexpr int kRemoteSlots = 101;  // 100 vehicles and the end mark

// Remote vehicles: the used slots are a prefix ending at the first slot whose
// UserNo is 0; slot 100 only ever serves as that end mark.
using TRemoteList = std::array<TVehicleState, kRemoteSlots>;

// Number of vehicles in the list.
int RemoteCount(const TRemoteList& list);

// The vehicle records of the main state.
struct TVehicleRecords {
  TFormTable Forms;       // vehicle types 1..100
  TVehicleState Own;      // the user's vehicle
  int32_t RoomNo = 0;     // room number from the login reply; not part of Own
  TVehicleState Start;    // Own as the server placed it; Kind 0 = practice mode
  TVehicleState Camera;   // viewpoint handed to the renderer each frame
  TRemoteList Remote{};   // other users' vehicles
  double OriginX = 0;     // m, world offset east: absolute x = X + OriginX
  double OriginY = 0;     // m, world offset north
};

}  // namespace velmora::vehicle
