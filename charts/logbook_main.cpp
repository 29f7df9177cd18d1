// velmora-logbook: lists, shows and exports the runs the program logged, and
// draws their charts. It never needs a screen: the charts are drawn offscreen.
#include <QApplication>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "charts/run_charts_view.h"
#include "logbook/logbook.h"
#include "logbook/logbook_tool.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  // The toolkit only when a picture is drawn, on the offscreen platform.
  std::unique_ptr<QApplication> app;
  const auto plot = [&](const std::vector<velmora::app::TChart>& charts, int width, int height) {
    if (!app) {
      qputenv("QT_QPA_PLATFORM", "offscreen");
      static int qtArgc = 1;
      static char name[] = "velmora-logbook";
      static char* qtArgv[] = {name, nullptr};
      app = std::make_unique<QApplication>(qtArgc, qtArgv);
    }
    return velmora::charts::ChartsPng(charts, width, height);
  };
  const int status = velmora::logbook::RunTool(
      args, velmora::logbook::DefaultPath(std::getenv("XDG_DATA_HOME"), std::getenv("HOME")),
      std::cout, std::cerr, plot);
  std::cout.flush();
  if (!std::cout) {
    std::cerr << "velmora-logbook: 標準出力に書き込めません\n";
    return 1;
  }
  return status;
}
