// velmora-logbook: lists, shows and exports the runs the program logged.
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "logbook/logbook.h"
#include "logbook/tool.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  return velmora::logbook::RunTool(
      args, velmora::logbook::DefaultPath(std::getenv("XDG_DATA_HOME"), std::getenv("HOME")),
      std::cout, std::cerr);
}
