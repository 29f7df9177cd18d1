#include "world/runway_geometry.h"

#include <cmath>

#include "vehicle/geometry.h"

namespace velmora::world {

double RunwayCourse(const TRunwayInfo& runway) {
  return vehicle::Atan2Deg(runway.X2 - runway.X1, runway.Y2 - runway.Y1);
}

double RunwayLength(const TRunwayInfo& runway) {
  return std::hypot(runway.X2 - runway.X1, runway.Y2 - runway.Y1);
}

TRunwayAxes RunwayAxes(const TRunwayInfo& runway, double course, double x, double y) {
  const double east = x - runway.X1, north = y - runway.Y1;
  TRunwayAxes a;
  a.Along = east * vehicle::SinDeg(course) + north * vehicle::CosDeg(course);
  a.Right = east * vehicle::CosDeg(course) - north * vehicle::SinDeg(course);
  return a;
}

TRunwayPosition RunwayPosition(const TRunwayInfo& runway, double x, double y, double heading) {
  const double course = RunwayCourse(runway);
  const double length = RunwayLength(runway);
  TRunwayAxes a = RunwayAxes(runway, course, x, y);
  // Landing the other way: the far end is the threshold.
  if (std::fabs(vehicle::Normalise180(heading - course)) > 90) {
    a.Along = length - a.Along;
    a.Right = -a.Right;
  }
  TRunwayPosition p;
  p.PastThreshold = a.Along;
  p.CentreLine = a.Right;
  p.OnRunway = a.Along >= 0 && a.Along <= length && std::fabs(a.Right) <= runway.Width / 2;
  return p;
}

}  // namespace velmora::world
