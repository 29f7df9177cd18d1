#include "app/panels.h"

#include <string>

#include "pilot/approach.h"
#include "pilot/crew.h"

namespace velmora::app {
namespace {

constexpr uint32_t kBlack = 0x000000;

void Blank(cockpit::TCanvas* canvas) {
  if (canvas == nullptr) return;
  canvas->SetBrush(kBlack, false);
  canvas->Rectangle(-1, -1, 1001, 1001);
}

// The panel shown in place of the destination grid: the grid itself again
// in practice mode, the navigation display in a mission.
void ShowDestinationOrNavi(state::TMainState& s, bool practice) {
  s.Panels.Dest = practice;
  s.Panels.Navi = !practice;
}

}  // namespace

void StringGridDestClick(state::TMainState& s, uint32_t now, const TCockpitCanvases& canvases) {
  if (s.World == nullptr) return;
  world::TWorld& world = *s.World;
  const int32_t n = world.DestinationCount;
  const int32_t row = s.DestRow;
  const bool practice = s.Start.Kind == 0;
  std::string& cancelRow = world.DestinationPanel.Rows[static_cast<std::size_t>(n + 1)];
  s.Panels.Dest = false;

  const world::TRunwayInfo* chosen =
      (row >= 1 && row <= n) ? world.Destinations[static_cast<std::size_t>(row - 1)] : nullptr;
  if (chosen != nullptr) {
    s.SelectedDestination = row - 1;
    s.Log("自分> 行先に" + chosen->Name + "を指定しました。");
    if (s.GuidanceMode >= pilot::kModePositioning && s.GuidanceMode <= pilot::kModeFinal) {
      s.GuidanceMode = pilot::kModePositioning;
    } else if (s.GuidanceMode >= pilot::kModeDestinationChosen) {
      s.GuidanceMode = pilot::kModeDestinationChosen;
    }
    cancelRow = "・行先の指定を解除する";
    if (practice && vehicle::IsAirliner(s.Start.FormNo)) pilot::PlaceOnApproach(s, *chosen, now);
    s.Panels.Navi = true;
  } else if (row == n + 1) {
    if (s.SelectedDestination >= 0) {
      s.SelectedDestination = -1;
      s.Log("自分> 行先の指定を解除しました。");
      if (!practice) {
        const bool engaged =
            s.GuidanceMode >= pilot::kModePositioning && s.GuidanceMode <= pilot::kModeFinal;
        if (engaged) s.Callout(state::TCall::AutopilotDisengaged);
        if (s.GuidanceMode >= pilot::kModeDestinationChosen) {
          s.GuidanceMode = pilot::kModeDestinationChosen;
        }
      } else {
        // The practice flight ends: no vehicle until the next destination.
        s.Own = s.Start;
        s.Own.Time = static_cast<int32_t>(now);
        Blank(canvases.PFD);
        Blank(canvases.Indicator);
        Blank(canvases.Power);
      }
      cancelRow = "・行先を指定しない";
    }
    ShowDestinationOrNavi(s, practice);
  } else {
    // "・そのまま" (or a row that is no destination): back to the row of the
    // destination in force.
    const bool selected = s.SelectedDestination >= 0 && s.SelectedDestination < n;
    s.DestRow = selected ? s.SelectedDestination + 1 : n + 1;
    ShowDestinationOrNavi(s, practice);
  }
  s.Requests.FocusChatInput = true;
}

}  // namespace velmora::app
