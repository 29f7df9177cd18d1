#include "ui/command_line.h"

#include <cctype>
#include <filesystem>
#include <limits>
#include <set>

#include "cockpit/render_scale.h"
#include "net/host_port.h"
#include "net/option_reader.h"

namespace velmora::ui {
namespace {

// Toolkit options that take a value in the next argument.
const std::set<std::string> kToolkitOptionsWithValue = {
    "-platform", "-platformpluginpath", "-platformtheme", "-plugin", "-display",
    "-style",    "-stylesheet",         "-qwindowgeometry", "-qwindowtitle", "-qwindowicon",
    "-geometry", "-title",              "-session",        "-reverse"};

}  // namespace

std::optional<TCommandLine> ParseCommandLine(const std::vector<std::string>& arguments,
                                             std::string& error) {
  TCommandLine line;
  std::vector<std::string> parameters;
  if (!arguments.empty()) line.ToolkitArguments.push_back(arguments[0]);
  net::TOptionReader reader(arguments, 1);
  while (!reader.AtEnd()) {
    const std::string a = reader.Take();
    const auto value = [&](const std::string& option) {
      std::optional<std::string> v = reader.Value();
      if (!v) error = option + " needs a value";
      return v;
    };
    // A whole number within [lo, hi] for an option, or the error that names it.
    const auto number = [&](const std::string& option, int64_t lo, int64_t hi,
                            int32_t& field) {
      const auto v = value(option);
      if (!v) return false;
      const auto n = net::ReadWholeNumber(*v, lo, hi);
      if (!n) {
        error = option + " takes a whole number " + std::to_string(lo) + ".." +
                std::to_string(hi) + ": '" + *v + "'";
        return false;
      }
      field = static_cast<int32_t>(*n);
      return true;
    };
    if (a == "--help" || a == "-h") {
      line.Help = true;
    } else if (a == "--version") {
      line.Version = true;
    } else if (a == "--frame-stats") {
      line.FrameStats = true;
    } else if (a == "--full-screen") {
      line.FullScreen = true;
    } else if (a == "--render-scale") {
      const auto v = value(a);
      if (!v) return std::nullopt;
      line.RenderScaleGiven = true;
      const auto scale = cockpit::ReadRenderScale(*v);
      if (!scale) {
        error = "--render-scale takes auto or a whole number 50..100: '" + *v + "'";
        return std::nullopt;
      }
      line.RenderScale = *scale;
    } else if (a == "--no-sound") {
      line.Sound = false;
    } else if (a == "--volume") {
      if (!number(a, 0, 100, line.Volume)) return std::nullopt;
      line.VolumeGiven = true;
    } else if (a == "--fps") {
      if (!number(a, 1, 100, line.Fps)) return std::nullopt;
    } else if (a == "--data" || a == "--handle" || a == "--renderer" || a == "--replay") {
      const auto v = value(a);
      if (!v) return std::nullopt;
      if (a == "--replay") {
        // Absolute now: --data changes the working folder before the file is read.
        if (v->empty()) {
          error = "--replay needs a file";
          return std::nullopt;
        }
        line.ReplayFile = std::filesystem::absolute(*v).lexically_normal().string();
      }
      if (a == "--data") line.DataDir = *v;
      if (a == "--handle") line.Handle = *v;
      if (a == "--renderer") line.RendererPath = *v;
    } else if (a.rfind("--", 0) == 0 && a.size() > 2) {
      error = "unknown option '" + a + "'";
      return std::nullopt;
    } else if (a.size() > 1 && a[0] == '-' && !std::isdigit(static_cast<unsigned char>(a[1]))) {
      line.ToolkitArguments.push_back(a);
      if (kToolkitOptionsWithValue.count(a) != 0 && !reader.AtEnd()) {
        line.ToolkitArguments.push_back(reader.Take());
      }
    } else {
      parameters.push_back(a);
    }
  }
  if (parameters.size() > 3) {
    error = "too many parameters: at most world number, server port and server host";
    return std::nullopt;
  }
  parameters.resize(3);
  line.ServerGiven = !parameters[1].empty() || !parameters[2].empty();

  // An empty parameter takes its default.
  line.WorldText = parameters[0].empty() ? kDefaultWorld : parameters[0];
  const auto world = net::ReadWholeNumber(line.WorldText, std::numeric_limits<int32_t>::min(),
                                          std::numeric_limits<int32_t>::max(),
                                          net::TNumberForm::DecimalOrHex);
  if (!world) {
    error = "parameter 1 (world number) is not an integer: '" + line.WorldText + "'";
    return std::nullopt;
  }
  line.WorldNo = static_cast<int32_t>(*world);
  const std::string portText = parameters[1].empty() ? kDefaultPort : parameters[1];
  const auto port = net::ReadWholeNumber(portText, 0, 65535, net::TNumberForm::DecimalOrHex);
  if (!port) {
    error = "parameter 2 (server port) is not a port number 0..65535: '" + portText + "'";
    return std::nullopt;
  }
  line.Port = static_cast<uint16_t>(*port);
  line.Host = parameters[2].empty() ? kDefaultHost : net::WithoutBrackets(parameters[2]);
  return line;
}

std::string UsageText() {
  return "Usage: velmora [options] [world-number [server-port [server-host]]]\n"
         "\n"
         "Velmora, a networked vehicle simulator. Connects to the game server and\n"
         "shows the 3D view, the instruments and the message log.\n"
         "\n"
         "Parameters (an empty one takes its default):\n"
         "  world-number     world to join (default 52566771)\n"
         "  server-port      TCP port of the game server (default 64000)\n"
         "  server-host      host of the game server (default localhost); an IPv6\n"
         "                   address as it is or in brackets, e.g. [::1]\n"
         "\n"
         "Options:\n"
         "  --data DIR       the installation: vehicles.dat, ground.dat, objects.dat,\n"
         "                   meshes and textures (default: the installed one,\n"
         "                   ../share/velmora beside the program, else the working\n"
         "                   directory)\n"
         "  --handle NAME    answer the login query with NAME without asking\n"
         "  --renderer PATH  the renderer library (default: libprismoth.so next to\n"
         "                   the program, then the build's, then the loader's path)\n"
         "  --replay FILE    play a saved replay (Ctrl+S saves one) without a server\n"
         "  --frame-stats    on closing, print the number of ticks and frames and the\n"
         "                   median, 95th percentile and maximum of their times, split\n"
         "                   into simulation, world refresh, 3D draw, instruments and\n"
         "                   copy to the screen, and the program's CPU time per second\n"
         "                   of wall time\n"
         "  --fps N          draw the 3D view at most N times a second, 1..100\n"
         "                   (default: the screen's refresh rate, 60 when unknown;\n"
         "                   the simulation runs 100 ticks a second either way)\n"
         "  --full-screen    start full screen (F11 switches while running)\n"
         "  --render-scale S draw the 3D view at S % of its pixels along each side,\n"
         "                   50..100, scaled up smoothly; auto (the default) lowers it\n"
         "                   down to 50, then halves the 3D frame rate, while a software\n"
         "                   renderer takes more than a quarter of a core, and raises\n"
         "                   them again when there is room\n"
         "  --no-sound       run silent (Ctrl+M mutes and unmutes while running)\n"
         "  --volume N       sound volume 0..100 (default 100)\n"
         "  -h, --help       show this text\n"
         "  --version        show the version\n";
}

}  // namespace velmora::ui
