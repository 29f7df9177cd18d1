// Pictures of the program's window for people: the real form with the real
// renderer library and the sample installation, offscreen. The server's
// login and placing messages are handed to the core as the socket would.
//
//   cockpit_shots airliner|train <data folder> <out.png> [WIDTHxHEIGHT]
//
// The window has its smallest size unless a client size is given.
#include <QApplication>
#include <QDir>
#include <cstdio>
#include <string>

#include "app/protocol.h"
#include "ui/form_main.h"
#include "ui/form_help.h"
#include "ui/renderer_binding.h"

using namespace velmora;

namespace {

// One vehicle record of a position message: user, group, kind, type,
// position (m), heading, pitch, bank, flap (deg), velocity (m/s).
std::string Record(int user, int group, int kind, int form, double x, double y, double z,
                   double heading, double pitch, double bank, double flap, double vx, double vy,
                   double vz) {
  char text[256];
  std::snprintf(text, sizeof text, "%d;%d;%d;%d;%.0f;%.0f;%.0f;%.0f;%.0f;%.0f;%.0f;%.0f;%.0f;%.0f;0;",
                user, group, kind, form, x * 100, y * 100, z * 100, heading * 100, pitch * 100,
                bank * 100, flap * 100, vx * 100, vy * 100, vz * 100);
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  int width = ui::kClientWidth, height = ui::kClientHeight;
  if ((argc != 4 && argc != 5) ||
      (argc == 5 && std::sscanf(argv[4], "%dx%d", &width, &height) != 2)) {
    std::fprintf(stderr,
                 "usage: cockpit_shots airliner|train <data folder> <out.png> [WIDTHxHEIGHT]\n");
    return 2;
  }
  const std::string scene = argv[1];
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  const QString out = QFileInfo(QString::fromLocal8Bit(argv[3])).absoluteFilePath();
  if (!QDir::setCurrent(QString::fromLocal8Bit(argv[2]))) {
    std::fprintf(stderr, "cockpit_shots: no folder %s\n", argv[2]);
    return 1;
  }

  ui::TRendererLibrary library;
  std::string error;
  if (!library.Open({PRISMOTH_LIBRARY}, error)) {
    std::fprintf(stderr, "cockpit_shots: %s\n", error.c_str());
    return 1;
  }
  vehicle::TableRenderer renderer(library.Table());
  ui::TFormHelp help;
  ui::TStartOptions options;
  options.Headless = true;
  options.OpenSocket = false;
  options.CommandLine.RenderScale = 100;  // every pixel drawn, whatever it costs
  ui::TFormMain form(renderer, help, options);
  form.resize(width, height);
  if (!form.FormShow()) {
    std::fprintf(stderr, "cockpit_shots: the renderer or the data failed to start\n");
    return 1;
  }

  state::TMainState& s = form.State();
  app::ClientSocketRead(s, "52566771;30;7;3;\n", form.Now());
  std::string place = "52566771;40;100;" + std::to_string(form.Now()) + ";0;0;";
  if (scene == "airliner") {
    // On final for runway 36, 4 km out at 190 m, 140 kt, flaps 30, gear
    // down; traffic above and below.
    place += Record(7, 1, 1, 11, 0, -5500, -190, 0, 1.5, -2, 30, 0, 72, 3.6);
    place += Record(8, 2, 1, 10, 1500, -2500, -450, 200, 0, 0, 0, -25, -70, 0);
    place += Record(9, 3, 1, 10, -2200, -7800, -150, 10, 0, 0, 0, 10, 70, 0);
  } else {
    // Northbound on line 1 between the switches, 180 m before the stop of
    // station B, at 38 km/h.
    place += Record(7, 1, 3, 30, -3654.1, -717.8, -1.8, 0, 0, 0, 0, 0, 38 / 3.6, 0);
  }
  place += "0;\n";
  app::ClientSocketRead(s, place, form.Now());
  form.CarryOutRequests();
  if (s.Own.UserNo != 7) {
    std::fprintf(stderr, "cockpit_shots: the vehicle was not placed\n");
    return 1;
  }
  if (scene == "airliner") {
    s.FlapCommand = s.FlapSet = 30;
    s.GearCommand = s.GearSet = s.Gear = 1;
    s.Throttle = 0.42 * s.ThrottleMax;
    // The map in place of the destination list, as after choosing runway 36.
    s.Panels.Dest = false;
    s.Panels.Navi = true;
  } else {
    s.Throttle = 0;
    s.Brake = 0;
    s.StopDistance = 180;              // the track following's distance to the stop
    s.RailSpeedLimit = 45 / 3.6;       // and its speed limit
  }
  form.ApplyModel();
  form.show();
  // One frame of the state as placed. The event loop does not run: its tick
  // would start simulating from the placing message's time.
  form.DrawFrameNow();
  if (!form.grab().save(out)) {
    std::fprintf(stderr, "cockpit_shots: cannot write %s\n", out.toLocal8Bit().constData());
    return 1;
  }
  std::printf("%s\n", s.Caption.c_str());
  for (const std::string& line : s.MessageLog) std::printf("log: %s\n", line.c_str());
  form.close();
  return 0;
}
