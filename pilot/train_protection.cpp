#include "pilot/train_protection.h"

#include <algorithm>
#include <cmath>

#include "vehicle/geometry.h"

namespace velmora::pilot {
namespace {

constexpr double kNoCaution = 1e38;  // m/s: caution speed without a limit

}  // namespace

double CautionSpeed(double limit) {
  if (!(limit >= kLowestSpeedLimit)) return kNoCaution;
  return std::sqrt(2.5 * std::max(0.0, (limit * std::fabs(limit) + 9) / 1.94));
}

bool Overspeed(double limit, double v) { return v > CautionSpeed(limit); }

void TrainProtection(state::TMainState& s) {
  const vehicle::TVehicleState& own = s.Own;
  if (own.Kind != vehicle::kKindTrain) return;
  // A train rolling backwards is braked; a standing one releases the
  // emergency brake and holds on the brake while idle.
  const double v = vehicle::GroundSpeed(own);
  const bool moving = std::fabs(own.VX) > 0.001 || std::fabs(own.VY) > 0.001;
  if (moving && v < 0) s.Brake = 1;
  if (!moving) {
    s.EmergencyBrake = 0;
    if (s.Throttle == 0) s.Brake = 1;
  }
  if (Overspeed(s.RailSpeedLimit, v)) s.EmergencyBrake = 1;
  if (own.UserNo == 0) s.EmergencyBrake = 0;  // not logged in: no protection
}

}  // namespace velmora::pilot
