// The fixed world as the main state keeps it: ground patches, the world
// objects, the destinations with their panel rows, the track list and the race
// start line; and the pass that keeps the objects' renderer surfaces in line
// with the camera.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "vehicle/renderer_api.h"
#include "vehicle/vehicle_state.h"
#include "world/ground_dat.h"
#include "world/shapes.h"
#include "world/track.h"

namespace velmora::world {

inline constexpr int kMaxWorldObjects = 200000;
inline constexpr int kMaxDestinations = 20;
inline constexpr int kDestinationPanelRows = 101;

// The world objects in file order. Space for every object is set aside when
// the list is made, so appending never moves the list.
class TWorldObjectList {
 public:
  TWorldObjectList() { objects_.reserve(kMaxWorldObjects); }

  // Appends an object; false when the list is full.
  bool Append(std::unique_ptr<TShapeInfo> object);
  void Clear() { objects_.clear(); }
  int Count() const { return static_cast<int>(objects_.size()); }
  TShapeInfo& operator[](int index) { return *objects_[index]; }
  const TShapeInfo& operator[](int index) const { return *objects_[index]; }

 private:
  std::vector<std::unique_ptr<TShapeInfo>> objects_;
};

// Rows of the destination panel: row 0 is the fixed caption, row n the n-th
// runway, then "don't choose" and "keep as it is".
struct TDestinationPanel {
  std::array<std::string, kDestinationPanelRows> Rows;  // UTF-8
  int RowCount = 0;
};

struct TWorld {
  TGroundTable Ground;
  TWorldObjectList Objects;
  std::array<TRunwayInfo*, kMaxDestinations> Destinations{};  // destination n is [n - 1]
  int DestinationCount = 0;
  TDestinationPanel DestinationPanel;
  TTrackList Track;
  const TRaceCrsInfo* RaceStartLine = nullptr;  // the last RaceCrs with a start line
};

// Drives the world objects frame by frame: a refresh pass at most every
// 100 ms or when the view direction changes (ground patches first, then every
// object in list order), and the light animation every frame.
//
// The refresh pass skips objects that can have nothing to do: those holding
// no surface whose reach does not contain the camera. It finds the others in
// a grid, so a steady camera costs little however large the world; the calls
// to the renderer are exactly those of a pass over every object, in the same
// order. It learns which objects hold surfaces by watching every refresh, so
// one driver drives a world from its first refresh on.
//
// A pass from the very camera of the pass before (position and attitude equal
// bit for bit) is skipped as long as every surface that pass asked for came
// about: each object's surfaces already match that view, so a pass would ask
// the renderer for nothing.
class TWorldDriver {
 public:
  // Indexes the objects; call once after loading and before the first frame.
  void Prepare(const TWorldObjectList& objects);

  // One frame. refreshCamera: the camera with the world shift added;
  // camera: the camera record itself; viewDirection: the view direction
  // setting; clock: the synchronised clock in ms.
  void Frame(TWorld& world, vehicle::RendererApi& renderer,
             const vehicle::TVehicleState& refreshCamera, const vehicle::TVehicleState& camera,
             int32_t viewDirection, uint32_t clock);

  // One refresh pass, ground patches first.
  void Refresh(TWorld& world, vehicle::RendererApi& renderer,
               const vehicle::TVehicleState& camera);
  // Animation of every object that animates.
  void Animate(TWorld& world, vehicle::RendererApi& renderer,
               const vehicle::TVehicleState& camera, uint32_t clock);

  // Without the index every object is refreshed (for comparison).
  bool UseIndex = true;
  // Objects refreshed in the last pass; 0 for a skipped one.
  int LastPassObjects() const { return lastPassObjects_; }

 private:
  struct TCellRange {
    int32_t Begin = 0;
    int32_t End = 0;
  };
  struct TTier {
    double CellSize = 0;                                  // m, at least every member's reach
    std::unordered_map<uint64_t, TCellRange> Cells;       // cell key -> range in Members
    std::vector<int32_t> Members;                         // object indices, grouped by cell
  };
  static uint64_t CellKey(int64_t ix, int64_t iy);

  // Whether a pass from camera would change nothing after the last one.
  bool Settled(const TWorldObjectList& objects, const vehicle::TVehicleState& camera) const;
  void CollectCandidates(double x, double y);
  void NoteLive(int index, int64_t delta);

  bool prepared_ = false;
  bool refreshedOnce_ = false;
  int32_t lastViewDirection_ = 0;
  uint32_t lastRefreshTime_ = 0;
  int lastPassObjects_ = 0;
  // The objects of the last pass when the renderer granted its every add
  // (null otherwise, and after Prepare), and its camera.
  const TWorldObjectList* settledObjects_ = nullptr;
  vehicle::TVehicleState settledCamera_;

  std::vector<TReach> reach_;            // per object
  std::vector<TTier> tiers_;
  std::vector<int32_t> everywhere_;      // objects whose reach has no bound
  std::vector<int32_t> animated_;        // objects whose animation does something
  std::vector<int32_t> liveCount_;       // surfaces each object holds from refreshing
  std::vector<int32_t> livePosition_;    // place in live_, -1 when not there
  std::vector<int32_t> live_;            // objects holding surfaces
  std::vector<int32_t> candidates_;      // scratch of one pass
  std::vector<uint8_t> marked_;          // scratch: object already a candidate
};

}  // namespace velmora::world
