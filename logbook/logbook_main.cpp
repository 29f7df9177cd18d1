// velmora-logbook: lists, shows and exports the runs the program logged.
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "logbook/logbook.h"
#include "logbook/logbook_tool.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const int status = velmora::logbook::RunTool(
      args, velmora::logbook::DefaultPath(std::getenv("XDG_DATA_HOME"), std::getenv("HOME")),
      std::cout, std::cerr);
  std::cout.flush();
  if (!std::cout) {
    std::cerr << "velmora-logbook: 標準出力に書き込めません\n";
    return 1;
  }
  return status;
}
