// The charts of a run as plain data, drawn by the shell with a chart library:
// for an aircraft's approach and landing, the height and the centre-line
// offset against the distance from the threshold, airspeed and sink rate
// against time, and the runway from above; for a train, its speed against
// the distance along the line under the track's limits; for a race, the
// speed against the distance of each lap. A second run of the same mission
// (a comparison, or the personal best) is overlaid where given.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/run_trace.h"

namespace velmora::app {

enum class TSeriesStyle {
  Line,
  Dashed,  // a reference: the 3° path, the centre line, the other run
  Step,    // a stepped line: the track's limits
  Points,  // marks: each point with its label
};

struct TChartPoint {
  double X = 0, Y = 0;
};

struct TChartSeries {
  std::string Name;
  TSeriesStyle Style = TSeriesStyle::Line;
  uint32_t Colour = 0;  // 0xRRGGBB
  std::vector<TChartPoint> Points;
  std::vector<std::string> Labels;  // Points: one per point, may be empty
  bool RightAxis = false;           // read against the chart's right axis
};

struct TChart {
  std::string Title;
  std::string XTitle, YTitle, RightTitle;  // RightTitle empty: no right axis
  std::vector<TChartSeries> Series;
};

// Chart colours.
inline constexpr uint32_t kOwnColour = 0x1f5fbf;
inline constexpr uint32_t kOtherColour = 0x8c8c8c;
inline constexpr uint32_t kReferenceColour = 0xd02090;
inline constexpr uint32_t kLimitColour = 0xc02020;
inline constexpr uint32_t kCautionColour = 0xe0a000;
inline constexpr uint32_t kMarkColour = 0x101010;
inline constexpr uint32_t kSecondColour = 0x20a040;

// An approach is charted from this far before the threshold.
inline constexpr double kApproachChartFrom = 10000;  // m

// The charts of a run; `other` (may be null) is overlaid under `otherName`.
std::vector<TChart> RunCharts(const TRunTrace& trace, const TRunTrace* other = nullptr,
                              const std::string& otherName = "");

// The distance travelled at each sample (m), from the first.
std::vector<double> PathDistances(const TRunTrace& trace);

// "1:23.4" for a time in seconds.
std::string LapTimeText(double seconds);

}  // namespace velmora::app
