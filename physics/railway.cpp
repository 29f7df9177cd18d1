#include "physics/railway.h"

namespace velmora::physics {

bool CoupleToTrack(app::TMainState&, const vehicle::TVehicleState&, double, double, uint16_t,
                   TTrackCoupling&) {
  return false;  // no track list is loaded into the main state yet
}

void ReleaseTrackSegments(app::TMainState&, int32_t) {}

void ClearTrackOccupants(app::TMainState&) {}

}  // namespace velmora::physics
