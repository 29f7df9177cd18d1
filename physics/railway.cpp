#include "physics/railway.h"

namespace velmora::physics {

bool CoupleToTrack(state::TMainState&, const vehicle::TVehicleState&, double, double, uint16_t,
                   TTrackCoupling&) {
  return false;  // no track list is loaded into the main state yet
}

void ReleaseTrackSegments(state::TMainState&, int32_t) {}

void ClearTrackOccupants(state::TMainState&) {}

}  // namespace velmora::physics
