// Where the server's missions start, as placements showed it, and whether a
// mission's start is clear of other vehicles: a traffic client takes a
// mission only then, so that it is never placed inside another vehicle.
#pragma once

#include <string>
#include <vector>

#include "state/main_state.h"
#include "vehicle/vehicle_state.h"

namespace velmora::traffic {

// The server says where a mission starts only by placing a vehicle there. One
// book serves all the clients of a program, so that what one was shown the
// others know before they take the mission.
class TStartBook {
 public:
  // A vehicle was placed by the mission of this title (as the mission grid
  // shows it) at start, the server's start record: absolute position, type.
  void Note(const std::string& mission, const vehicle::TVehicleState& start);

  // Whether the mission of this title may be taken now: no vehicle of the
  // remote list lies within a vehicle's length of a start point it is known
  // to have. A mission never seen placed may be taken.
  bool Clear(const state::TMainState& state, const std::string& mission) const;

  // Start points known, all missions together.
  std::size_t Size() const { return starts_.size(); }

 private:
  struct TStart {
    std::string Mission;
    double X = 0, Y = 0, Z = 0;  // m, absolute east, north, down
    int32_t FormNo = 0;
  };
  std::vector<TStart> starts_;
};

// m: how close two vehicles of these types may stand before they overlap.
// Each type's characteristic length `Scale` is about half the vehicle's
// length, so for two of one type this is one vehicle's length.
double OverlapReach(const vehicle::TFormTable& forms, int32_t formA, int32_t formB);

}  // namespace velmora::traffic
