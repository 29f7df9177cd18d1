// The program's command line: up to three parameters (world number, server
// port, server host), the options --help, --version, --data DIR,
// --handle NAME, --renderer PATH, --replay FILE, --frame-stats, --fps N,
// --full-screen, --render-scale S, --no-sound and --volume N, and the
// toolkit's own options, which are passed on to it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmora::ui {

inline constexpr const char* kDefaultWorld = "52566771";
inline constexpr const char* kDefaultPort = "64000";
inline constexpr const char* kDefaultHost = "localhost";

struct TCommandLine {
  std::string WorldText = kDefaultWorld;  // parameter 1 as given (the message prefix uses it)
  int32_t WorldNo = 52566771;             // parameter 1 as a number
  uint16_t Port = 64000;                  // parameter 2
  std::string Host = kDefaultHost;        // parameter 3
  std::string DataDir;                    // --data: where the installation lives; empty = here
  std::optional<std::string> Handle;      // --handle: answers the login query
  std::string RendererPath;               // --renderer: the renderer library to bind
  std::optional<std::string> ReplayFile;  // --replay: a saved replay to play, absolute; no server
  bool Help = false;
  bool Version = false;
  bool FrameStats = false;                // --frame-stats: print tick and frame times at the end
  int32_t Fps = 0;                        // --fps: 3D frames a second, 1..100; 0 = the screen's rate
  bool FullScreen = false;                // --full-screen: start full screen
  int32_t RenderScale = 0;                // --render-scale: % of each side, 50..100; 0 = auto
  bool RenderScaleGiven = false;          // --render-scale was given: it wins over the setting
  bool Sound = true;                      // false with --no-sound
  int32_t Volume = 100;                   // --volume: 0..100 %
  bool VolumeGiven = false;               // --volume was given: it wins over the setting
  bool ServerGiven = false;               // parameter 2 or 3 was given: it wins over the setting
  std::vector<std::string> ToolkitArguments;  // argv[0] and the toolkit's options
};

// Parses argv. On a bad argument returns nothing and says why in error.
std::optional<TCommandLine> ParseCommandLine(const std::vector<std::string>& arguments,
                                             std::string& error);

// What --help prints.
std::string UsageText();

}  // namespace velmora::ui
