// velmora-replay: shows what a saved replay holds and exports its frames.
//
//   velmora-replay FILE                 summary: frames, duration, types, companions
//   velmora-replay --csv FILE [OUT]     every vehicle of every frame as CSV, to OUT or stdout
//
// Exit status 0, 1 when the file cannot be read or is no valid replay (the
// message names the file and the byte offset), 2 on a usage error.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "app/replay_file.h"

namespace {

int Usage() {
  std::fputs("usage: velmora-replay FILE\n"
             "       velmora-replay --csv FILE [OUT]\n",
             stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    Usage();
    return 0;
  }
  const bool csv = argc >= 2 && std::strcmp(argv[1], "--csv") == 0;
  if (csv ? (argc < 3 || argc > 4) : argc != 2) return Usage();
  const std::string file = csv ? argv[2] : argv[1];

  const velmora::app::TReplayLoadResult loaded = velmora::app::LoadReplayFile(file);
  if (!loaded.Recording) {
    std::fprintf(stderr, "velmora-replay: %s\n", loaded.Error.c_str());
    return 1;
  }
  const std::string text = csv ? velmora::app::ReplayCsv(*loaded.Recording)
                               : velmora::app::ReplaySummary(*loaded.Recording);
  if (csv && argc == 4) {
    std::ofstream out(argv[3], std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
      std::fprintf(stderr, "velmora-replay: %s: cannot write\n", argv[3]);
      return 1;
    }
    return 0;
  }
  std::fwrite(text.data(), 1, text.size(), stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}
