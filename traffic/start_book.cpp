#include "traffic/start_book.h"

#include <cmath>

namespace velmora::traffic {
namespace {

// m: two placements of one mission this close are the same start point.
constexpr double kSameStart = 1;

double HalfLength(const vehicle::TFormTable& forms, int32_t formNo) {
  return forms.IsLoaded(formNo) ? forms[formNo].Scale : 0;
}

}  // namespace

double OverlapReach(const vehicle::TFormTable& forms, int32_t formA, int32_t formB) {
  const double a = HalfLength(forms, formA);
  const double b = HalfLength(forms, formB);
  // A type the table lacks is taken as large as the other.
  return (a > 0 ? a : b) + (b > 0 ? b : a);
}

void TStartBook::Note(const std::string& mission, const vehicle::TVehicleState& start) {
  for (TStart& known : starts_) {
    if (known.Mission == mission &&
        std::hypot(known.X - start.X, known.Y - start.Y, known.Z - start.Z) < kSameStart) {
      known.FormNo = start.FormNo;
      return;
    }
  }
  starts_.push_back({mission, start.X, start.Y, start.Z, start.FormNo});
}

bool TStartBook::Clear(const state::TMainState& s, const std::string& mission,
                       const std::string& client, uint32_t systemMs) const {
  for (const TClaim& claim : claims_) {
    if (claim.Mission == mission && claim.Client != client && systemMs - claim.At < kStartClaimMs) {
      return false;
    }
  }
  const int count = vehicle::RemoteCount(s.Remote);
  for (const TStart& start : starts_) {
    if (start.Mission != mission) continue;
    for (int k = 0; k < count; ++k) {
      const vehicle::TVehicleState& other = s.Remote[static_cast<std::size_t>(k)];
      const double distance = std::hypot(other.X + s.OriginX - start.X,
                                         other.Y + s.OriginY - start.Y, other.Z - start.Z);
      if (distance < OverlapReach(s.Forms, start.FormNo, other.FormNo)) return false;
    }
  }
  return true;
}

void TStartBook::Claim(const std::string& mission, const std::string& client, uint32_t systemMs) {
  for (TClaim& claim : claims_) {
    if (claim.Client == client) {
      claim = {mission, client, systemMs};
      return;
    }
  }
  claims_.push_back({mission, client, systemMs});
}

}  // namespace velmora::traffic
