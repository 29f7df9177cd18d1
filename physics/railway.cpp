#include "physics/railway.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "vehicle/geometry.h"
#include "vehicle/units.h"

namespace velmora::physics {
namespace {

using vehicle::Atan2Deg;
using vehicle::CosDeg;
using vehicle::Normalise180;
using vehicle::Normalise360;
using vehicle::SinDeg;
using world::TTrackList;
using world::TTrackRecord;

constexpr double kTinyPartSquared = 1e-20;  // m²: a straight part this short takes no point
constexpr double kParallelCross = 1e-9;     // sine of the angle below which two lines never meet
constexpr double kSlowSection = 65536;      // m: stop positions from here on mean 25 km/h
constexpr double kSlowSpeed = 25 / 3.6;     // m/s on a slow section
constexpr double kCurveSpeed = 70 / 3.6;    // m/s on a 300 m curve
constexpr double kCurveSpeedRadius = 300;   // m
constexpr double kBrakingTwice = 1.94;      // m/s²: twice the service braking of 0.97 m/s²
constexpr double kLimitHoldDistance = 50;   // m ahead within which a limit is not raised
constexpr double kStopOvershoot = 40;       // m past a stop that still count as its stop
constexpr double kStopMargin = 10;          // m the front point stops short of a stop or end
constexpr double kStandingSpeed = 0.001;    // m/s: |vx| + |vy| below this is a standing train
constexpr double kParallelLimit = 4;        // deg: track this close to the motion is followed
constexpr double kBranchReach = 60;         // m beyond the look-ahead that a branch is followed
constexpr double kOwnBranchReach = 6060;    // m within which the own train follows branches
constexpr double kLookAheadRaise = 26;      // m: a longer braking distance looks 50 m further
constexpr double kLookAheadExtra = 50;      // m
constexpr double kLookAheadBase = 16;       // m
// Search steps one coupling may take. A network whose alternatives need more
// than this counts as blocked: the train stops rather than the tick hanging.
constexpr int kSearchBudget = 2048;

bool Valid(const TTrackList& list, int segment) {
  return segment >= 1 && segment <= list.Count;
}

// Unit vector along a heading (east, north).
struct TDir {
  double X, Y;
};
TDir Along(double heading) {
  return {SinDeg(heading), CosDeg(heading)};
}

// The parts of a segment: a straight line, or straight – arc – straight.
struct TShape {
  bool Curved = false;
  double Side = 1;          // +1 the track turns right (heading grows), −1 left
  double KX = 0, KY = 0;    // m, arc centre
  double T1X = 0, T1Y = 0;  // m, where the arc leaves the first straight part
  double T2X = 0, T2Y = 0;  // m, where the arc meets the second straight part
  double FromBearing = 0;   // deg, lowest bearing of the arc seen from its centre
  double StartBearing = 0;  // deg, bearing of T1 from the centre
  double Span = 0;          // deg the arc turns through
  double Radius = 0;        // m
  double FirstLength = 0;   // m, start to T1 (the whole chord when straight)
  double ArcLength = 0;     // m
  double SecondLength = 0;  // m, T2 to end
  double Total() const { return FirstLength + ArcLength + SecondLength; }
};

TShape ShapeOf(const TTrackRecord& r) {
  TShape s;
  if (r.StartHeading == r.EndHeading) {  // the common straight segment
    s.FirstLength = std::hypot(r.EndX - r.StartX, r.EndY - r.StartY);
    s.T1X = s.T2X = r.EndX;
    s.T1Y = s.T2Y = r.EndY;
    return s;
  }
  const double turn = Normalise180(r.EndHeading - r.StartHeading);
  const TDir d1 = Along(r.StartHeading);
  const TDir d2 = Along(r.EndHeading);
  const double cross = d1.X * d2.Y - d1.Y * d2.X;
  // Headings whose lines never meet (equal modulo 360 or opposite; the
  // loader rejects both) are taken as the straight chord.
  if (std::fabs(cross) < kParallelCross) {
    s.FirstLength = std::hypot(r.EndX - r.StartX, r.EndY - r.StartY);
    s.T1X = s.T2X = r.EndX;
    s.T1Y = s.T2Y = r.EndY;
    return s;
  }
  s.Curved = true;
  s.Side = turn >= 0 ? 1 : -1;
  s.Radius = r.CurveRadius;
  // Both straight lines moved by the radius towards the inside of the turn
  // cross at the centre.
  const TDir in1 = Along(r.StartHeading + s.Side * 90);
  const TDir in2 = Along(r.EndHeading + s.Side * 90);
  const double p1x = r.StartX + s.Radius * in1.X, p1y = r.StartY + s.Radius * in1.Y;
  const double p2x = r.EndX + s.Radius * in2.X, p2y = r.EndY + s.Radius * in2.Y;
  const double along = ((p2x - p1x) * d2.Y - (p2y - p1y) * d2.X) / cross;
  s.KX = p1x + along * d1.X;
  s.KY = p1y + along * d1.Y;
  s.StartBearing = Normalise360(r.StartHeading - s.Side * 90);
  const double endBearing = Normalise360(r.EndHeading - s.Side * 90);
  s.T1X = s.KX + s.Radius * SinDeg(s.StartBearing);
  s.T1Y = s.KY + s.Radius * CosDeg(s.StartBearing);
  s.T2X = s.KX + s.Radius * SinDeg(endBearing);
  s.T2Y = s.KY + s.Radius * CosDeg(endBearing);
  s.Span = std::fabs(turn);
  s.FromBearing = s.Side > 0 ? s.StartBearing : endBearing;
  s.FirstLength = std::hypot(s.T1X - r.StartX, s.T1Y - r.StartY);
  s.ArcLength = s.Radius * s.Span * units::kRadiansPerDegree;
  s.SecondLength = std::hypot(r.EndX - s.T2X, r.EndY - s.T2Y);
  return s;
}

// Foot of (x, y) on the straight part a→b as a fraction of its length, or
// false when it falls outside the part or the part is too short.
bool FootOnPart(double ax, double ay, double bx, double by, double x, double y, double& u) {
  const double ux = bx - ax, uy = by - ay;
  const double lengthSquared = ux * ux + uy * uy;
  if (lengthSquared < kTinyPartSquared) return false;
  u = ((x - ax) * ux + (y - ay) * uy) / lengthSquared;
  return u >= 0 && u <= 1;
}

// Which part of a segment takes a point, and where.
struct TPartHit {
  int Part = -1;        // 0 arc, 1 first straight, 2 second straight, −1 none
  double Fraction = 0;  // straight parts: foot as a fraction of the part
  double Bearing = 0;   // arc: bearing of the point from the centre
};

TPartHit HitPart(const TTrackRecord& r, const TShape& s, double x, double y) {
  TPartHit hit;
  if (!s.Curved) {
    if (FootOnPart(r.StartX, r.StartY, r.EndX, r.EndY, x, y, hit.Fraction)) hit.Part = 1;
    return hit;
  }
  const double bearing = Normalise360(Atan2Deg(x - s.KX, y - s.KY));
  if (Normalise360(bearing - s.FromBearing) <= s.Span) {
    hit.Part = 0;
    hit.Bearing = bearing;
  } else if (FootOnPart(r.StartX, r.StartY, s.T1X, s.T1Y, x, y, hit.Fraction)) {
    hit.Part = 1;
  } else if (FootOnPart(s.T2X, s.T2Y, r.EndX, r.EndY, x, y, hit.Fraction)) {
    hit.Part = 2;
  }
  return hit;
}

// Slowest speed the segment allows x metres ahead, lowering `limit`.
double LowerToSegmentLimit(double limit, const TTrackRecord& r, double x) {
  double own = 0;
  if (r.StopPosition >= kSlowSection) {
    own = kSlowSpeed;
  } else if (r.CurveRadius > 0) {
    own = std::sqrt(r.CurveRadius / kCurveSpeedRadius) * kCurveSpeed;
  } else {
    return limit;
  }
  // Further ahead the train can brake down to the limit on the way.
  if (x > kLimitHoldDistance) own = std::sqrt(own * own + kBrakingTwice * (x - kLimitHoldDistance));
  return std::min(limit, own);
}

bool HasStop(const TTrackRecord& r) {
  return r.StopPosition >= 0 && r.StopPosition < kSlowSection;
}

// Triangular stand-in for 90·cos(a), a in [−90, 360).
double Tri(double a) {
  return std::fabs(180 - std::fabs(a)) - 90;
}

// One look-ahead search: what it needs from the train and what it finds.
struct TSearch {
  TTrackList& List;
  int32_t UserNo = 0;
  int32_t PartnerNo = 0;
  uint32_t LineBit = 0;
  bool Own = false;
  bool FirstStep = false;    // the first step after a new state: marks are set
  double HalfWheelbase = 0;  // m
  double Limit = 0;          // m/s, out
  double Stop = kNoTrack;    // m, out
  int Budget = kSearchBudget;
  // Segments on the route being followed, per direction of travel: meeting
  // one again means the track has come round in a loop.
  std::array<std::array<bool, 2>, world::kTrackListSlots + 1> OnRoute{};

  bool Admits(const TTrackRecord& r) const {
    return (static_cast<uint32_t>(r.LineMask) & LineBit) != 0;
  }
  bool Holds(int32_t occupant) const {
    return occupant == 0 || occupant == UserNo || (PartnerNo != 0 && occupant == PartnerNo);
  }
};

bool SearchAhead(TSearch& s, int g, int t, double a, double b) {
  s.Limit = 0;
  if (--s.Budget < 0) return false;
  TTrackRecord& rec = s.List.Record(g);
  if (!s.Holds(rec.Occupant)) return false;

  // The first station stop ahead, even one overshot by up to 40 m.
  const double f = a + s.HalfWheelbase - kStopMargin;
  if (HasStop(rec) && s.Stop == kNoTrack) {
    const double stop =
        t <= 0 ? f - rec.StopPosition : f - (ShapeOf(rec).Total() - rec.StopPosition);
    if (stop >= -kStopOvershoot) s.Stop = stop;
  }
  const double stopHere = s.Stop;

  const int way = t > 0 ? 1 : 0;
  s.OnRoute[static_cast<std::size_t>(g)][static_cast<std::size_t>(way)] = true;
  const int32_t* links = t <= 0 ? rec.StartConnections : rec.EndConnections;
  bool anyQualified = false, lastWasBranch = false, continuationBlocked = false;
  bool found = false;
  for (int k = 0; k < 2 && !found; ++k) {
    const int n = links[k];
    if (n == 0 || !Valid(s.List, n)) break;
    const TTrackRecord& next = s.List.Record(n);
    const bool joins =
        t <= 0 ? next.EndHeading == rec.StartHeading : next.StartHeading == rec.EndHeading;
    const bool runs = t <= 0 ? next.Direction <= 0 : next.Direction >= 0;
    if (!s.Admits(next) || !joins || !runs) continue;
    anyQualified = true;
    const bool branch = next.TrackId != rec.TrackId;
    lastWasBranch = branch;
    if (!(a <= b + kBranchReach || !branch || (s.Own && a <= kOwnBranchReach))) continue;
    const double deeper = (!branch || a <= b) ? b : 0;
    s.Stop = stopHere;  // a stop seen on a route given up is not this route's
    bool ok = false;
    if (s.OnRoute[static_cast<std::size_t>(n)][static_cast<std::size_t>(way)]) {
      ok = true;  // round a loop: this track never ends
      s.Limit = kNoSpeedLimit;
    } else {
      ok = SearchAhead(s, n, t, a + TrackLength(s.List, n, 0, 0, 0), deeper);
    }
    if (ok) {
      s.Limit = LowerToSegmentLimit(s.Limit, next, a);
      if (deeper > 0 && s.FirstStep) {
        for (int j = 0; j < 2; ++j) {
          const int reserved = links[j];
          if (Valid(s.List, reserved) && s.List.Record(reserved).Occupant == 0) {
            s.List.Record(reserved).Occupant = s.UserNo;
          }
        }
      }
      found = true;
    } else if (!branch) {
      continuationBlocked = true;
    }
  }
  s.OnRoute[static_cast<std::size_t>(g)][static_cast<std::size_t>(way)] = false;
  if (found) return true;

  // A blocked continuation of this track stops the train, whatever branch
  // leaves beside it; otherwise the track ends here for this train.
  if (!continuationBlocked && (lastWasBranch || !anyQualified)) {
    s.Stop = stopHere;
    s.Limit = EndSpeed(f);
    return true;
  }
  s.Limit = 0;
  return false;
}

struct TCandidate {
  int Segment = 0;
  bool Verified = false;  // Foot already holds the point on it
  TTrackFoot Foot;
};

}  // namespace

double TrackDistance(const TTrackList& list, int segment, double x, double y, TTrackFoot& foot) {
  if (!Valid(list, segment)) return kNoTrack;
  const TTrackRecord& r = list.Record(segment);
  const double width = std::fabs(r.EndX - r.StartX);
  const double height = std::fabs(r.EndY - r.StartY);
  const bool curved = r.StartHeading != r.EndHeading;
  const double marginX = kOnTrackLimit + (curved ? height / 2 : 0);
  const double marginY = kOnTrackLimit + (curved ? width / 2 : 0);
  if (x < std::min(r.StartX, r.EndX) - marginX || x > std::max(r.StartX, r.EndX) + marginX ||
      y < std::min(r.StartY, r.EndY) - marginY || y > std::max(r.StartY, r.EndY) + marginY) {
    return kNoTrack;
  }
  const TShape s = ShapeOf(r);
  const TPartHit hit = HitPart(r, s, x, y);
  switch (hit.Part) {
    case 0:
      foot.X = s.KX + s.Radius * SinDeg(hit.Bearing);
      foot.Y = s.KY + s.Radius * CosDeg(hit.Bearing);
      foot.Heading = Normalise360(hit.Bearing + s.Side * 90);
      return std::fabs(std::hypot(x - s.KX, y - s.KY) - s.Radius);
    case 1:
      foot.X = r.StartX + hit.Fraction * (s.T1X - r.StartX);
      foot.Y = r.StartY + hit.Fraction * (s.T1Y - r.StartY);
      foot.Heading = r.StartHeading;
      return std::hypot(x - foot.X, y - foot.Y);
    case 2:
      foot.X = s.T2X + hit.Fraction * (r.EndX - s.T2X);
      foot.Y = s.T2Y + hit.Fraction * (r.EndY - s.T2Y);
      foot.Heading = r.EndHeading;
      return std::hypot(x - foot.X, y - foot.Y);
    default:
      return kNoTrack;
  }
}

double TrackLength(const TTrackList& list, int segment, int mode, double x, double y) {
  if (!Valid(list, segment)) return 0;
  const TTrackRecord& r = list.Record(segment);
  const TShape s = ShapeOf(r);
  const double total = s.Total();
  if (mode == 0) return total;
  double fromStart = 0;
  const TPartHit hit = HitPart(r, s, x, y);
  switch (hit.Part) {
    case 0: {
      const double turned = s.Side > 0 ? Normalise360(hit.Bearing - s.StartBearing)
                                       : Normalise360(s.StartBearing - hit.Bearing);
      fromStart = s.FirstLength + s.Radius * turned * units::kRadiansPerDegree;
      break;
    }
    case 1:
      fromStart = hit.Fraction * s.FirstLength;
      break;
    case 2:
      fromStart = s.FirstLength + s.ArcLength + hit.Fraction * s.SecondLength;
      break;
    default:  // off every part: the nearer end
      fromStart =
          std::hypot(x - r.StartX, y - r.StartY) <= std::hypot(x - r.EndX, y - r.EndY) ? 0 : total;
  }
  return mode < 0 ? fromStart : total - fromStart;
}

int NextSegment(const TTrackList& list, int segment, int direction, int index) {
  if (!Valid(list, segment) || index < 0 || index > 1) return 0;
  const TTrackRecord& r = list.Record(segment);
  const int n = direction <= 0 ? r.StartConnections[index] : r.EndConnections[index];
  if (!Valid(list, n)) return 0;
  const TTrackRecord& next = list.Record(n);
  const bool joins =
      direction <= 0 ? next.EndHeading == r.StartHeading : next.StartHeading == r.EndHeading;
  return joins ? n : 0;
}

double EndSpeed(double x) {
  double r = x - kStopMargin;
  if (r > 74.858) {
    r = x - kStopMargin - kLookAheadExtra;
  } else if (r > 24.858) {
    r = 24.858;
  }
  return vehicle::Sign(r) * std::sqrt(kBrakingTwice * std::fabs(r));
}

bool CoupleToTrack(state::TMainState& state, const vehicle::TVehicleState& train, double x,
                   double y, uint16_t segment, TTrackCoupling& result) {
  result = TTrackCoupling{};
  result.X = x;
  result.Y = y;
  if (state.World == nullptr || state.World->Track.Count <= 0) return false;
  TTrackList& list = state.World->Track;

  // Direction of motion; a remote train may be running backwards.
  const bool own = &train == &state.Own;
  const bool standing = !own && std::fabs(train.VX) + std::fabs(train.VY) < kStandingSpeed;
  double f = Normalise360(train.Heading);
  if (!own && !standing && train.VX * Tri(f - 90) + train.VY * Tri(f) < 0) {
    f = Normalise360(f + 180);
  }

  // Look-ahead of a remote train: its braking distance and a margin.
  const double wheelbase = state.Forms[train.FormNo].Wheelbase;
  double b = 0;
  const bool coupledToOwn = train.PartnerNo != 0 && train.PartnerNo == state.Own.UserNo;
  if (!own && train.TrackSegments != 0 && !coupledToOwn) {
    b = (train.VX * train.VX + train.VY * train.VY) / kBrakingTwice;
    if (b > kLookAheadRaise) b += kLookAheadExtra;
    b += kLookAheadBase - wheelbase / 2;
  }

  // Candidates: the known segment, or its neighbours when the point has run off it.
  std::array<TCandidate, 2> candidates{};
  int known = segment;
  if (!Valid(list, known)) known = 0;  // a stale or corrupt track word
  if (known != 0) {
    TTrackFoot foot;
    if (TrackDistance(list, known, x, y, foot) < kOnTrackLimit) {
      candidates[0] = {known, true, foot};
    } else {
      const TTrackRecord& s = list.Record(known);
      const int t = std::fabs(x - s.EndX) + std::fabs(y - s.EndY) <
                            std::fabs(x - s.StartX) + std::fabs(y - s.StartY)
                        ? 1
                        : -1;
      const int32_t* links = t > 0 ? s.EndConnections : s.StartConnections;
      if (!(standing && links[1] != 0)) {
        const int n0 = NextSegment(list, known, t, 0);
        const int n1 = NextSegment(list, known, t, 1);
        if (n0 != 0 && TrackDistance(list, n0, x, y, foot) < kOnTrackLimit) {
          candidates[0] = {n0, true, foot};
          candidates[1] = {n1, false, {}};
        } else if (n1 != 0 && TrackDistance(list, n1, x, y, foot) < kOnTrackLimit) {
          candidates[0] = {n1, true, foot};
        }
      }
    }
  }

  // Otherwise every segment under the point that runs along the motion; the
  // nearest two. Distances are all measured from the point as given.
  if (candidates[0].Segment == 0) {
    int best = 0, second = 0, bestT = 1;
    double bestDistance = kOnTrackLimit, secondDistance = kOnTrackLimit;
    TTrackFoot bestFoot;
    for (int n = 1; n <= list.Count; ++n) {
      TTrackFoot foot;
      const double d = TrackDistance(list, n, x, y, foot);
      if (!(d < secondDistance)) continue;
      const double off = std::fabs(Normalise180(foot.Heading - f));
      if (!(off < kParallelLimit || off > 180 - kParallelLimit)) continue;
      const int t = off < 90 ? 1 : -1;
      if (!standing && list.Record(n).Direction == -t) continue;
      if (d < bestDistance) {
        second = best;
        secondDistance = bestDistance;
        best = n;
        bestDistance = d;
        bestFoot = foot;
        bestT = t;
      } else {
        second = n;
        secondDistance = d;
      }
    }
    if (best == 0) return false;
    if (second == 0) {
      candidates[0] = {best, true, bestFoot};
    } else if (standing) {
      // Standing on two segments at once: on the track, segment unknown.
      result.X = bestFoot.X;
      result.Y = bestFoot.Y;
      return true;
    } else {
      const int behind = NextSegment(list, best, -bestT, 0);
      if (behind != 0 && behind == NextSegment(list, second, -bestT, 0)) {
        // Just past a switch: its through route first.
        const int through = NextSegment(list, behind, bestT, 0);
        candidates[0] = {through, through == best, bestFoot};
        candidates[1] = {NextSegment(list, behind, bestT, 1), false, {}};
      } else {
        candidates[0] = {best, true, bestFoot};
        candidates[1] = {second, false, {}};
      }
    }
  }

  TSearch search{list};
  search.UserNo = train.UserNo;
  search.PartnerNo = train.PartnerNo;
  // Line n uses bit (n − 1) mod 32; the group number comes off the wire, so
  // the arithmetic is wide enough for any value.
  const int64_t line = train.GroupNo;
  search.LineBit = 1u << static_cast<unsigned>(((line - 1) % 32 + 32) % 32);
  search.Own = own;
  search.FirstStep = train.Steps == 0;
  search.HalfWheelbase = wheelbase / 2;

  const int lastCandidate = candidates[1].Segment != 0 ? 1 : 0;
  int onTrack = 0;  // the last candidate found under the point
  TTrackFoot onTrackFoot;
  double onTrackStop = kNoTrack;
  for (int i = 0; i <= lastCandidate; ++i) {
    TCandidate& c = candidates[static_cast<std::size_t>(i)];
    if (c.Segment == 0) continue;
    if (!c.Verified && !(TrackDistance(list, c.Segment, x, y, c.Foot) < kOnTrackLimit)) continue;
    onTrack = c.Segment;
    onTrackFoot = c.Foot;
    onTrackStop = kNoTrack;
    TTrackRecord& rec = list.Record(c.Segment);
    if (!search.Admits(rec)) continue;
    const int t = std::fabs(Normalise180(c.Foot.Heading - f)) <= 90 ? 1 : -1;
    if (!standing && rec.Direction == -t) continue;
    const double a = TrackLength(list, c.Segment, t <= 0 ? -1 : 1, c.Foot.X, c.Foot.Y);
    search.Stop = kNoTrack;  // each candidate's own route
    if (SearchAhead(search, c.Segment, t, a, b)) {
      if (search.FirstStep) rec.Occupant = train.UserNo;
      result.X = c.Foot.X;
      result.Y = c.Foot.Y;
      result.Segment = static_cast<uint16_t>(c.Segment);
      result.StopDistance = search.Stop;
      result.SpeedLimit = LowerToSegmentLimit(search.Limit, rec, 0);
      return true;
    }
    onTrackStop = search.Stop;
    // Blocked on the last way left: hold the segment under the point, but
    // never take it from another train.
    if (i == lastCandidate && rec.Occupant == 0) rec.Occupant = train.UserNo;
  }
  if (onTrack == 0) return false;
  // On the track with the way ahead blocked: the train must stop.
  result.X = onTrackFoot.X;
  result.Y = onTrackFoot.Y;
  result.Segment = static_cast<uint16_t>(onTrack);
  result.StopDistance = onTrackStop;
  result.SpeedLimit = 0;
  return true;
}

void ReleaseTrack(TTrackList& list, int32_t userNo, int32_t newOccupant) {
  for (int n = 1; n <= list.Count; ++n) {
    if (list.Record(n).Occupant == userNo) list.Record(n).Occupant = newOccupant;
  }
}

void ReleaseTrack(state::TMainState& state, int32_t userNo, int32_t newOccupant) {
  if (state.World != nullptr) ReleaseTrack(state.World->Track, userNo, newOccupant);
}

void ClearTrackMarks(TTrackList& list) {
  for (int n = 1; n <= list.Count; ++n) list.Record(n).Occupant = 0;
}

void ClearTrackMarks(state::TMainState& state) {
  if (state.World != nullptr) ClearTrackMarks(state.World->Track);
}

double StopDistanceFallback(const TTrackList& list, const vehicle::TVehicleState& train) {
  // The nearest segment under the train that may be run the way it heads.
  int segment = 0, d = 1;
  double nearest = kOnTrackLimit;
  TTrackFoot at;
  for (int n = 1; n <= list.Count; ++n) {
    TTrackFoot foot;
    const double distance = TrackDistance(list, n, train.X, train.Y, foot);
    if (!(distance < nearest)) continue;
    const TTrackRecord& r = list.Record(n);
    const double chord = Atan2Deg(r.EndX - r.StartX, r.EndY - r.StartY);
    const int way = std::fabs(Normalise180(chord - train.Heading)) <= 90 ? 1 : -1;
    if (way * r.Direction < 0) continue;
    segment = n;
    d = way;
    nearest = distance;
    at = foot;
  }
  if (segment == 0) return kNoTrack;

  // Along the through routes; a walk longer than the list has come round.
  double f = TrackLength(list, segment, d, at.X, at.Y);
  for (int walked = 0; walked < list.Count; ++walked) {
    segment = NextSegment(list, segment, d, 0);
    if (segment == 0) return kNoTrack;
    const TTrackRecord& r = list.Record(segment);
    const double length = ShapeOf(r).Total();
    if (HasStop(r)) return d > 0 ? f + r.StopPosition : f + length - r.StopPosition;
    f += length;
  }
  return kNoTrack;
}

double StopDistanceFallback(const state::TMainState& state) {
  if (state.World == nullptr) return kNoTrack;
  return StopDistanceFallback(state.World->Track, state.Own);
}

}  // namespace velmora::physics
