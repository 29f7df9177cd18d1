#include "world/world.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace velmora::world {
namespace {

// Cell sizes of the grid tiers, m: an object goes into the first tier whose
// cell is at least its reach, so the camera's cell and its eight neighbours
// hold every object that can see it.
constexpr double kTierCellSizes[] = {1000, 2000, 4000, 8000, 16000, 32000};
constexpr uint32_t kRefreshInterval = 100;  // ms
constexpr uint32_t kClockMask = 0x7FFFFFFF;

// Equal bit patterns: -0 and +0 compare equal but need not build the same
// pieces, and a NaN never equals itself.
bool SameBits(double a, double b) {
  return std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b);
}
bool SameBits(float a, float b) {
  return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b);
}

int64_t CellIndex(double coordinate, double cellSize) {
  const double cell = std::floor(coordinate / cellSize);
  return static_cast<int64_t>(std::clamp(cell, -1e15, 1e15));
}

}  // namespace

uint64_t TWorldDriver::CellKey(int64_t ix, int64_t iy) {
  return (static_cast<uint64_t>(ix) * 0x9E3779B97F4A7C15ull) ^ static_cast<uint64_t>(iy);
}

void TWorldDriver::Prepare(const TWorldObjectList& objects) {
  const int count = objects.Count();
  reach_.assign(count, TReach{});
  tiers_.clear();
  everywhere_.clear();
  animated_.clear();
  liveCount_.assign(count, 0);
  livePosition_.assign(count, -1);
  live_.clear();
  live_.reserve(count);
  candidates_.clear();
  candidates_.reserve(count);
  marked_.assign(count, 0);
  settledObjects_ = nullptr;

  for (const double size : kTierCellSizes) {
    TTier tier;
    tier.CellSize = size;
    tiers_.push_back(std::move(tier));
  }
  // Objects of each tier, with their cell keys, grouped by cell.
  std::vector<std::vector<std::pair<uint64_t, int32_t>>> byTier(tiers_.size());
  for (int i = 0; i < count; ++i) {
    const TShapeInfo& object = objects[i];
    if (object.Animates()) animated_.push_back(i);
    const TReach reach = object.Reach();
    reach_[i] = reach;
    if (reach.Radius < 0) continue;  // nothing to refresh
    std::size_t t = 0;
    while (t < tiers_.size() && !(reach.Radius <= tiers_[t].CellSize)) ++t;
    if (t == tiers_.size() || !std::isfinite(reach.CentreX) || !std::isfinite(reach.CentreY)) {
      everywhere_.push_back(i);
      continue;
    }
    const double size = tiers_[t].CellSize;
    byTier[t].emplace_back(CellKey(CellIndex(reach.CentreX, size), CellIndex(reach.CentreY, size)),
                           i);
  }
  for (std::size_t t = 0; t < tiers_.size(); ++t) {
    auto& members = byTier[t];
    std::stable_sort(members.begin(), members.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    TTier& tier = tiers_[t];
    tier.Members.reserve(members.size());
    for (std::size_t m = 0; m < members.size(); ++m) {
      if (m == 0 || members[m].first != members[m - 1].first) {
        tier.Cells[members[m].first].Begin = static_cast<int32_t>(m);
      }
      tier.Cells[members[m].first].End = static_cast<int32_t>(m + 1);
      tier.Members.push_back(members[m].second);
    }
  }
  prepared_ = true;
}

bool TWorldDriver::Settled(const TWorldObjectList& objects,
                           const vehicle::TVehicleState& camera) const {
  const vehicle::TVehicleState& last = settledCamera_;
  return settledObjects_ == &objects && SameBits(camera.X, last.X) && SameBits(camera.Y, last.Y) &&
         SameBits(camera.Z, last.Z) && SameBits(camera.Heading, last.Heading) &&
         SameBits(camera.Pitch, last.Pitch) && SameBits(camera.Bank, last.Bank);
}

void TWorldDriver::CollectCandidates(double x, double y) {
  candidates_.clear();
  const auto take = [&](int32_t index) {
    if (marked_[index]) return;
    marked_[index] = 1;
    candidates_.push_back(index);
  };
  for (const int32_t index : live_) take(index);
  for (const int32_t index : everywhere_) take(index);
  for (const TTier& tier : tiers_) {
    if (tier.Members.empty()) continue;
    const int64_t cx = CellIndex(x, tier.CellSize);
    const int64_t cy = CellIndex(y, tier.CellSize);
    for (int64_t ix = cx - 1; ix <= cx + 1; ++ix) {
      for (int64_t iy = cy - 1; iy <= cy + 1; ++iy) {
        const auto cell = tier.Cells.find(CellKey(ix, iy));
        if (cell == tier.Cells.end()) continue;
        for (int32_t m = cell->second.Begin; m < cell->second.End; ++m) {
          const int32_t index = tier.Members[m];
          const TReach& reach = reach_[index];
          const double dx = x - reach.CentreX;
          const double dy = y - reach.CentreY;
          if (dx * dx + dy * dy <= reach.Radius * reach.Radius) take(index);
        }
      }
    }
  }
  // The renderer hands out ids by the order of its calls: keep list order.
  std::sort(candidates_.begin(), candidates_.end());
  for (const int32_t index : candidates_) marked_[index] = 0;
}

void TWorldDriver::NoteLive(int index, int64_t delta) {
  if (delta == 0) return;
  liveCount_[index] += static_cast<int32_t>(delta);
  const bool holds = liveCount_[index] > 0;
  int32_t& position = livePosition_[index];
  if (holds && position < 0) {
    position = static_cast<int32_t>(live_.size());
    live_.push_back(index);
  } else if (!holds && position >= 0) {
    const int32_t moved = live_.back();
    live_[position] = moved;
    livePosition_[moved] = position;
    live_.pop_back();
    position = -1;
  }
}

void TWorldDriver::Refresh(TWorld& world, vehicle::RendererApi& renderer,
                           const vehicle::TVehicleState& camera) {
  AddGroundPatches(world.Ground, renderer);
  if (!prepared_ || reach_.size() != static_cast<std::size_t>(world.Objects.Count())) {
    Prepare(world.Objects);
  }
  if (UseIndex && Settled(world.Objects, camera)) {
    lastPassObjects_ = 0;
    return;
  }
  const TViewFrame view = TViewFrame::FromCamera(camera);
  TSurfaceWriter out(renderer);
  const auto refreshOne = [&](int index) {
    const int64_t before = out.Added() - out.Removed();
    world.Objects[index].RefreshSurfaces(view, out);
    NoteLive(index, out.Added() - out.Removed() - before);
  };
  if (UseIndex) {
    CollectCandidates(camera.X, camera.Y);
    for (const int32_t index : candidates_) refreshOne(index);
    lastPassObjects_ = static_cast<int>(candidates_.size());
  } else {
    for (int i = 0; i < world.Objects.Count(); ++i) refreshOne(i);
    lastPassObjects_ = world.Objects.Count();
  }
  settledObjects_ = out.Failed() == 0 ? &world.Objects : nullptr;
  settledCamera_ = camera;
}

void TWorldDriver::Animate(TWorld& world, vehicle::RendererApi& renderer,
                           const vehicle::TVehicleState& camera, uint32_t clock) {
  if (!prepared_ || reach_.size() != static_cast<std::size_t>(world.Objects.Count())) {
    Prepare(world.Objects);
  }
  const TViewFrame view = TViewFrame::FromCamera(camera);
  TSurfaceWriter out(renderer);
  for (const int32_t index : animated_) world.Objects[index].AnimateSurfaces(view, out, clock);
}

void TWorldDriver::Frame(TWorld& world, vehicle::RendererApi& renderer,
                         const vehicle::TVehicleState& refreshCamera,
                         const vehicle::TVehicleState& camera, int32_t viewDirection,
                         uint32_t clock) {
  const bool due = !refreshedOnce_ || viewDirection != lastViewDirection_ ||
                   ((clock - lastRefreshTime_) & kClockMask) >= kRefreshInterval;
  if (due) {
    Refresh(world, renderer, refreshCamera);
    refreshedOnce_ = true;
    lastViewDirection_ = viewDirection;
    lastRefreshTime_ = clock;
  }
  Animate(world, renderer, camera, clock);
}

}  // namespace velmora::world
