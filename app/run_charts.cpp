#include "app/run_charts.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "pilot/train_protection.h"
#include "vehicle/units.h"
#include "vehicle/vehicle_state.h"
#include "world/runway_geometry.h"

namespace velmora::app {

namespace {

constexpr double kMs = 1000;  // ms per s

TChartSeries Series(std::string name, TSeriesStyle style, uint32_t colour) {
  TChartSeries s;
  s.Name = std::move(name);
  s.Style = style;
  s.Colour = colour;
  return s;
}

void Mark(TChartSeries& marks, double x, double y, std::string label) {
  marks.Points.push_back({x, y});
  marks.Labels.push_back(std::move(label));
}

// A point in the runway's axes: metres past the threshold and right of the centre line.
TChartPoint RunwayPoint(const TTraceRunway& r, double x, double y) {
  const double s = std::sin(r.Course * units::kRadiansPerDegree);
  const double c = std::cos(r.Course * units::kRadiansPerDegree);
  const double east = x - r.ThresholdX, north = y - r.ThresholdY;
  return {east * s + north * c, east * c - north * s};
}

// The samples up to this time (ms), or every one.
std::size_t SamplesUntil(const TRunTrace& t, uint32_t time) {
  return static_cast<std::size_t>(
      std::upper_bound(t.Samples.begin(), t.Samples.end(), time,
                       [](uint32_t at, const TTraceSample& x) { return at < x.Time; }) -
      t.Samples.begin());
}

const TTraceEvent* FirstEvent(const TRunTrace& t, TTraceEventKind kind) {
  for (const TTraceEvent& e : t.Events) {
    if (e.Kind == kind) return &e;
  }
  return nullptr;
}

// The sample index at or just before a time.
std::size_t SampleAt(const TRunTrace& t, uint32_t time) {
  const std::size_t n = SamplesUntil(t, time);
  return n == 0 ? 0 : n - 1;
}

// Height against the distance from the threshold over the approach, up to
// the first touchdown (the whole run without one).
TChartSeries ApproachHeight(const TRunTrace& t, std::string name, TSeriesStyle style,
                            uint32_t colour, bool centreLine) {
  TChartSeries s = Series(std::move(name), style, colour);
  const TTraceEvent* touchdown = FirstEvent(t, TTraceEventKind::Touchdown);
  const std::size_t n =
      touchdown != nullptr ? SamplesUntil(t, touchdown->Time) : t.Samples.size();
  for (std::size_t i = 0; i < n; ++i) {
    const TChartPoint p = RunwayPoint(t.Runway, t.Samples[i].X, t.Samples[i].Y);
    if (p.X < -kApproachChartFrom) continue;
    s.Points.push_back({p.X, centreLine ? p.Y : t.Samples[i].Height});
  }
  if (touchdown != nullptr) {
    const TChartPoint p = RunwayPoint(t.Runway, touchdown->X, touchdown->Y);
    s.Points.push_back({p.X, centreLine ? p.Y : 0});
  }
  return s;
}

std::vector<TChart> AircraftCharts(const TRunTrace& t, const TRunTrace* other,
                                   const std::string& otherName) {
  std::vector<TChart> charts;
  const bool otherApproach = other != nullptr && other->Runway.Known;
  const TTraceEvent* touchdown = FirstEvent(t, TTraceEventKind::Touchdown);
  if (t.Runway.Known) {
    TChart height;
    height.Title = "進入: 高度";
    height.XTitle = "滑走路端からの距離 (m)";
    height.YTitle = "高度 (m)";
    TChartSeries own = ApproachHeight(t, "高度", TSeriesStyle::Line, kOwnColour, false);
    const double from = own.Points.empty() ? -kApproachChartFrom / 2
                                           : std::min(-1000.0, own.Points.front().X);
    TChartSeries path = Series("3° パス", TSeriesStyle::Dashed, kReferenceColour);
    path.Points = {{from, (world::kAimPointDistance - from) * world::kGlideSlope},
                   {world::kAimPointDistance, 0}};
    height.Series.push_back(std::move(path));
    height.Series.push_back(std::move(own));
    if (otherApproach) {
      height.Series.push_back(
          ApproachHeight(*other, otherName, TSeriesStyle::Dashed, kOtherColour, false));
    }
    TChartSeries marks = Series("目標点と接地点", TSeriesStyle::Points, kMarkColour);
    Mark(marks, world::kAimPointDistance, 0, "目標点 300 m");
    if (touchdown != nullptr) {
      Mark(marks, RunwayPoint(t.Runway, touchdown->X, touchdown->Y).X, 0, "接地");
    }
    height.Series.push_back(std::move(marks));
    charts.push_back(std::move(height));

    TChart centre;
    centre.Title = "進入: 中心線からのずれ";
    centre.XTitle = "滑走路端からの距離 (m)";
    centre.YTitle = "右へのずれ (m)";
    TChartSeries line = Series("中心線", TSeriesStyle::Dashed, kReferenceColour);
    TChartSeries offset = ApproachHeight(t, "ずれ", TSeriesStyle::Line, kOwnColour, true);
    line.Points = {{from, 0}, {std::max(world::kAimPointDistance, offset.Points.empty()
                                                                      ? 0.0
                                                                      : offset.Points.back().X),
                               0}};
    centre.Series.push_back(std::move(line));
    centre.Series.push_back(std::move(offset));
    if (otherApproach) {
      centre.Series.push_back(
          ApproachHeight(*other, otherName, TSeriesStyle::Dashed, kOtherColour, true));
    }
    charts.push_back(std::move(centre));
  }

  TChart speeds;
  speeds.Title = "対気速度と降下率";
  speeds.XTitle = "時間 (s)";
  speeds.YTitle = "対気速度 (kt)";
  speeds.RightTitle = "降下率 (ft/min)";
  TChartSeries airspeed = Series("対気速度", TSeriesStyle::Line, kOwnColour);
  TChartSeries sink = Series("降下率", TSeriesStyle::Line, kSecondColour);
  sink.RightAxis = true;
  for (const TTraceSample& x : t.Samples) {
    airspeed.Points.push_back({x.Time / kMs, x.Airspeed * units::kKnotsPerMetrePerSecond});
    sink.Points.push_back({x.Time / kMs, x.SinkRate * units::kFeetPerMinutePerMetrePerSecond});
  }
  TChartSeries marks = Series("接地", TSeriesStyle::Points, kMarkColour);
  for (const TTraceEvent& e : t.Events) {
    if (e.Kind != TTraceEventKind::Touchdown && e.Kind != TTraceEventKind::Bounce) continue;
    const std::size_t i = SampleAt(t, e.Time);
    const double kt = t.Samples.empty() ? 0 : t.Samples[i].Airspeed * units::kKnotsPerMetrePerSecond;
    Mark(marks, e.Time / kMs, kt, e.Kind == TTraceEventKind::Touchdown ? "接地" : "バウンド");
  }
  speeds.Series.push_back(std::move(airspeed));
  speeds.Series.push_back(std::move(sink));
  if (!marks.Points.empty()) speeds.Series.push_back(std::move(marks));
  charts.push_back(std::move(speeds));

  if (t.Runway.Known && touchdown != nullptr) {
    const TTraceRunway& r = t.Runway;
    TChart runway;
    runway.Title = "滑走路（上から）";
    runway.XTitle = "滑走路端からの距離 (m)";
    runway.YTitle = "中心線から右 (m)";
    TChartSeries edge = Series("滑走路", TSeriesStyle::Line, kMarkColour);
    const double w = r.Width / 2;
    edge.Points = {{0, -w}, {r.Length, -w}, {r.Length, w}, {0, w}, {0, -w}};
    TChartSeries centre = Series("中心線", TSeriesStyle::Dashed, kReferenceColour);
    centre.Points = {{0, 0}, {r.Length, 0}};
    TChartSeries track = Series("軌跡", TSeriesStyle::Line, kOwnColour);
    for (std::size_t i = SampleAt(t, touchdown->Time); i < t.Samples.size(); ++i) {
      track.Points.push_back(RunwayPoint(r, t.Samples[i].X, t.Samples[i].Y));
    }
    TChartSeries points = Series("接地・バウンド・停止", TSeriesStyle::Points, kMarkColour);
    Mark(points, world::kAimPointDistance, 0, "目標点");
    for (const TTraceEvent& e : t.Events) {
      const TChartPoint p = RunwayPoint(r, e.X, e.Y);
      if (e.Kind == TTraceEventKind::Touchdown) Mark(points, p.X, p.Y, "接地");
      if (e.Kind == TTraceEventKind::Bounce) Mark(points, p.X, p.Y, "バウンド");
    }
    if (!t.Samples.empty() && t.Samples.back().GroundSpeed < 1) {
      const TChartPoint p = RunwayPoint(r, t.Samples.back().X, t.Samples.back().Y);
      Mark(points, p.X, p.Y, "停止");
    }
    runway.Series = {std::move(edge), std::move(centre), std::move(track), std::move(points)};
    charts.push_back(std::move(runway));
  }
  return charts;
}

struct TLap {
  std::size_t From = 0, To = 0;  // samples [From, To)
  double Time = 0;               // s
};

TChartSeries LapSeries(const TRunTrace& t, const TLap& lap, std::string name, TSeriesStyle style,
                       uint32_t colour) {
  TChartSeries s = Series(std::move(name), style, colour);
  double along = 0;
  for (std::size_t i = lap.From; i < lap.To; ++i) {
    if (i > lap.From) {
      along += std::hypot(t.Samples[i].X - t.Samples[i - 1].X, t.Samples[i].Y - t.Samples[i - 1].Y);
    }
    s.Points.push_back({along, t.Samples[i].GroundSpeed * units::kKmhPerMetrePerSecond});
  }
  return s;
}

TChartSeries SpeedAlong(const TRunTrace& t, std::string name, TSeriesStyle style, uint32_t colour) {
  return LapSeries(t, {0, t.Samples.size(), 0}, std::move(name), style, colour);
}

TChart TrainChart(const TRunTrace& t, const TRunTrace* other, const std::string& otherName) {
  TChart chart;
  chart.Title = "速度と制限速度";
  chart.XTitle = "走行距離 (m)";
  chart.YTitle = "速度 (km/h)";
  const std::vector<double> d = PathDistances(t);
  TChartSeries limit = Series("制限速度", TSeriesStyle::Step, kLimitColour);
  TChartSeries caution = Series("注意速度", TSeriesStyle::Step, kCautionColour);
  for (std::size_t i = 0; i < t.Samples.size(); ++i) {
    const double l = t.Samples[i].SpeedLimit;
    if (std::isnan(l) || l < pilot::kLowestSpeedLimit) continue;
    limit.Points.push_back({d[i], l * units::kKmhPerMetrePerSecond});
    caution.Points.push_back({d[i], pilot::CautionSpeed(l) * units::kKmhPerMetrePerSecond});
  }
  chart.Series.push_back(std::move(limit));
  chart.Series.push_back(std::move(caution));
  chart.Series.push_back(SpeedAlong(t, "速度", TSeriesStyle::Line, kOwnColour));
  if (other != nullptr) {
    chart.Series.push_back(SpeedAlong(*other, otherName, TSeriesStyle::Dashed, kOtherColour));
  }
  TChartSeries marks = Series("停止位置と ATS", TSeriesStyle::Points, kMarkColour);
  for (const TTraceEvent& e : t.Events) {
    if (t.Samples.empty()) break;
    const std::size_t i = SampleAt(t, e.Time);
    const double kmh = e.Speed * units::kKmhPerMetrePerSecond;
    if (e.Kind == TTraceEventKind::Protection) Mark(marks, d[i], kmh, "ATS");
    if (e.Kind != TTraceEventKind::Stop && e.Kind != TTraceEventKind::MissedStop) continue;
    // The mark lies where the last reading before the event put it.
    std::size_t j = i;
    while (j > 0 && std::isnan(t.Samples[j].StopDistance)) --j;
    if (!std::isnan(t.Samples[j].StopDistance)) {
      Mark(marks, d[j] + t.Samples[j].StopDistance, 0, "停止位置");
    }
    Mark(marks, d[i], kmh, e.Kind == TTraceEventKind::Stop ? "停止" : "通過");
  }
  if (!marks.Points.empty()) chart.Series.push_back(std::move(marks));
  return chart;
}

// The laps between the start-line crossings, the last up to the finish.
std::vector<TLap> Laps(const TRunTrace& t) {
  std::vector<uint32_t> lines;
  for (const TTraceEvent& e : t.Events) {
    if (e.Kind == TTraceEventKind::StartLine || e.Kind == TTraceEventKind::Finish) {
      lines.push_back(e.Time);
    }
  }
  std::vector<TLap> laps;
  for (std::size_t k = 0; k + 1 < lines.size(); ++k) {
    laps.push_back({SampleAt(t, lines[k]), SamplesUntil(t, lines[k + 1]),
                    (lines[k + 1] - lines[k]) / kMs});
  }
  if (laps.empty() && !t.Samples.empty()) {
    laps.push_back({0, t.Samples.size(), t.Samples.back().Time / kMs});
  }
  return laps;
}

TChart RaceChart(const TRunTrace& t, const TRunTrace* other, const std::string& otherName) {
  TChart chart;
  chart.Title = "速度と周回";
  chart.XTitle = "周回の距離 (m)";
  chart.YTitle = "速度 (km/h)";
  constexpr uint32_t kLapColours[] = {kOwnColour, kSecondColour, kCautionColour, kLimitColour};
  const std::vector<TLap> laps = Laps(t);
  for (std::size_t k = 0; k < laps.size(); ++k) {
    chart.Series.push_back(LapSeries(
        t, laps[k], "周回 " + std::to_string(k + 1) + "  " + LapTimeText(laps[k].Time),
        TSeriesStyle::Line, kLapColours[k % std::size(kLapColours)]));
  }
  if (other != nullptr) {
    const std::vector<TLap> otherLaps = Laps(*other);
    const auto fastest = std::min_element(otherLaps.begin(), otherLaps.end(),
                                          [](const TLap& a, const TLap& b) { return a.Time < b.Time; });
    if (fastest != otherLaps.end()) {
      chart.Series.push_back(LapSeries(*other, *fastest,
                                       otherName + "  " + LapTimeText(fastest->Time),
                                       TSeriesStyle::Dashed, kOtherColour));
    }
  }
  return chart;
}

}  // namespace

std::vector<double> PathDistances(const TRunTrace& t) {
  std::vector<double> d(t.Samples.size(), 0.0);
  for (std::size_t i = 1; i < t.Samples.size(); ++i) {
    d[i] = d[i - 1] + std::hypot(t.Samples[i].X - t.Samples[i - 1].X,
                                 t.Samples[i].Y - t.Samples[i - 1].Y);
  }
  return d;
}

std::string LapTimeText(double seconds) {
  const double s = std::max(0.0, seconds);
  const int minutes = static_cast<int>(s / 60);
  char text[32];
  std::snprintf(text, sizeof text, "%d:%04.1f", minutes, s - 60.0 * minutes);
  return text;
}

std::vector<TChart> RunCharts(const TRunTrace& trace, const TRunTrace* other,
                              const std::string& otherName) {
  switch (trace.Kind) {
    case vehicle::kKindAircraft:
      return AircraftCharts(trace, other, otherName);
    case vehicle::kKindTrain:
      return {TrainChart(trace, other, otherName)};
    case vehicle::kKindRoad:
      return {RaceChart(trace, other, otherName)};
    default:
      return {};
  }
}

}  // namespace velmora::app
