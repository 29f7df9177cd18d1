// The fixed world objects: one instance per line of objects.dat, rooted at
// TShapeInfo. Each object keeps only its numbers and the ids of its renderer
// surfaces (0 = none) and brings those surfaces in line with the camera:
// RefreshSurfaces in the refresh pass, AnimateSurfaces every frame.
// World axes x east, y north, z down, metres; angles in degrees clockwise from
// north; clocks in milliseconds of the synchronised 32-bit clock.
#pragma once

#include <cstdint>
#include <limits>
#include <string>

#include "world/surface_building.h"

namespace velmora::world {

// Where an object can have visible pieces: nowhere beyond Radius metres
// (horizontally) from the centre. An object whose pieces are all removed and
// whose disc does not hold the camera has nothing to do in a refresh. A
// negative radius: the object never has anything to refresh.
struct TReach {
  double CentreX = 0;  // m, east
  double CentreY = 0;  // m, north
  double Radius = std::numeric_limits<double>::infinity();  // m
};

class TShapeInfo {
 public:
  virtual ~TShapeInfo() = default;

  // Brings the object's surfaces in line with what the camera can see.
  virtual void RefreshSurfaces(const TViewFrame& view, TSurfaceWriter& out);
  // Per-frame animation of lights; clock in ms.
  virtual void AnimateSurfaces(const TViewFrame& view, TSurfaceWriter& out, uint32_t clock);

  // Whether AnimateSurfaces does anything for this class.
  virtual bool Animates() const { return false; }
  virtual TReach Reach() const { return {}; }
};

class TLineInfo : public TShapeInfo {
 public:
  TLineInfo(float x1, float y1, float x2, float y2, float z, float width, int32_t colour,
            int32_t textureId);
  void RefreshSurfaces(const TViewFrame& view, TSurfaceWriter& out) override;
  TReach Reach() const override;

  float X1, Y1;        // m, start point, east and north
  float X2, Y2;        // m, end point
  float Z;             // m, down
  float Width;         // m
  int32_t Colour;      // red in the low byte
  int32_t TextureId;   // 0 = none
  int32_t SurfaceId = 0;

 protected:
  double Length() const;
};

class TWallInfo : public TLineInfo {
 public:
  // z: top depth; width: thickness.
  using TLineInfo::TLineInfo;
  void RefreshSurfaces(const TViewFrame& view, TSurfaceWriter& out) override;
  TReach Reach() const override;

  int32_t SideIds[4] = {};  // left side, right side, end at start, end at end
};

inline constexpr int kArcPieceIds = 361;

class TArcInfo : public TShapeInfo {
 public:
  TArcInfo(float centreX, float centreY, float z, float radius, float width, float fromAngle,
           float toAngle, int32_t colour, int32_t textureId);
  void RefreshSurfaces(const TViewFrame& view, TSurfaceWriter& out) override;
  TReach Reach() const override;

  float CentreX, CentreY;  // m
  float Z;                 // m, down
  float Radius;            // m
  float Width;             // m
  float FromAngle;         // deg, clockwise from north
  float ToAngle;           // deg; at or below FromAngle the arc wraps through north
  int32_t Colour;
  int32_t TextureId;
  int32_t PieceIds[kArcPieceIds] = {};
};

class TBlinkLightInfo : public TShapeInfo {
 public:
  TBlinkLightInfo(float x, float y, float z, int32_t colour, uint32_t clock);
  void AnimateSurfaces(const TViewFrame& view, TSurfaceWriter& out, uint32_t clock) override;
  bool Animates() const override { return true; }
  TReach Reach() const override;

  float X, Y, Z;              // m, the light
  int32_t Colour;
  int32_t PeriodStart;        // ms clock: the light is on for 250 ms of every 500 ms
  int32_t LightId = 0;
  int32_t HousingIds[5] = {};
};

class TSturdyPaveInfo : public TLineInfo {
 public:
  using TLineInfo::TLineInfo;
};

inline constexpr int kMaxRunwayStripes = 100;

class TRunwayInfo : public TSturdyPaveInfo {
 public:
  TRunwayInfo(float x1, float y1, float x2, float y2, float z, float width, float approachOffset,
              float approachCourse, int32_t textureId, std::string name, uint32_t clock);
  void RefreshSurfaces(const TViewFrame& view, TSurfaceWriter& out) override;
  void AnimateSurfaces(const TViewFrame& view, TSurfaceWriter& out, uint32_t clock) override;
  bool Animates() const override { return true; }
  TReach Reach() const override;

  // Number of centre-line stripes a runway of this length carries.
  static int StripeCount(double length);
  // The point the approach guidance aims at: ApproachOffset metres from the
  // threshold (x1, y1), back along the approach course.
  TPoint3 ApproachPoint() const;

  float ApproachOffset;   // m before the threshold along the approach course
  float ApproachCourse;   // deg, course of the final approach
  std::string Name;       // UTF-8
  int32_t StripeIds[kMaxRunwayStripes] = {};
  int32_t ThresholdIds[4] = {};
  int32_t AimingIds[4] = {};
  int32_t TouchdownIds[8] = {};
  int32_t StrobePeriodStart;    // ms clock
  int32_t StrobeId = 0;
  float SlopeLightSizes[4] = {};     // k of each approach-slope light when last built
  int32_t SlopeLightColours[4] = {};
  int32_t SlopeLightIds[4] = {};
};

inline constexpr int kFilletPieceIds = 182;

class TTaxiwayInfo : public TSturdyPaveInfo {
 public:
  TTaxiwayInfo(float x1, float y1, float x2, float y2, float z, float width, float startSetback,
               float startLeftRadius, float startRightRadius, float endSetback,
               float endLeftRadius, float endRightRadius, int32_t textureId);
  void RefreshSurfaces(const TViewFrame& view, TSurfaceWriter& out) override;
  TReach Reach() const override;

  float StartSetback;      // m, centre line begins this far from the start point
  float StartLeftRadius;   // m, 0 = no fillet
  float StartRightRadius;  // m
  float EndSetback;        // m
  float EndLeftRadius;     // m
  float EndRightRadius;    // m
  int32_t CentreLineId = 0;
  int32_t FilletIds[4][kFilletPieceIds] = {};  // start-left, start-right, end-left, end-right
};

class TRaceCrsInfo : public TLineInfo {
 public:
  TRaceCrsInfo(float x1, float y1, float x2, float y2, float z, float width,
               double startLineDistance, int32_t textureId);
  void RefreshSurfaces(const TViewFrame& view, TSurfaceWriter& out) override;
  TReach Reach() const override;

  double StartLineDistance;  // m from the start point; negative = no start line
  int32_t StartLineId = 0;
};

class TRaceCrsArcInfo : public TArcInfo {
 public:
  TRaceCrsArcInfo(float centreX, float centreY, float z, float radius, float width,
                  float fromAngle, float toAngle, int32_t textureId)
      : TArcInfo(centreX, centreY, z, radius, width, fromAngle, toAngle, 0, textureId) {}
};

inline constexpr int kMaxRoadDashes = 1000;

class TRoadInfo : public TLineInfo {
 public:
  TRoadInfo(float x1, float y1, float x2, float y2, float z, float width, int32_t textureId);
  void RefreshSurfaces(const TViewFrame& view, TSurfaceWriter& out) override;
  TReach Reach() const override;

  // Index of the last dash a road of this length can have.
  static int LastDashIndex(double length);

  int32_t DashIds[kMaxRoadDashes] = {};
  int32_t FirstDash = 0;  // range of dashes built last time; empty when last < first
  int32_t LastDash = -1;
};

// Where the pieces of a railway segment lie: straight from the start to T1,
// a curve round K from T1 to T2, straight from T2 to the end. A segment with
// equal headings is one straight piece (T1 = T2 = end).
struct TRailLayout {
  bool Curved = false;
  double T1X = 0, T1Y = 0;   // m, where the curve begins
  double T2X = 0, T2Y = 0;   // m, where it ends
  double KX = 0, KY = 0;     // m, curve centre
  double ArcFrom = 0;        // deg, bearing from K of the curve's increasing-bearing end
  double ArcTo = 0;          // deg, the other end
  double Turn = 0;           // deg, end heading - start heading folded into -180..180
  double FirstLength = 0;    // m, start to T1 (the whole segment when straight)
  double CurveLength = 0;    // m
  double SecondLength = 0;   // m, T2 to end
};

inline constexpr int kRailCurvePieces = 180;
inline constexpr int kRailPieceIds = kRailCurvePieces + 2;  // the curve, then the two straights
inline constexpr int kMaxSleepers = 1000;

class TRailwayInfo : public TShapeInfo {
 public:
  TRailwayInfo(float startX, float startY, float startHeading, float curveRadius, float endX,
               float endY, float endHeading, float trackZ, int32_t textureId);
  void RefreshSurfaces(const TViewFrame& view, TSurfaceWriter& out) override;
  TReach Reach() const override;

  // Lays out a segment; on failure says why (parallel lines for a curve, a
  // curve needing more pieces than the arrays hold, too many sleepers).
  static bool Layout(double startX, double startY, double startHeading, double curveRadius,
                     double endX, double endY, double endHeading, TRailLayout& layout,
                     std::string* problem);

  float StartX, StartY;    // m
  float StartHeading;      // deg
  float CurveRadius;       // m
  float EndX, EndY;        // m
  float EndHeading;        // deg
  float TrackZ;            // m, down
  int32_t TextureId;
  int32_t SleeperIds[kMaxSleepers] = {};
  int32_t FirstSleeper = 0;  // range built last time; empty when last < first
  int32_t LastSleeper = -1;
  int32_t BedIds[kRailPieceIds] = {};
  // For each rail (left of the direction of travel, then right): top, the side
  // along its left edge, the side along its right edge.
  int32_t RailIds[2][3][kRailPieceIds] = {};

 private:
  struct TSleeperSpot {
    double X, Y;        // m, centre
    double AlongX, AlongY;  // unit vector along the track there
  };
  TSleeperSpot SleeperAt(double distance) const;
  void RefreshSleepers(const TViewFrame& view, TSurfaceWriter& out);

  TRailLayout layout_;
};

class TBannerInfo : public TShapeInfo {
 public:
  TBannerInfo(float x1, float y1, float x2, float y2, float topZ, int32_t textureId,
              std::string text);
  void RefreshSurfaces(const TViewFrame& view, TSurfaceWriter& out) override;
  TReach Reach() const override;

  float X1, Y1, X2, Y2;  // m, the board's two upright edges
  float TopZ;            // m, down (negative: above the ground)
  int32_t TextureId;
  int32_t SurfaceId = 0;
  std::string Text;      // UTF-8: the link a click on the banner opens
};

}  // namespace velmora::world
