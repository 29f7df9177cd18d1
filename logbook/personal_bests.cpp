#include "logbook/personal_bests.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <utility>

#include "app/run_charts.h"
#include "vehicle/units.h"

namespace velmora::logbook {

std::optional<TBestKind> BestKindOf(const TEventRow& e) {
  if (e.Kind == "touchdown") {
    if (e.Bounces != 0 || e.Grade == "crash" || e.Runway.empty()) return std::nullopt;
    if (!(std::fabs(e.FromAimPoint) <= kBestAimPointReach)) return std::nullopt;
    if (!(std::fabs(e.CentreLine) <= kBestCentreLineReach)) return std::nullopt;
    return TBestKind::Landing;
  }
  if (e.Kind == "stop") {
    if (e.ProtectionBrakes != 0) return std::nullopt;
    return TBestKind::Stop;
  }
  if (e.Kind == "race" && e.RaceTime > 0) return TBestKind::Race;
  return std::nullopt;
}

bool Beats(const TEventRow& a, const TEventRow& b, TBestKind kind) {
  switch (kind) {
    case TBestKind::Landing:
      return a.SinkRate < b.SinkRate;
    case TBestKind::Stop:
      return std::fabs(a.StopError) < std::fabs(b.StopError);
    case TBestKind::Race:
      return a.RaceTime < b.RaceTime;
  }
  return false;
}

std::vector<TBest> FindBests(const std::vector<TRunRow>& runs) {
  std::map<std::pair<std::string, TBestKind>, TBest> bests;
  for (const TRunRow& run : runs) {
    for (const TEventRow& e : run.Events) {
      const std::optional<TBestKind> kind = BestKindOf(e);
      if (!kind) continue;
      const auto key = std::make_pair(run.Mission, *kind);
      const auto found = bests.find(key);
      if (found != bests.end() && !Beats(e, found->second.Event, *kind)) continue;
      bests[key] = TBest{run.Mission, *kind, run.Id, run.Started, run.Vehicle, e};
    }
  }
  std::vector<TBest> out;
  for (auto& [key, best] : bests) out.push_back(std::move(best));
  return out;
}

std::vector<std::string> MergeBests(std::vector<TBest>& bests, const TRunRow& run) {
  std::vector<std::string> lines;
  for (TBest& best : FindBests({run})) {
    const auto old = std::find_if(bests.begin(), bests.end(), [&](const TBest& b) {
      return b.Mission == best.Mission && b.Kind == best.Kind;
    });
    if (old == bests.end()) {
      bests.push_back(std::move(best));
    } else if (old->RunId != run.Id && Beats(best.Event, old->Event, best.Kind)) {
      const std::string before = BestText(*old);
      lines.push_back("自己ベスト " + BestText(best) + "  これまで " +
                      before.substr(std::string(BestKindName(old->Kind)).size() + 1) + "  " +
                      best.Mission);
      *old = std::move(best);
    }
  }
  return lines;
}

const char* BestKindName(TBestKind kind) {
  switch (kind) {
    case TBestKind::Landing:
      return "着陸";
    case TBestKind::Stop:
      return "停止";
    case TBestKind::Race:
      return "レース";
  }
  return "";
}

std::string BestText(const TBest& best) {
  const TEventRow& e = best.Event;
  char text[160];
  switch (best.Kind) {
    case TBestKind::Landing:
      std::snprintf(text, sizeof text, "%.0f ft/min（目標点 %+.0f m、中心線 %s %.1f m）",
                    e.SinkRate * units::kFeetPerMinutePerMetrePerSecond, e.FromAimPoint,
                    e.CentreLine >= 0 ? "右" : "左", std::fabs(e.CentreLine));
      break;
    case TBestKind::Stop:
      std::snprintf(text, sizeof text, "停止位置から %+.2f m", e.StopError);
      break;
    case TBestKind::Race:
      std::snprintf(text, sizeof text, "%s", app::LapTimeText(e.RaceTime).c_str());
      break;
  }
  return std::string(BestKindName(best.Kind)) + " " + text;
}

}  // namespace velmora::logbook
