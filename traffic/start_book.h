// Where the server's missions start, as placements showed it, and whether a
// mission's start is clear of other vehicles: a traffic client takes a
// mission only then, so that it is never placed inside another vehicle.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "state/main_state.h"
#include "vehicle/vehicle_state.h"

namespace velmora::traffic {

// ms a client's choice of a mission keeps its start for that client: the
// server's positions show the vehicle placed there only a round or two later.
inline constexpr uint32_t kStartClaimMs = 3000;

// The server says where a mission starts only by placing a vehicle there. One
// book serves all the clients of a program, so that what one was shown the
// others know before they take the mission, and two of them that waited for
// one start do not take it at the same moment.
class TStartBook {
 public:
  // A vehicle was placed by the mission of this title (as the mission grid
  // shows it) at start, the server's start record: absolute position, type.
  void Note(const std::string& mission, const vehicle::TVehicleState& start);

  // Whether client may take the mission of this title now (systemMs: the
  // system clock): no other client chose it within kStartClaimMs, and no
  // vehicle of the remote list lies within a vehicle's length of a start point
  // it is known to have. A mission never seen placed may be taken.
  bool Clear(const state::TMainState& state, const std::string& mission, const std::string& client,
             uint32_t systemMs) const;

  // client chose the mission of this title at systemMs.
  void Claim(const std::string& mission, const std::string& client, uint32_t systemMs);

 private:
  struct TStart {
    std::string Mission;
    double X = 0, Y = 0, Z = 0;  // m, absolute east, north, down
    int32_t FormNo = 0;
  };
  struct TClaim {
    std::string Mission;
    std::string Client;
    uint32_t At = 0;  // ms, system clock
  };
  std::vector<TStart> starts_;
  std::vector<TClaim> claims_;  // the latest choice of each client
};

// m: how close two vehicles of these types may stand before they overlap.
// Each type's characteristic length `Scale` is about half the vehicle's
// length, so for two of one type this is one vehicle's length.
double OverlapReach(const vehicle::TFormTable& forms, int32_t formA, int32_t formB);

}  // namespace velmora::traffic
