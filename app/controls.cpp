#include "app/controls.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "app/protocol.h"
#include "cockpit/frame.h"
#include "cockpit/view_projection.h"
#include "pilot/control_step.h"
#include "vehicle/geometry.h"
#include "world/shapes.h"

namespace velmora::app {
namespace {

using vehicle::IsAirliner;
using vehicle::IsFighter;

// Flap detents, degrees, from up to fully down.
constexpr double kFlapDetents[] = {0, 1, 5, 10, 20, 25, 30};
constexpr int kFlapDetentCount = 7;

// Horizontal over vertical extent of the 3D view's picture.
constexpr double kViewAspect = 1.7577854654982797;
constexpr double kDegreesPerRadian = 57.29577951308232;
constexpr double kBannerFoot = 0.2;  // m, z of a banner's lower edge, just below the ground

bool IsArrow(int32_t key) { return key >= kKeyLeft && key <= kKeyDown; }

// One detent up (towards 0) or down (towards 30); a value between detents stays.
double NextDetent(double flap, bool down) {
  for (int i = 0; i < kFlapDetentCount; ++i) {
    if (flap != kFlapDetents[i]) continue;
    const int next = down ? i + 1 : i - 1;
    if (next < 0 || next >= kFlapDetentCount) return flap;
    return kFlapDetents[next];
  }
  return flap;
}

std::string FlapsLine(double command) {
  char text[64];
  std::snprintf(text, sizeof text, "自分> Flaps %.0f.", command);
  return text;
}

void MoveFlaps(state::TMainState& s, bool down, uint32_t now) {
  s.FlapCommand = NextDetent(s.FlapCommand, down);
  if (!IsAirliner(s.Own.FormNo)) s.FlapSet = s.FlapCommand;
  if (s.FlapCommand != s.FlapSet) {
    s.Log(!down && s.FlapCommand == 0 ? std::string("自分> Flaps up.") : FlapsLine(s.FlapCommand));
    s.CommandTime = now;
  }
}

// Sign of the cross product (edge end − edge start) × (mouse − edge start).
double Side(double sx, double sy, double ex, double ey, double mx, double my) {
  return vehicle::Sign((ex - sx) * (my - sy) - (ey - sy) * (mx - sx));
}

}  // namespace

bool OnGround(const state::TMainState& s) {
  if (!vehicle::TFormTable::InRange(s.Own.FormNo)) return false;
  return s.Own.Z >= s.Forms[s.Own.FormNo].RestZ;
}

void OnKeyDown(state::TMainState& s, int32_t& key, uint32_t shift, uint32_t now) {
  if (key == kKeyF8) s.Requests.ShowHelp = true;
  // No vehicle yet (or none of a known type): no control acts.
  if (!vehicle::TFormTable::InRange(s.Own.FormNo)) return;

  const bool aircraft = s.Own.Kind == vehicle::kKindAircraft;
  const bool shiftHeld = (shift & kShiftKey) != 0;
  switch (key) {
    case kKeyF1:
      s.Brake = OnGround(s) ? 1 : 0;
      break;
    case kKeyF2:
      s.ThrottleRate = -0.2 * s.ThrottleMax;
      break;
    case kKeyF3:
      s.ThrottleRate = 0.2 * s.ThrottleMax;
      break;
    case kKeyF4:
      if (aircraft) {
        s.Throttle = 0.9 * s.ThrottleMax;
        if (OnGround(s)) s.Log("自分> Take off.");
      } else {
        s.Throttle = s.ThrottleMax;
      }
      break;
    case kKeyF5:
      if (!aircraft) break;
      s.GearCommand = 1 - s.GearCommand;
      if (!IsAirliner(s.Own.FormNo)) s.GearSet = s.GearCommand;
      if (s.GearCommand != s.GearSet) {
        s.Log(s.GearCommand >= 0.5 ? "自分> Gear down." : "自分> Gear up.");
        s.CommandTime = now;
      }
      break;
    case kKeyF6:
      if (aircraft) MoveFlaps(s, false, now);
      break;
    case kKeyF7:
      if (aircraft) MoveFlaps(s, true, now);
      break;
    case kKeyNumLock:
      if ((shift & (kShiftKey | kAltKey | kCtrlKey)) == (kShiftKey | kAltKey | kCtrlKey)) {
        s.Freeze = static_cast<uint8_t>(1 - s.Freeze);
      }
      break;
    case kKeyUp:
      if (shiftHeld) {
        s.ViewDirection = 0;
      } else {
        s.PitchInput = -1;
      }
      break;
    case kKeyRight:
      if (shiftHeld) {
        s.ViewDirection = 90;
      } else {
        s.RollInput = 1;
      }
      break;
    case kKeyDown:
      if (shiftHeld) {
        s.ViewDirection = 180;
      } else {
        s.PitchInput = 1;
      }
      break;
    case kKeyLeft:
      if (shiftHeld) {
        s.ViewDirection = 270;
      } else {
        s.RollInput = -1;
      }
      break;
    case kKeyEnd:
      if (!shiftHeld) s.EndKey = 1;
      break;
    default:
      break;
  }
  if (key == kKeyF3 || key == kKeyF4) s.Brake = 0;
  // Power on the ground after a landing begins a take-off run: its speeds are called.
  if ((key == kKeyF3 || key == kKeyF4) && aircraft && OnGround(s)) s.LandingRoll = 0;
  if (IsArrow(key)) key = 0;
}

void OnKeyUp(state::TMainState& s, int32_t& key, uint32_t /*shift*/) {
  if (!vehicle::TFormTable::InRange(s.Own.FormNo)) return;
  switch (key) {
    case kKeyF1:
      if (!OnGround(s)) {
        s.Brake = 0;
      } else if (std::fabs(s.Own.VX) < 0.001 && std::fabs(s.Own.VY) < 0.001) {
        s.Brake = 1;  // released at rest: the brake stays on
      } else {
        s.Brake = 0;
        pilot::TrimThrottle(s, s.Own);
      }
      break;
    case kKeyF2:
    case kKeyF3:
      s.ThrottleRate = 0;
      break;
    case kKeyUp:
    case kKeyDown:
      s.PitchInput = 0;
      break;
    case kKeyLeft:
    case kKeyRight:
      s.RollInput = 0;
      break;
    case kKeyEnd:
      s.EndKey = 0;
      break;
    default:
      break;
  }
}

void ListBoxNaviMouseUp(state::TMainState& s) {
  if (!IsAirliner(s.Own.FormNo)) return;
  s.Panels.Navi = false;
  s.Panels.Dest = true;
  s.Requests.FocusChatInput = true;
}

void ListBoxViewMouseDown(state::TMainState& s, int32_t x, int32_t y, int32_t width, int32_t height) {
  if (s.World == nullptr || width <= 0 || height <= 0) return;
  const double t = std::tan(s.FieldOfView / 2 / kDegreesPerRadian);
  // A wider view than the default one reaches further to the sides.
  const double stretch = double(width) * cockpit::kViewHeight / (double(height) * cockpit::kViewWidth);
  const double mx = (2.0 * x / width - 1) * t * (kViewAspect * stretch);
  const double my = -(2.0 * y / height - 1) * t;
  const vehicle::TVehicleState& cam = s.Camera;

  for (int i = 0; i < s.World->Objects.Count(); ++i) {
    const auto* banner = dynamic_cast<const world::TBannerInfo*>(&s.World->Objects[i]);
    if (banner == nullptr) continue;
    // Corners top-1, bottom-1, top-2, bottom-2 on the view plane at distance 1.
    const double corners[4][3] = {{banner->X1, banner->Y1, banner->TopZ},
                                  {banner->X1, banner->Y1, kBannerFoot},
                                  {banner->X2, banner->Y2, banner->TopZ},
                                  {banner->X2, banner->Y2, kBannerFoot}};
    double px[4], py[4];
    bool ahead = true;
    for (int c = 0; c < 4; ++c) {
      const vehicle::TBodyVector b =
          vehicle::WorldToBody(cam, corners[c][0] - s.OriginX - cam.X,
                               corners[c][1] - s.OriginY - cam.Y, corners[c][2] - cam.Z);
      if (!(b.Forward > 0)) {
        ahead = false;
        break;
      }
      px[c] = b.Right / b.Forward;
      py[c] = b.Up / b.Forward;
    }
    if (!ahead) continue;
    const bool betweenUprights = Side(px[0], py[0], px[1], py[1], mx, my) *
                                     Side(px[2], py[2], px[3], py[3], mx, my) < 0;
    const bool betweenEdges = Side(px[0], py[0], px[2], py[2], mx, my) *
                                  Side(px[1], py[1], px[3], py[3], mx, my) < 0;
    if (betweenUprights && betweenEdges) {
      s.Requests.OpenLinks.push_back(banner->Text);
      return;
    }
  }
}

void LockOnStep(state::TMainState& s, cockpit::TCanvas* view, int32_t width, int32_t height,
                uint32_t now) {
  s.LockedOn = 0;
  if (s.Own.UserNo == 0 || !IsFighter(s.Own.FormNo)) return;

  // Only the first fighter of the own group in list order is a candidate.
  const vehicle::TVehicleState* target = nullptr;
  const int remotes = vehicle::RemoteCount(s.Remote);
  for (int i = 0; i < remotes; ++i) {
    const vehicle::TVehicleState& r = s.Remote[static_cast<std::size_t>(i)];
    if (r.Kind == vehicle::kKindAircraft && IsFighter(r.FormNo) && r.GroupNo == s.Own.GroupNo) {
      target = &r;
      break;
    }
  }
  if (target == nullptr) return;

  const double dx = target->X - s.Own.X, dy = target->Y - s.Own.Y, dz = target->Z - s.Own.Z;
  if (!(dx * dx + dy * dy + dz * dz <= kLockRange * kLockRange)) return;
  vehicle::TBodyVector b = vehicle::WorldToBody(s.Own, dx, dy, dz);
  if (!(std::fabs(b.Right) <= b.Forward * kLockConeTangent &&
        std::fabs(b.Up) <= b.Forward * kLockConeTangent)) {
    return;
  }
  s.LockedOn = 1;

  if ((s.ReplayMode == 0 || s.ReplayMode == 6) &&
      static_cast<int32_t>((now - s.LastShotTime) & 0x7FFFFFFFu) >= kFireInterval &&
      (s.EndKey != 0 || s.JoystickButton != 0)) {
    app::SendShot(s, target->UserNo);
    s.LastShotTime = now;
    s.Cues.Push(state::TCueKind::Shot);
  }

  if (s.ViewDirection != 0 || view == nullptr) return;
  const vehicle::TFormParam& form = s.Forms[s.Own.FormNo];
  b.Right -= form.EyeRight;
  b.Up -= form.EyeUp;
  b.Forward -= form.EyeForward;
  if (!(b.Forward > 0)) return;
  const int32_t w = width / 2, h = height / 2;
  const double x =
      w + std::nearbyint(b.Right / b.Forward * cockpit::HorizontalViewScale(width, height) * w);
  const double y = h - std::nearbyint(b.Up / b.Forward * 3.732051 * h);
  constexpr double kLimit = std::numeric_limits<int32_t>::max() / 2;
  if (!(std::fabs(x) < kLimit && std::fabs(y) < kLimit)) return;
  const auto bx = static_cast<int32_t>(x), by = static_cast<int32_t>(y);
  view->SetBrush(0, true);
  view->SetPen(kTargetBoxColour, 2);
  view->Rectangle(bx - 10, by - 10, bx + 11, by + 11);
}

}  // namespace velmora::app
