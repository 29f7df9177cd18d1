// velmora-view: draws one frame of the installation through the renderer
// library, headless, and writes it as a PNG file. It loads the vehicle types,
// ground.dat and objects.dat from the installation folder exactly as the
// program does, places the camera, runs the world refresh and draws.
//
//   velmora-view [options] x y z heading pitch bank output.png   ("-": standard output)
//     --data DIR        installation folder (default: the installed one beside
//                       the tool, else the working folder)
//     --size WxH        image size in pixels (default 800x600)
//     --fov DEG         vertical field of view (default 30)
//     --vehicle T,x,y,z,heading[,pitch,bank]   draw a vehicle of type T (repeatable)
//     --library PATH    the renderer library (default: the installed one beside
//                       the tool, else the one built with this tool)
// Positions in metres (x east, y north, z down: -100 is 100 m above the
// ground), angles in degrees.
#include <dlfcn.h>
#include <stb_image_write.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "vehicle/renderer_api.h"
#include "version/version.h"
#include "world/installation.h"
#include "world/world.h"

namespace {

using velmora::vehicle::TVehicleState;

constexpr uint32_t kSkyColour = 0xFF9CC3E6;  // ARGB: a pale blue sky

// An installed tool finds the installation and the renderer library relative
// to its own folder, as the program does; from the build folder it uses the
// working folder and the library built with it.
std::filesystem::path InstalledPath(const char* relative) {
  std::error_code error;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return {};
  const auto path = (self.parent_path() / relative).lexically_normal();
  return std::filesystem::exists(path, error) ? path : std::filesystem::path();
}

std::string DefaultDataFolder() {
  const auto folder = InstalledPath(VELMORA_INSTALLED_DATA "/vehicles.dat");
  return folder.empty() ? "." : folder.parent_path().string();
}

std::string DefaultLibrary() {
  const auto library = InstalledPath(VELMORA_INSTALLED_RENDERER_DIR "/libprismoth.so");
  return library.empty() ? VELMORA_PRISMOTH_LIBRARY : library.string();
}

struct TOptions {
  std::string DataFolder = DefaultDataFolder();
  std::string Library = DefaultLibrary();
  int Width = 800;
  int Height = 600;
  double FieldOfView = 30;
  double Camera[6] = {};  // x, y, z, heading, pitch, bank
  std::vector<TVehicleState> Vehicles;
  std::string Output;  // "-": standard output
  bool Help = false;
  bool Version = false;
};

// Reads a whole argument as a finite number.
bool Number(std::string_view text, double& value) {
  const std::string copy(text);
  char* end = nullptr;
  errno = 0;
  value = std::strtod(copy.c_str(), &end);
  return !copy.empty() && end == copy.c_str() + copy.size() && errno == 0 &&
         std::isfinite(value);
}

bool ParseVehicle(std::string_view text, TVehicleState& vehicle) {
  std::vector<double> values;
  while (true) {
    const size_t comma = text.find(',');
    double v = 0;
    if (!Number(text.substr(0, comma), v)) return false;
    values.push_back(v);
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  if (values.size() != 5 && values.size() != 7) return false;
  if (values[0] < 1 || values[0] > 100 || values[0] != static_cast<int>(values[0])) return false;
  vehicle = TVehicleState{};
  vehicle.FormNo = static_cast<int32_t>(values[0]);
  vehicle.Kind = vehicle.FormNo / 10 >= 1 && vehicle.FormNo / 10 <= 4 ? vehicle.FormNo / 10 : 1;
  vehicle.X = values[1];
  vehicle.Y = values[2];
  vehicle.Z = values[3];
  vehicle.Heading = static_cast<float>(values[4]);
  if (values.size() == 7) {
    vehicle.Pitch = static_cast<float>(values[5]);
    vehicle.Bank = static_cast<float>(values[6]);
  }
  return true;
}

const char* const kUsage =
    "Usage: velmora-view [options] x y z heading pitch bank output.png\n"
    "\n"
    "Draws one frame of the installation through the renderer library, headless,\n"
    "and writes it as a PNG file (\"-\": standard output). Positions in metres\n"
    "(x east, y north, z down: -100 is 100 m above the ground), angles in degrees.\n"
    "\n"
    "Options:\n"
    "  --data DIR        installation folder (default: the installed one beside the\n"
    "                    tool, else the working folder)\n"
    "  --size WxH        image size in pixels, 16..8192 (default 800x600)\n"
    "  --fov DEG         vertical field of view (default 30)\n"
    "  --vehicle T,x,y,z,heading[,pitch,bank]\n"
    "                    draw a vehicle of type T (repeatable)\n"
    "  --library PATH    the renderer library (default: the installed one beside the\n"
    "                    tool, else the one built with this tool)\n"
    "  -h, --help        show this text\n"
    "  --version         show the version\n";

// Returns an empty string on success, else what is wrong.
std::string ParseArguments(int argc, char** argv, TOptions& options) {
  std::vector<std::string_view> positional;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--help" || arg == "-h") {
      options.Help = true;
      return {};
    }
    if (arg == "--version") {
      options.Version = true;
      return {};
    }
    if (arg == "--data" && hasValue) {
      options.DataFolder = argv[++i];
    } else if (arg == "--library" && hasValue) {
      options.Library = argv[++i];
    } else if (arg == "--size" && hasValue) {
      const std::string_view size = argv[++i];
      const size_t x = size.find('x');
      double w = 0, h = 0;
      if (x == std::string_view::npos || !Number(size.substr(0, x), w) ||
          !Number(size.substr(x + 1), h) || w < 16 || h < 16 || w > 8192 || h > 8192) {
        return "--size needs WxH between 16 and 8192 pixels";
      }
      options.Width = static_cast<int>(w);
      options.Height = static_cast<int>(h);
    } else if (arg == "--fov" && hasValue) {
      if (!Number(argv[++i], options.FieldOfView) || options.FieldOfView <= 1 ||
          options.FieldOfView >= 170) {
        return "--fov needs a number of degrees between 1 and 170";
      }
    } else if (arg == "--vehicle" && hasValue) {
      TVehicleState vehicle;
      if (!ParseVehicle(argv[++i], vehicle)) {
        return "--vehicle needs T,x,y,z,heading or T,x,y,z,heading,pitch,bank with T in 1..100";
      }
      options.Vehicles.push_back(vehicle);
    } else if (arg.size() > 2 && arg.substr(0, 2) == "--") {
      return "unknown option " + std::string(arg);
    } else {
      positional.push_back(arg);
    }
  }
  if (positional.size() != 7) return "expected the camera x y z heading pitch bank and a file";
  for (int k = 0; k < 6; ++k) {
    if (!Number(positional[static_cast<size_t>(k)], options.Camera[k])) {
      return "not a number: " + std::string(positional[static_cast<size_t>(k)]);
    }
  }
  options.Output = std::string(positional[6]);
  return {};
}

// The last frame the library presented.
struct TFrame {
  std::vector<uint8_t> Rgba;
  int Width = 0;
  int Height = 0;
};

void Present(void* context, const uint8_t* rgba, int32_t width, int32_t height, int32_t stride) {
  auto& frame = *static_cast<TFrame*>(context);
  frame.Width = width;
  frame.Height = height;
  frame.Rgba.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
  for (int32_t row = 0; row < height; ++row) {
    std::copy_n(rgba + static_cast<size_t>(row) * static_cast<size_t>(stride),
                static_cast<size_t>(width) * 4,
                frame.Rgba.data() + static_cast<size_t>(row) * static_cast<size_t>(width) * 4);
  }
}

// The frame as PNG on standard output; false when a write failed.
bool WritePngToStandardOutput(const TFrame& frame) {
  bool written = true;
  const auto write = [](void* context, void* data, int size) {
    bool& ok = *static_cast<bool*>(context);
    ok = ok && std::fwrite(data, 1, static_cast<size_t>(size), stdout) == static_cast<size_t>(size);
  };
  const int encoded = stbi_write_png_to_func(write, &written, frame.Width, frame.Height, 4,
                                             frame.Rgba.data(), frame.Width * 4);
  return encoded != 0 && written && std::fflush(stdout) == 0;
}

template <typename Fn>
bool Bind(void* library, const char* name, Fn& target) {
  target = reinterpret_cast<Fn>(dlsym(library, name));
  return target != nullptr;
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "velmora-view: %s\n", message.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  TOptions options;
  if (const std::string problem = ParseArguments(argc, argv, options); !problem.empty()) {
    std::fprintf(stderr, "velmora-view: %s\n%s", problem.c_str(), kUsage);
    return 2;
  }
  if (options.Help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (options.Version) return velmora::version::PrintVersion("velmora-view");
  // The output path is taken before moving into the installation folder.
  const bool toStandardOutput = options.Output == "-";
  const std::filesystem::path output =
      toStandardOutput ? std::filesystem::path() : std::filesystem::absolute(options.Output);
  std::error_code error;
  std::filesystem::current_path(options.DataFolder, error);
  if (error) return Fail("cannot enter " + options.DataFolder + ": " + error.message());

  void* library = dlopen(options.Library.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) return Fail(std::string("cannot load the renderer: ") + dlerror());
  velmora::vehicle::TRendererTable table;
  if (!Bind(library, "DXInitialize", table.Initialize) ||
      !Bind(library, "DXTerminate", table.Terminate) ||
      !Bind(library, "DXLoadVehicleForm", table.LoadVehicleForm) ||
      !Bind(library, "DXLoadTexture", table.LoadTexture) ||
      !Bind(library, "DXAddSurface", table.AddSurface) ||
      !Bind(library, "DXRemoveSurface", table.RemoveSurface) ||
      !Bind(library, "DXGetNumOfVertexBufs", table.GetNumOfVertexBufs) ||
      !Bind(library, "DXDraw", table.Draw)) {
    return Fail("the renderer library lacks an export");
  }
  velmora::vehicle::TableRenderer renderer(table);

  TFrame frame;
  DXView view{options.Width, options.Height, &Present, &frame};
  if (const int32_t result = renderer.DXInitialize(&view, 0, 0); result != 0) {
    return Fail("the renderer cannot start (code " + std::to_string(result) + ")");
  }

  int status = 0;
  {
    auto forms = std::make_unique<velmora::vehicle::TFormTable>();
    auto world = std::make_unique<velmora::world::TWorld>();
    const velmora::world::TInstallationLoad load =
        velmora::world::LoadInstallation(*forms, *world, renderer);
    if (!load.Ok()) {
      status = Fail(velmora::world::LoadFault(load));
    } else {
      for (const std::string& notice : load.World.Objects.TrackNotices) {
        std::fprintf(stderr, "velmora-view: %s\n", notice.c_str());
      }
      TVehicleState camera;
      camera.X = options.Camera[0];
      camera.Y = options.Camera[1];
      camera.Z = options.Camera[2];
      camera.Heading = static_cast<float>(options.Camera[3]);
      camera.Pitch = static_cast<float>(options.Camera[4]);
      camera.Bank = static_cast<float>(options.Camera[5]);

      velmora::world::TWorldDriver driver;
      driver.Prepare(world->Objects);
      driver.Frame(*world, renderer, camera, camera, 0, 0);
      std::vector<const TVehicleState*> vehicles;
      for (const TVehicleState& v : options.Vehicles) vehicles.push_back(&v);
      vehicles.push_back(nullptr);
      const int32_t drawn = renderer.DXDraw(static_cast<float>(options.FieldOfView), kSkyColour,
                                            camera, vehicles.data());
      if (drawn != 0 || frame.Rgba.empty()) {
        status = Fail("the frame cannot be drawn (code " + std::to_string(drawn) + ")");
      } else if (toStandardOutput) {
        if (!WritePngToStandardOutput(frame)) status = Fail("cannot write to standard output");
      } else if (stbi_write_png(output.c_str(), frame.Width, frame.Height, 4, frame.Rgba.data(),
                                frame.Width * 4) == 0) {
        status = Fail("cannot write " + output.string());
      }
    }
  }
  renderer.DXTerminate();
  return status;
}
