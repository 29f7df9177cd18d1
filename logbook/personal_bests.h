// Personal bests, one of each kind per mission: the best landing (the lowest
// sink rate of a touchdown on the runway without a bounce or a crash, within
// 150 m of the aim point and 5 m of the centre line), the train stop nearest
// its mark without the train protection's braking, and the fastest race.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "logbook/logbook.h"

namespace velmora::logbook {

inline constexpr double kBestAimPointReach = 150;  // m along the runway from the aim point
inline constexpr double kBestCentreLineReach = 5;  // m either side of the centre line

enum class TBestKind : int32_t { Landing = 0, Stop = 1, Race = 2 };

// The kind of best an event may be, or none.
std::optional<TBestKind> BestKindOf(const TEventRow& event);
// Whether event a beats b, both of `kind`: strictly better, so that the
// earlier of two equal results keeps the best.
bool Beats(const TEventRow& a, const TEventRow& b, TBestKind kind);

struct TBest {
  std::string Mission;
  TBestKind Kind = TBestKind::Landing;
  int64_t RunId = 0;
  std::string Started;  // the run's start, local time
  std::string Vehicle;
  TEventRow Event;
};

// The bests among these runs (with their events), by mission and kind; the
// runs in the order they were made.
std::vector<TBest> FindBests(const std::vector<TRunRow>& runs);
// Folds a run (with its id and events) into the bests: a mission's first
// result of a kind sets its best, a better one replaces it. Returns a line
// for the message log for each best the run beat ("自己ベスト 着陸 … これまで …").
std::vector<std::string> MergeBests(std::vector<TBest>& bests, const TRunRow& run);
// A best in a few words: "着陸 120 ft/min（目標点 +12 m、中心線 右 1.2 m）" …
std::string BestText(const TBest& best);
const char* BestKindName(TBestKind kind);  // "着陸", "停止", "レース"

}  // namespace velmora::logbook
