// velmora-map: the map of an installation for the game server's web page.
//
//   velmora-map --data DIR OUT
//
// Reads DIR/ground.dat and DIR/objects.dat as the program does and writes the
// map as JSON to OUT, whole or not at all.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "data/world_map.h"

int main(int argc, char** argv) {
  if (argc != 4 || std::string(argv[1]) != "--data") {
    std::fprintf(stderr, "usage: velmora-map --data DIR OUT\n");
    return 2;
  }
  const std::filesystem::path output = argv[3];
  const velmora::data::TMapBuild map = velmora::data::BuildWorldMap(argv[2]);
  std::fputs(map.Notes.c_str(), stderr);
  if (!map.Error.empty()) {
    std::fprintf(stderr, "velmora-map: %s\n", map.Error.c_str());
    return 1;
  }
  const std::filesystem::path partial = output.string() + ".partial";
  {
    std::ofstream file(partial, std::ios::binary | std::ios::trunc);
    file << map.Json;
    if (!file.flush()) {
      std::fprintf(stderr, "velmora-map: %s: cannot write\n", partial.c_str());
      return 1;
    }
  }
  std::error_code error;
  std::filesystem::rename(partial, output, error);
  if (error) {
    std::fprintf(stderr, "velmora-map: %s: %s\n", output.c_str(), error.message().c_str());
    return 1;
  }
  return 0;
}
