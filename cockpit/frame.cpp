#include "cockpit/frame.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "cockpit/approach_deviation.h"
#include "cockpit/view_projection.h"
#include "vehicle/geometry.h"
#include "vehicle/units.h"
#include "world/runway_geometry.h"

namespace velmora::cockpit {
namespace {

using vehicle::Atan2Deg;
using vehicle::CosDeg;
using vehicle::IsAirliner;
using vehicle::IsFighter;
using vehicle::Normalise180;
using vehicle::Normalise360;
using vehicle::Sign;
using vehicle::SinDeg;
using vehicle::TVehicleState;

constexpr double kDegreesPerRadian = 57.29577951308232;
constexpr double kGravity = 9.80665;          // m/s²
constexpr uint32_t kRefreshInterval = 100;    // ms between world refresh passes
constexpr uint32_t kClockMask = 0x7FFFFFFF;

constexpr uint32_t kCentreLineColour = 0xFF00FF;  // magenta
constexpr uint32_t kTurnGateColour = 0xFFFF00;    // light blue
constexpr uint32_t kPathColour = 0x00FFFF;        // yellow

constexpr double kGuidanceRadius = 16000;     // m, reach of the overlay
constexpr double kGuidanceMargin = 10;        // m, view planes moved back
constexpr double kCentreLineLength = 4000;    // m, drawn back from the threshold
constexpr double kGateLow = -10, kGateHigh = -600;  // m, z of the gate's ends
constexpr int kMaxPathPoints = 40;

constexpr double kMapHeight = 10000;          // m, map camera above the vehicle
constexpr double kChaseDistance = 200;        // m, fighter chase camera behind the offset
constexpr double kChaseRise = 100;            // m, added to the chase offset's z
constexpr double kFighterLookAhead = 4000;    // m, where a fighter looks without a target
constexpr double kLowestEye = -1;             // m, z: the chase eye stays above this

// A record that is drawn needs a type the table knows.
const vehicle::TFormParam* FormOf(const state::TMainState& s, int32_t formNo) {
  return s.Forms.Find(formNo);
}

struct TEye {
  double X = 0, Y = 0, Z = 0;  // m, local world axes
  bool Found = false;
};

// The eye of replay cameras 3 and 4 for an aircraft. Null eye: no place known.
TEye AircraftEye(const state::TMainState& s, const TVehicleState& cam) {
  TEye eye;
  const bool fighter = IsFighter(cam.FormNo);
  const world::TRunwayInfo* nearest = nullptr;
  if (!fighter && s.World != nullptr) {
    double best = std::numeric_limits<double>::infinity();
    for (int i = 0; i < s.World->DestinationCount; ++i) {
      const world::TRunwayInfo* d = s.World->Destinations[static_cast<std::size_t>(i)];
      if (d == nullptr) continue;
      const double dx = d->X1 - s.OriginX - cam.X, dy = d->Y1 - s.OriginY - cam.Y;
      const double dist = dx * dx + dy * dy;
      if (dist < best) {
        best = dist;
        nearest = d;
      }
    }
  }
  if (nearest != nullptr) {
    const double x1 = nearest->X1 - s.OriginX, y1 = nearest->Y1 - s.OriginY;
    const double rh = world::RunwayCourse(*nearest);
    if (s.CameraNo == 3) {
      eye = {x1 - 100 * SinDeg(rh), y1 - 100 * CosDeg(rh), -1.5, true};
    } else {
      const double a = rh + 32 * Sign(Normalise180(nearest->ApproachCourse - rh + 1));
      eye = {x1 + 400.9 * SinDeg(a), y1 + 400.9 * CosDeg(a), -1.5, true};
    }
    return eye;
  }

  // A fighter chases its first opponent (camera 3) or looks ahead; so does an
  // aircraft in a world without runways.
  double ox = SinDeg(cam.Heading) * kFighterLookAhead;
  double oy = CosDeg(cam.Heading) * kFighterLookAhead;
  double oz = 0;
  const int remotes = vehicle::RemoteCount(s.Remote);
  if (fighter && s.CameraNo == 3 && remotes > 0) {
    const TVehicleState* target = &s.Remote[static_cast<std::size_t>(remotes - 1)];
    for (int i = 0; i < remotes; ++i) {
      if (IsFighter(s.Remote[static_cast<std::size_t>(i)].FormNo)) {
        target = &s.Remote[static_cast<std::size_t>(i)];
        break;
      }
    }
    ox = target->X - cam.X;
    oy = target->Y - cam.Y;
    oz = target->Z - cam.Z;
  }
  // The chase direction snaps to a multiple of 45° and rises by 100 m.
  const double horizontal = std::hypot(ox, oy);
  const double bearing = std::nearbyint(Atan2Deg(ox, oy) / 45) * 45;
  ox = SinDeg(bearing) * horizontal;
  oy = CosDeg(bearing) * horizontal;
  oz += kChaseRise;
  const double length = std::sqrt(ox * ox + oy * oy + oz * oz);
  if (!(length > 0)) return eye;
  eye = {cam.X - kChaseDistance * ox / length, cam.Y - kChaseDistance * oy / length,
         std::min(cam.Z - kChaseDistance * oz / length, kLowestEye), true};
  return eye;
}

// The eye of replay cameras 3 and 4 for a road vehicle: at the race start line.
TEye RoadEye(const state::TMainState& s) {
  TEye eye;
  if (s.World == nullptr || s.World->RaceStartLine == nullptr) return eye;
  const world::TRaceCrsInfo& line = *s.World->RaceStartLine;
  const double x1 = line.X1 - s.OriginX, y1 = line.Y1 - s.OriginY;
  const double x2 = line.X2 - s.OriginX, y2 = line.Y2 - s.OriginY;
  const double d = Atan2Deg(x2 - x1, y2 - y1);
  if (s.CameraNo == 3) {
    const double along = line.StartLineDistance - 2.555;
    eye = {x1 + along * SinDeg(d) - 6 * CosDeg(d), y1 + along * CosDeg(d) + 6 * SinDeg(d), -2,
           true};
  } else {
    eye = {x2 + 42.4 * SinDeg(d + 45), y2 + 42.4 * CosDeg(d + 45), -10, true};
  }
  return eye;
}

// The eye of replay cameras 3 and 4 for a train: beside the nearest station
// stop ahead on the track of line 1.
TEye TrainEye(const state::TMainState& s, const TVehicleState& cam) {
  TEye eye;
  if (s.World == nullptr) return eye;
  const world::TTrackList& track = s.World->Track;
  double best = std::numeric_limits<double>::infinity();
  for (int n = 1; n <= track.Count; ++n) {
    const world::TTrackRecord& r = track.Record(n);
    if ((r.LineMask & 1) == 0 || !(r.StopPosition >= 0 && r.StopPosition < 65536)) continue;
    const double sx = r.StartX - s.OriginX, sy = r.StartY - s.OriginY;
    const double b = Atan2Deg(sx - cam.X, sy - cam.Y);
    const double counts = Sign(90 - std::fabs(Normalise180(b - cam.Heading))) *
                          Sign(90 - std::fabs(Normalise180(r.StartHeading - b))) * r.Direction;
    if (counts < 0) continue;
    const double px = sx + r.StopPosition * SinDeg(r.StartHeading);
    const double py = sy + r.StopPosition * CosDeg(r.StartHeading);
    const double dist = (px - cam.X) * (px - cam.X) + (py - cam.Y) * (py - cam.Y);
    if (dist >= best) continue;
    best = dist;
    const double t = r.StartHeading;
    double k = s.CameraNo == 3 ? 3 : 50;
    if (std::fabs(Normalise180(t - cam.Heading)) > 90) k = -k;
    eye = {px - k * CosDeg(t), py + k * SinDeg(t), cam.Z, true};
  }
  return eye;
}

// Turns the camera by the view direction about its body up axis.
void TurnView(TVehicleState& cam, int32_t viewDirection) {
  if (viewDirection == 0) return;
  const vehicle::TWorldVector dir =
      vehicle::BodyToWorld(cam, SinDeg(viewDirection), 0, CosDeg(viewDirection));
  const vehicle::TWorldVector up = vehicle::BodyToWorld(cam, 0, 1, 0);
  const double heading = (std::fabs(dir.X) < 1e-10 && std::fabs(dir.Y) < 1e-10)
                             ? 0
                             : Normalise360(Atan2Deg(dir.X, dir.Y));
  cam.Heading = static_cast<float>(heading);
  cam.Pitch = static_cast<float>(Atan2Deg(-dir.Z, std::hypot(dir.X, dir.Y)));
  cam.Bank = 0;
  const vehicle::TBodyVector u = vehicle::WorldToBody(cam, up.X, up.Y, up.Z);
  cam.Bank = static_cast<float>(Normalise180(Atan2Deg(u.Right, u.Up)));
}

void DrawSegment(TCanvas& view, const TVehicleState& cam, int32_t width, int32_t height,
                 double ax, double ay, double az, double bx, double by, double bz) {
  const TScreenPoint a = ProjectToView(cam, ax - cam.X, ay - cam.Y, az - cam.Z, width, height);
  const TScreenPoint b = ProjectToView(cam, bx - cam.X, by - cam.Y, bz - cam.Z, width, height);
  if (a.Drawable && b.Drawable) view.Line(a.X, a.Y, b.X, b.Y);
}

// Fills a canvas black when the kind of the instrument on it changes, and
// notes the new one. The instruments overdraw only their own elements, so
// the last vehicle's picture would otherwise stay.
void ShowOn(TCanvas* canvas, int32_t& shows, int32_t kind) {
  if (canvas == nullptr || shows == kind) return;
  canvas->BeginPaint();
  canvas->SetBrush(0x000000, false);
  canvas->FillRect(0, 0, canvas->Width(), canvas->Height());
  canvas->EndPaint();
  shows = kind;
}

// Which kind's instrument each canvas gets this frame, as DrawInstruments
// draws them: the flight display and the attitude indicator for aircraft
// (both canvases needed), the speed gauge for road vehicles and trains, the
// map and the power panel for every kind.
void ClearChangedCanvases(int32_t kind, TFrameContext& context) {
  const bool flightDisplay = kind == vehicle::kKindAircraft && context.PFD != nullptr &&
                             context.Indicator != nullptr;
  const bool speedGauge = kind == vehicle::kKindRoad || kind == vehicle::kKindTrain;
  ShowOn(context.PFD, context.PFDShows, flightDisplay ? kind : 0);
  ShowOn(context.Indicator, context.IndicatorShows, flightDisplay || speedGauge ? kind : 0);
  ShowOn(context.Navi, context.NaviShows, kind);
  ShowOn(context.Power, context.PowerShows, kind);
}

// A value as the status line prints it with `decimals` places: one that
// rounds to zero is printed 0, never "-0" (a standing train's speed along its
// heading can be a hair below zero).
double Printed(double value, int decimals) {
  return std::nearbyint(value * std::pow(10.0, decimals)) == 0 ? 0.0 : value;
}

}  // namespace

bool PlaceCamera(state::TMainState& s) {
  s.FieldOfView = 30;
  s.Camera = s.Own;
  TVehicleState& cam = s.Camera;
  const bool replayCamera =
      s.ReplayMode != 0 && s.ReplayMode != 6 && s.CameraNo >= 2 && s.CameraNo <= 4;

  if (!replayCamera) {
    // The pilot's eye.
    const vehicle::TFormParam* form = FormOf(s, cam.FormNo);
    if (cam.Kind != 0 && form != nullptr) {
      const vehicle::TWorldVector eye =
          vehicle::BodyToWorld(cam, form->EyeRight, form->EyeUp, form->EyeForward);
      cam.X += eye.X;
      cam.Y += eye.Y;
      cam.Z += eye.Z;
    }
  } else {
    if (cam.FormNo == 0) return false;
    // The point the replay cameras look at: the driver's seat of a car or a
    // cab, the vehicle's reference point otherwise.
    const double ahead = cam.FormNo == 20 ? 1.35 : cam.FormNo == 30 ? 9.0 : 0;
    cam.X += SinDeg(cam.Heading) * ahead;
    cam.Y += CosDeg(cam.Heading) * ahead;

    if (s.CameraNo == 2) {
      // Map view from 10 km above.
      cam.Z -= kMapHeight;
      cam.Heading = 0;
      cam.Pitch = -90;
      cam.Bank = 0;
      if (IsAirliner(cam.FormNo)) {
        s.FieldOfView /= 10;
      } else if (!IsFighter(cam.FormNo)) {
        s.FieldOfView /= 100;
      }
    } else {
      TEye eye;
      if (cam.Kind == vehicle::kKindAircraft) {
        eye = AircraftEye(s, cam);
      } else if (cam.Kind == vehicle::kKindRoad) {
        eye = RoadEye(s);
      } else {
        eye = TrainEye(s, cam);
      }
      if (eye.Found) {
        const double rx = cam.X - eye.X, ry = cam.Y - eye.Y, rz = cam.Z - eye.Z;
        const double distance = std::sqrt(rx * rx + ry * ry + rz * rz);
        cam.X = eye.X;
        cam.Y = eye.Y;
        cam.Z = eye.Z;
        cam.Heading = static_cast<float>(Normalise360(Atan2Deg(rx, ry)));
        cam.Pitch = distance > 0
                        ? static_cast<float>(
                              Normalise180(std::asin(-rz / distance) * kDegreesPerRadian))
                        : 0.0f;
        cam.Bank = 0;
        if (s.CameraNo == 4 && !IsFighter(cam.FormNo)) {
          s.FieldOfView *= 10 / std::sqrt(std::max(100.0, distance));
        }
      }
      s.ViewDirection = 0;
    }
  }

  TurnView(cam, s.ViewDirection);
  return true;
}

int CollectVehicles(const state::TMainState& s, TFrameContext& context) {
  int count = 0;
  const TVehicleState& cam = s.Camera;
  const int remotes = vehicle::RemoteCount(s.Remote);
  const bool live = s.ReplayMode == 0 || s.ReplayMode == 6;
  const double sideScale = HorizontalViewScale(context.ViewWidth, context.ViewHeight);
  if (live) {
    for (int i = 0; i < remotes; ++i) {
      const TVehicleState& r = s.Remote[static_cast<std::size_t>(i)];
      if (s.Own.PartnerNo != 0 && r.UserNo == s.Own.PartnerNo) continue;
      const vehicle::TFormParam* form = FormOf(s, r.FormNo);
      if (form == nullptr) continue;
      const double dx = r.X - cam.X, dy = r.Y - cam.Y, dz = r.Z - cam.Z;
      const double range = form->Scale * 400;
      if (!(dx * dx + dy * dy + dz * dz <= range * range)) continue;
      if (!InsideViewCone(cam, form->Scale * 2 + 10, r.X, r.Y, r.Z, sideScale)) continue;
      context.Vehicles[static_cast<std::size_t>(count++)] = &r;
    }
    if (s.Own.Kind == vehicle::kKindRoad && s.ViewDirection == 0) {
      context.Vehicles[static_cast<std::size_t>(count++)] = &s.Own;
    }
  } else {
    if (s.CameraNo != 1 || (s.Own.Kind == vehicle::kKindRoad && s.ViewDirection == 0)) {
      context.Vehicles[static_cast<std::size_t>(count++)] = &s.Own;
    }
    if (s.CameraNo != 1 || s.Own.Kind != vehicle::kKindTrain) {
      for (int i = 0; i < remotes; ++i) {
        context.Vehicles[static_cast<std::size_t>(count++)] = &s.Remote[static_cast<std::size_t>(i)];
      }
    }
    if (s.CameraNo == 2 && IsFighter(s.Own.FormNo)) {
      // Seen from 10 km, the fighters are drawn at 5 % of their distance so
      // they stay visible.
      count = std::min(count, kMapViewVehicles);
      for (int i = 0; i < count; ++i) {
        TVehicleState& copy = context.MapCopies[static_cast<std::size_t>(i)];
        copy = *context.Vehicles[static_cast<std::size_t>(i)];
        copy.X = cam.X + 0.05 * (copy.X - cam.X);
        copy.Y = cam.Y + 0.05 * (copy.Y - cam.Y);
        copy.Z = cam.Z + 0.05 * (copy.Z - cam.Z);
        context.Vehicles[static_cast<std::size_t>(i)] = &copy;
      }
    }
  }
  context.Vehicles[static_cast<std::size_t>(count)] = nullptr;
  return count;
}

std::string StatusLine(const state::TMainState& s) {
  const TVehicleState& own = s.Own;
  const vehicle::TFormParam* form = FormOf(s, own.FormNo);
  const double restZ = form != nullptr ? form->RestZ : 0;
  const double power = s.ThrottleMax != 0 ? s.Throttle / s.ThrottleMax * 100 : 0;
  const double altitude = -own.Z + restZ + 10;
  char text[256];
  std::snprintf(text, sizeof text,
                "Pow%3.0f%%  Spd %3.0fm/s  Dir %6.2f°Pit %5.2f°Bank %5.2f°Alt %5.0fm  Flap "
                "%2.0f°Gear %3.0f%%",
                Printed(power, 0), Printed(vehicle::GroundSpeed(own), 0),
                static_cast<double>(own.Heading), Printed(own.Pitch, 2), Printed(own.Bank, 2),
                Printed(altitude, 0), Printed(own.Flap, 0), Printed(s.Gear * 100, 0));
  return text;
}

void DrawGuidance(const state::TMainState& s, TCanvas& view, int32_t width, int32_t height) {
  if (s.World == nullptr || s.SelectedDestination < 0 ||
      s.SelectedDestination >= s.World->DestinationCount) {
    return;
  }
  const world::TRunwayInfo* dest =
      s.World->Destinations[static_cast<std::size_t>(s.SelectedDestination)];
  if (dest == nullptr) return;
  const TVehicleState& cam = s.Camera;
  const double x1 = dest->X1 - s.OriginX, y1 = dest->Y1 - s.OriginY;
  const double rh = world::RunwayCourse(*dest);
  const double h = dest->ApproachCourse;
  const double f = dest->ApproachOffset;

  // Centre line back from the threshold.
  view.SetPen(kCentreLineColour, 1);
  const double ex = x1 - kCentreLineLength * SinDeg(rh), ey = y1 - kCentreLineLength * CosDeg(rh);
  if (const auto part = ClipToView(cam, kGuidanceRadius, kGuidanceMargin, x1, y1, 0, ex, ey, 0,
                                   HorizontalViewScale(width, height))) {
    DrawSegment(view, cam, width, height, x1 + (ex - x1) * part->T1, y1 + (ey - y1) * part->T1, 0,
                x1 + (ex - x1) * part->T2, y1 + (ey - y1) * part->T2, 0);
  }

  // Turn gate: where the 2000 m turn from the approach course onto the
  // runway course begins.
  view.SetPen(kTurnGateColour, 1);
  const double turn = Normalise180(rh - h);
  double qx = x1 - f * SinDeg(rh), qy = y1 - f * CosDeg(rh);
  const double shiftX = world::kFinalTurnRadius * (CosDeg(rh) - CosDeg(h));
  const double shiftY = world::kFinalTurnRadius * (SinDeg(h) - SinDeg(rh));
  if (turn >= 0) {
    qx += shiftX;
    qy += shiftY;
  } else {
    qx -= shiftX;
    qy -= shiftY;
  }
  if (std::fabs(turn) * world::kFinalTurnRadius > 10 &&
      std::hypot(qx - cam.X, qy - cam.Y) <= kGuidanceRadius) {
    for (const double side : {1.0, -1.0}) {
      const double gx = qx - side * CosDeg(h), gy = qy + side * SinDeg(h);
      DrawSegment(view, cam, width, height, gx, gy, kGateLow, gx, gy, kGateHigh);
    }
  }

  // Predicted path: the circle the present bank flies, up to 60° of it.
  const TVehicleState& own = s.Own;
  const double speed = vehicle::GroundSpeed(own);
  const double bank = own.Bank;
  const double radius = std::fabs(bank) < 1e-10
                            ? 1e10
                            : speed * speed / (kGravity * CosDeg(own.Pitch) * std::tan(bank / kDegreesPerRadian));
  const double track = (std::fabs(own.VX) >= 1e-10 || std::fabs(own.VY) >= 1e-10)
                           ? Atan2Deg(own.VX, own.VY)
                           : static_cast<double>(own.Heading);
  const bool guided = s.GuidanceMode >= 1 && s.GuidanceMode <= 7;
  const double largest = (guided || std::fabs(radius) < 1e-10)
                             ? 0
                             : std::min(60.0, 10000 / std::fabs(radius) * kDegreesPerRadian);
  double phi = (-cam.Z + 30) / std::fabs(radius) * kDegreesPerRadian;
  const double side = Sign(radius);
  TPixel points[kMaxPathPoints];
  int count = 0;
  for (;;) {
    phi = std::min(phi, largest);
    const double c = CosDeg(phi) - 1, sn = SinDeg(phi);
    const double px = own.X + radius * (side * sn * SinDeg(track) - CosDeg(track) * c);
    const double py = own.Y + radius * (side * sn * CosDeg(track) + SinDeg(track) * c);
    const TScreenPoint p = ProjectToView(cam, px - cam.X, py - cam.Y, -cam.Z, width, height);
    if (p.Drawable) points[count++] = {p.X, p.Y};
    if (!(phi < largest) || count >= kMaxPathPoints) break;
    phi += std::max(0.5, 0.1 * phi);
  }
  if (count >= 2) {
    view.SetPen(kPathColour, 1);
    view.Polyline(points, count);
  }
}

void DrawFrame(state::TMainState& s, TFrameContext& context, uint32_t now, bool pixels) {
  // The camera is state: the sound hears from it on every tick.
  if (!PlaceCamera(s)) return;

  if (pixels) {
    CollectVehicles(s, context);

    // The world's surfaces: a refresh pass at most every 100 ms or when the
    // view turns, the light animation every frame. Objects lie in absolute
    // coordinates, so the refresh sees the camera with the world offset added.
    if (s.World != nullptr && context.WorldDriver != nullptr && context.Renderer != nullptr) {
      const bool due = s.LastViewDirection != s.ViewDirection ||
                       ((now - s.ViewRefreshTime) & kClockMask) >= kRefreshInterval;
      if (due) {
        TVehicleState refreshCamera = s.Camera;
        refreshCamera.X += s.OriginX;
        refreshCamera.Y += s.OriginY;
        context.WorldDriver->Refresh(*s.World, *context.Renderer, refreshCamera);
        s.LastViewDirection = s.ViewDirection;
        s.ViewRefreshTime = now;
      }
      context.WorldDriver->Animate(*s.World, *context.Renderer, s.Camera, now);
    }

    if (context.Renderer != nullptr) {
      context.LastDrawResult = context.Renderer->DXDraw(
          static_cast<float>(s.FieldOfView), kSkyColour, s.Camera, context.Vehicles.data());
    }
  }

  if (s.Own.Kind == 0) {
    s.Caption.clear();
    if (pixels) DrawInstruments(s, context);
    return;
  }
  if (pixels && context.View != nullptr && s.Start.Kind == 0 && s.ViewDirection == 0) {
    DrawGuidance(s, *context.View, context.ViewWidth, context.ViewHeight);
  }
  s.Caption = StatusLine(s);
  if (pixels) DrawInstruments(s, context);
}

void DrawInstruments(state::TMainState& s, TFrameContext& context) {
  const TVehicleState& own = s.Own;
  ClearChangedCanvases(own.Kind, context);
  if (own.Kind == vehicle::kKindNone) return;
  const double v = vehicle::GroundSpeed(own);

  if (own.Kind == vehicle::kKindAircraft) {
    if (context.PFD != nullptr && context.Indicator != nullptr) {
      const vehicle::TFormParam* form = FormOf(s, own.FormNo);
      const double restZ = form != nullptr ? form->RestZ : 0;
      const double airspeed =
          units::kKnotsPerMetrePerSecond * vehicle::AirData(own, s.WindX, s.WindY).Forward;
      DrawPrimaryFlightDisplay(
          *context.PFD, *context.Indicator, IsFighter(own.FormNo), own.Pitch, own.Bank, airspeed,
          units::kKnotsPerMetrePerSecond * v,
          (-own.Z + restZ + units::kGroundAboveSeaLevel) * units::kFeetPerMetre,
          (-own.Z + restZ) * units::kFeetPerMetre,
          units::kFeetPerMinutePerMetrePerSecond * -own.VZ);
      const TApproachDeviation deviation = ApproachDeviation(s);
      DrawApproachDeviation(*context.PFD, deviation, context.ApproachDeviationShown);
      context.ApproachDeviationShown = deviation.Shown;
    }
  } else if (own.Kind == vehicle::kKindRoad) {
    if (context.Indicator != nullptr) {
      DrawSpeedGauge(*context.Indicator, kNoSpeedLimit, v, s.ReplayMode);
    }
  } else if (own.Kind == vehicle::kKindTrain) {
    if (context.Indicator != nullptr) {
      DrawSpeedGauge(*context.Indicator, s.RailSpeedLimit, v, s.ReplayMode);
    }
    if (context.Indicator != nullptr) {
      TCanvas& c = *context.Indicator;
      c.BeginPaint();
      if (s.EmergencyBrake != 0) {
        c.SetBrush(0x0000FF, false);
        c.SetFont(0x000000, 13);
        c.Text(61, 104, "ATS");
      } else {
        c.SetBrush(0x000000, false);
        c.FillRect(61, 104, 85, 117);
      }
      c.EndPaint();
    }
  }

  if (context.Navi != nullptr) {
    DrawNavigationDisplay(*context.Navi, s, context.StopDistanceFallback);
  }
  if (context.Power != nullptr) {
    const double ratio = (s.Brake != 0 || s.EmergencyBrake != 0) ? -1
                         : s.ThrottleMax != 0                    ? s.Throttle / s.ThrottleMax
                                                                 : 0;
    if (own.Kind == vehicle::kKindAircraft) {
      DrawPowerPanel(*context.Power, s.Gear, own.Flap, s.FlapSet, ratio);
    } else {
      DrawPowerPanel(*context.Power, 0, 0, -1, ratio);
    }
  }
}

}  // namespace velmora::cockpit
