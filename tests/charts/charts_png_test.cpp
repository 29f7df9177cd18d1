// The charts drawn offscreen: a picture of the size asked for, with the
// run's line drawn in its colour and the chart's frame and texts on white.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>

#include "app/run_charts.h"
#include "charts/run_charts_view.h"
#include "vehicle/vehicle_state.h"

namespace velmora::charts {
namespace {

// A short approach: 2 km on the 3° path onto a runway running north.
app::TRunTrace Approach() {
  app::TRunTrace t;
  t.Kind = vehicle::kKindAircraft;
  t.Runway = {true, 0, 0, 0, 2500, 45};
  for (int i = 0; i <= 120; ++i) {
    app::TTraceSample x;
    x.Time = static_cast<uint32_t>(i) * app::kTraceInterval;
    x.Y = -2000 + 19.0 * i;
    x.Height = std::max(0.0, (300 - x.Y) * 0.0524);
    x.Airspeed = 72;
    x.GroundSpeed = 72;
    x.SinkRate = 3.8;
    t.Samples.push_back(x);
  }
  t.Events.push_back({app::TTraceEventKind::Touchdown, 120 * app::kTraceInterval, 0, 280, 72});
  return t;
}

bool NearColour(QRgb pixel, uint32_t rgb) {
  constexpr int kColourTol = 40;  // per channel: antialiased edges blend with the white
  return std::abs(qRed(pixel) - static_cast<int>(rgb >> 16 & 0xff)) < kColourTol &&
         std::abs(qGreen(pixel) - static_cast<int>(rgb >> 8 & 0xff)) < kColourTol &&
         std::abs(qBlue(pixel) - static_cast<int>(rgb & 0xff)) < kColourTol;
}

TEST(ChartsPngTest, DrawsTheChartsAtTheSizeAskedWithTheRunsLine) {
  const std::vector<app::TChart> charts = app::RunCharts(Approach());
  ASSERT_EQ(charts.size(), 4u);
  const std::string png = ChartsPng(charts, 900, 700);
  ASSERT_EQ(png.compare(0, 8, "\x89PNG\r\n\x1a\n"), 0);
  QImage image;
  ASSERT_TRUE(image.loadFromData(reinterpret_cast<const uchar*>(png.data()),
                                 static_cast<int>(png.size()), "PNG"));
  EXPECT_EQ(image.size(), QSize(900, 700));
  int white = 0, own = 0, reference = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QRgb p = image.pixel(x, y);
      white += p == qRgb(255, 255, 255);
      own += NearColour(p, app::kOwnColour);
      reference += NearColour(p, app::kReferenceColour);
    }
  }
  const int all = image.width() * image.height();
  EXPECT_LT(white, all * 95 / 100) << "the charts drew something";
  EXPECT_GT(white, all / 2) << "mostly the charts' white ground";
  EXPECT_GT(own, 200) << "the run's lines";
  EXPECT_GT(reference, 100) << "the 3° path and the centre line";
}

}  // namespace
}  // namespace velmora::charts

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
