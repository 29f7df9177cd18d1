// velmora-replay: shows what a saved replay holds and exports its frames.
//
//   velmora-replay FILE                 summary: frames, duration, types, companions
//   velmora-replay --csv FILE [OUT]     every vehicle of every frame as CSV, to OUT or
//                                       standard output (also when OUT is "-")
//
// OUT appears whole or not at all: it is written beside its place and moved
// there once complete, so a full disk leaves an older OUT as it was.
//
// Exit status 0; 1 when the file cannot be read or is no valid replay (the
// message names the file and the byte offset), or when the output cannot be
// written (the message names the output and the reason); 2 on a usage error,
// an output that is the input file among them.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "app/replay_file.h"
#include "app/whole_file.h"
#include "version/version.h"

namespace {

constexpr const char* kUsage =
    "Usage: velmora-replay FILE\n"
    "       velmora-replay --csv FILE [OUT]\n"
    "\n"
    "Shows what a saved replay (.vmreplay) holds: frames, duration, world, the own\n"
    "vehicle's types and the companions. With --csv, writes every vehicle of every\n"
    "frame as CSV to OUT, or to standard output without OUT or when OUT is \"-\".\n"
    "\n"
    "  -h, --help  show this text\n"
    "  --version   show the version\n";

int Usage() {
  std::fputs(kUsage, stderr);
  return 2;
}

// Whether out names the input file itself, by any name: the same file on the
// same device, whether through a link or another spelling of the path.
bool SameFile(const std::string& input, const std::string& out) {
  std::error_code error;
  return std::filesystem::equivalent(input, out, error) && !error;
}

int CannotWrite(const std::string& what, int error) {
  std::fprintf(stderr, "velmora-replay: %s: cannot write: %s\n", what.c_str(),
               velmora::app::FileFaultEnglish(error).c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      return velmora::version::PrintVersion("velmora-replay");
    }
  }
  const bool csv = argc >= 2 && std::strcmp(argv[1], "--csv") == 0;
  if (csv ? (argc < 3 || argc > 4) : argc != 2) return Usage();
  const std::string file = csv ? argv[2] : argv[1];
  // "-" is standard output, as without OUT.
  const bool toFile = csv && argc == 4 && std::strcmp(argv[3], "-") != 0;

  const velmora::app::TReplayLoadResult loaded = velmora::app::LoadReplayFile(file);
  if (!loaded.Recording) {
    std::fprintf(stderr, "velmora-replay: %s\n", loaded.Error.c_str());
    return 1;
  }
  if (toFile && SameFile(file, argv[3])) {
    std::fprintf(stderr,
                 "velmora-replay: %s is the input replay %s itself; give another output file\n",
                 argv[3], file.c_str());
    return 2;
  }
  const std::string text = csv ? velmora::app::ReplayCsv(*loaded.Recording)
                               : velmora::app::ReplaySummary(*loaded.Recording);
  if (toFile) {
    const int error = velmora::app::WriteWholeFile(argv[3], text);
    return error == 0 ? 0 : CannotWrite(argv[3], error);
  }
  errno = 0;
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
    return CannotWrite("standard output", errno != 0 ? errno : EIO);
  }
  return 0;
}
