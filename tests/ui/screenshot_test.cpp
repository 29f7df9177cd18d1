// The program's window with the real renderer library, headless: a vehicle
// placed by the server sees the ground and the sky, and the caption carries
// the status line.
#include <gtest/gtest.h>

#include <set>

#include "app/protocol.h"
#include "tests/ui/ui_test_support.h"
#include "ui/form_main.h"
#include "ui/renderer_binding.h"

namespace velmora::ui {
namespace {

constexpr int kColourTol = 8;  // per channel: the renderer's colour rounding

bool Near(QRgb pixel, int r, int g, int b) {
  return std::abs(qRed(pixel) - r) <= kColourTol && std::abs(qGreen(pixel) - g) <= kColourTol &&
         std::abs(qBlue(pixel) - b) <= kColourTol;
}

TEST(Screenshot, PlacedVehicleSeesTheWorld) {
  testing::App();
  TRendererLibrary library;
  std::string error;
  ASSERT_TRUE(library.Open({PRISMOTH_LIBRARY}, error)) << error;
  vehicle::TableRenderer renderer(library.Table());
  const auto folder = testing::WriteSmallInstallation();
  ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(folder.string())));

  TFormHelp help;
  TStartOptions options;
  options.Headless = true;
  options.OpenSocket = false;
  TFormMain form(renderer, help, options);
  ASSERT_TRUE(form.FormShow()) << "the renderer or the data failed to start";

  // The server accepts the login and places the car 20 m south of the line,
  // heading north.
  state::TMainState& s = form.State();
  app::ClientSocketRead(s, "52566771;30;7;3;\n", form.Now());
  const std::string place = "52566771;40;100;" + std::to_string(form.Now()) +
                            ";0;0;7;1;2;20;0;-2000;-60;0;0;0;0;0;0;0;0;0;0;\n";
  app::ClientSocketRead(s, place, form.Now());
  form.CarryOutRequests();
  ASSERT_EQ(s.Own.FormNo, 20);
  EXPECT_TRUE(form.TimerInterval->isActive());

  form.TimerIntervalTimer();
  const QImage image = form.ListBoxView->Image().convertToFormat(QImage::Format_RGB32);
  std::set<QRgb> colours;
  for (int y = 0; y < image.height(); y += 8) {
    for (int x = 0; x < image.width(); x += 8) colours.insert(image.pixel(x, y));
  }
  EXPECT_GT(colours.size(), 1u) << "the 3D view is uniform: " << std::hex << *colours.begin();
  // Sky at the top, the green ground at the bottom.
  EXPECT_TRUE(Near(image.pixel(508, 5), 0x80, 0xC0, 0xFF)) << std::hex << image.pixel(508, 5);
  EXPECT_TRUE(Near(image.pixel(100, 570), 0x20, 0x80, 0x20)) << std::hex << image.pixel(100, 570);
  EXPECT_TRUE(form.windowTitle().startsWith("Pow")) << form.windowTitle().toStdString();
  EXPECT_TRUE(form.windowTitle().contains("Spd   0m/s")) << form.windowTitle().toStdString();
  form.close();
}

}  // namespace
}  // namespace velmora::ui
