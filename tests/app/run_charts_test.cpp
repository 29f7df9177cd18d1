// The charts' data for short scripted runs: series and marks, not pixels.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "app/run_charts.h"
#include "vehicle/units.h"
#include "vehicle/vehicle_state.h"
#include "world/runway_geometry.h"

namespace velmora::app {
namespace {

constexpr double kPositionTol = 1e-6;  // m: the charts only rotate into the runway's axes

const TChart& ChartTitled(const std::vector<TChart>& charts, const std::string& title) {
  for (const TChart& c : charts) {
    if (c.Title == title) return c;
  }
  ADD_FAILURE() << "no chart " << title;
  static const TChart none;
  return none;
}

const TChartSeries& SeriesNamed(const TChart& chart, const std::string& name) {
  for (const TChartSeries& s : chart.Series) {
    if (s.Name == name) return s;
  }
  ADD_FAILURE() << "no series " << name << " in " << chart.Title;
  static const TChartSeries none;
  return none;
}

// The label at a mark, and its point.
struct TMarkSeen {
  std::string Label;
  double X, Y;
};
std::vector<TMarkSeen> Marks(const TChartSeries& s) {
  std::vector<TMarkSeen> out;
  for (std::size_t i = 0; i < s.Points.size(); ++i) {
    out.push_back({i < s.Labels.size() ? s.Labels[i] : "", s.Points[i].X, s.Points[i].Y});
  }
  return out;
}

// A runway running east from (1000, 500), 2500 m by 45 m. An approach from
// 3000 m out on the 3° path at 70 m/s, 2 m right of the line, touching down
// 350 m past the threshold, a bounce at 500 m, and the roll to rest at 1500 m.
TRunTrace ScriptedApproach() {
  TRunTrace t;
  t.Kind = vehicle::kKindAircraft;
  t.Runway = {true, 1000, 500, 90, 2500, 45};
  const auto at = [&](double along, double right) { return std::pair{1000 + along, 500 - right}; };
  uint32_t time = 0;
  for (double along = -3000; along < 350; along += 17.5, time += kTraceInterval) {
    TTraceSample x;
    x.Time = time;
    std::tie(x.X, x.Y) = at(along, 2);
    x.Height = std::max(0.0, (world::kAimPointDistance - along) * world::kGlideSlope);
    x.Airspeed = 70;
    x.GroundSpeed = 70;
    x.SinkRate = 70 * world::kGlideSlope;
    t.Samples.push_back(x);
  }
  const uint32_t touchdown = time;
  TTraceEvent e{TTraceEventKind::Touchdown, touchdown, 0, 0, 70};
  std::tie(e.X, e.Y) = at(350, 1.5);
  t.Events.push_back(e);
  e = {TTraceEventKind::Bounce, touchdown + 2000, 0, 0, 65};
  std::tie(e.X, e.Y) = at(500, 1);
  t.Events.push_back(e);
  for (double along = 350, v = 70; along <= 1500; along += 50, time += kTraceInterval) {
    TTraceSample x;
    x.Time = time;
    std::tie(x.X, x.Y) = at(along, 1);
    v = along >= 1500 ? 0 : v;
    x.GroundSpeed = v;
    t.Samples.push_back(x);
  }
  return t;
}

TEST(RunChartsTest, AnApproachHasItsPathAimPointTouchdownAndRunway) {
  const std::vector<TChart> charts = RunCharts(ScriptedApproach());
  ASSERT_EQ(charts.size(), 4u);

  const TChart& height = ChartTitled(charts, "進入: 高度");
  const TChartSeries& path = SeriesNamed(height, "3° パス");
  ASSERT_EQ(path.Points.size(), 2u);
  EXPECT_NEAR(path.Points[0].X, -3000, kPositionTol);
  EXPECT_NEAR(path.Points[0].Y, 3300 * world::kGlideSlope, kPositionTol);
  EXPECT_NEAR(path.Points[1].X, world::kAimPointDistance, kPositionTol);
  EXPECT_EQ(path.Points[1].Y, 0);
  const TChartSeries& own = SeriesNamed(height, "高度");
  EXPECT_NEAR(own.Points.front().X, -3000, kPositionTol);
  EXPECT_NEAR(own.Points.back().X, 350, kPositionTol);  // up to the touchdown
  EXPECT_EQ(own.Points.back().Y, 0);
  const std::vector<TMarkSeen> marks = Marks(SeriesNamed(height, "目標点と接地点"));
  ASSERT_EQ(marks.size(), 2u);
  EXPECT_EQ(marks[0].Label, "目標点 300 m");
  EXPECT_EQ(marks[1].Label, "接地");
  EXPECT_NEAR(marks[1].X, 350, kPositionTol);

  const TChartSeries& offset = SeriesNamed(ChartTitled(charts, "進入: 中心線からのずれ"), "ずれ");
  EXPECT_NEAR(offset.Points.front().Y, 2, kPositionTol);
  EXPECT_NEAR(offset.Points.back().Y, 1.5, kPositionTol);

  const TChart& speeds = ChartTitled(charts, "対気速度と降下率");
  EXPECT_TRUE(SeriesNamed(speeds, "降下率").RightAxis);
  const std::vector<TMarkSeen> contacts = Marks(SeriesNamed(speeds, "接地"));
  ASSERT_EQ(contacts.size(), 2u);
  EXPECT_EQ(contacts[1].Label, "バウンド");
  EXPECT_DOUBLE_EQ(contacts[1].X - contacts[0].X, 2.0);

  const TChart& runway = ChartTitled(charts, "滑走路（上から）");
  const TChartSeries& edge = SeriesNamed(runway, "滑走路");
  ASSERT_EQ(edge.Points.size(), 5u);
  EXPECT_NEAR(edge.Points[2].X, 2500, kPositionTol);
  EXPECT_NEAR(edge.Points[2].Y, 22.5, kPositionTol);
  const std::vector<TMarkSeen> points = Marks(SeriesNamed(runway, "接地・バウンド・停止"));
  ASSERT_EQ(points.size(), 4u);
  EXPECT_EQ(points[1].Label, "接地");
  EXPECT_NEAR(points[1].Y, 1.5, kPositionTol);
  EXPECT_EQ(points[2].Label, "バウンド");
  EXPECT_NEAR(points[2].X, 500, kPositionTol);
  EXPECT_EQ(points[3].Label, "停止");
  EXPECT_NEAR(points[3].X, 1500, kPositionTol);
  // The roll-out's track starts at the touchdown.
  EXPECT_NEAR(SeriesNamed(runway, "軌跡").Points.front().X, 350, kPositionTol);
}

TEST(RunChartsTest, ATrainHasItsLimitsStopMarkAndProtectionBraking) {
  TRunTrace t;
  t.Kind = vehicle::kKindTrain;
  // 1 km north at 10 m/s: limit 15 m/s for 500 m, then 10 m/s; the mark 1000 m out.
  for (int i = 0; i <= 400; ++i) {
    TTraceSample x;
    x.Time = static_cast<uint32_t>(i) * kTraceInterval;
    x.Y = 2.5 * i;
    x.GroundSpeed = i == 400 ? 0 : 10;
    x.SpeedLimit = x.Y < 500 ? 15 : 10;
    x.StopDistance = 1000 - x.Y + 0.5;  // it stops half a metre short
    t.Samples.push_back(x);
  }
  t.Events = {{TTraceEventKind::Protection, 200 * kTraceInterval, 0, 500, 10},
              {TTraceEventKind::Stop, 400 * kTraceInterval, 0, 1000, 0}};
  const TRunTrace other = t;
  const std::vector<TChart> charts = RunCharts(t, &other, "自己ベスト");
  ASSERT_EQ(charts.size(), 1u);
  const TChart& c = charts[0];
  const TChartSeries& limit = SeriesNamed(c, "制限速度");
  EXPECT_EQ(limit.Style, TSeriesStyle::Step);
  EXPECT_DOUBLE_EQ(limit.Points[199].Y, 15 * units::kKmhPerMetrePerSecond);
  EXPECT_DOUBLE_EQ(limit.Points[200].Y, 10 * units::kKmhPerMetrePerSecond);
  EXPECT_GT(SeriesNamed(c, "注意速度").Points[0].Y, limit.Points[0].Y);
  EXPECT_EQ(SeriesNamed(c, "自己ベスト").Style, TSeriesStyle::Dashed);
  const std::vector<TMarkSeen> marks = Marks(SeriesNamed(c, "停止位置と ATS"));
  ASSERT_EQ(marks.size(), 3u);
  EXPECT_EQ(marks[0].Label, "ATS");
  EXPECT_NEAR(marks[0].X, 500, kPositionTol);
  EXPECT_EQ(marks[1].Label, "停止位置");
  EXPECT_NEAR(marks[1].X, 1000.5, kPositionTol);
  EXPECT_EQ(marks[2].Label, "停止");
}

TEST(RunChartsTest, ARaceHasOneSeriesPerLapWithItsTimeAndTheBestLap) {
  TRunTrace t;
  t.Kind = vehicle::kKindRoad;
  for (int i = 0; i <= 480; ++i) {
    TTraceSample x;
    x.Time = static_cast<uint32_t>(i) * kTraceInterval;
    x.X = 5.0 * i;
    x.GroundSpeed = 20;
    t.Samples.push_back(x);
  }
  // Laps of 50 s and 61.5 s.
  t.Events = {{TTraceEventKind::StartLine, 10000, 0, 0, 20},
              {TTraceEventKind::StartLine, 60000, 0, 0, 20},
              {TTraceEventKind::Finish, 121500, 0, 0, 20}};
  const std::vector<TChart> charts = RunCharts(t, &t, "自己ベスト");
  ASSERT_EQ(charts.size(), 1u);
  const std::vector<TChartSeries>& s = charts[0].Series;
  ASSERT_EQ(s.size(), 3u);
  EXPECT_EQ(s[0].Name, "周回 1  0:50.0");
  EXPECT_EQ(s[1].Name, "周回 2  1:01.5");
  EXPECT_EQ(s[2].Name, "自己ベスト  0:50.0");
  EXPECT_NEAR(s[0].Points.front().X, 0, kPositionTol);
  EXPECT_NEAR(s[0].Points.back().X, 1000, kPositionTol);  // 50 s at 20 m/s
}

}  // namespace
}  // namespace velmora::app
