// velmora-traffic: N traffic clients in one process, each an ordinary client
// of the game server driven by the core's own controls.
//
//   velmora-traffic [--server HOST:PORT] [--count N] [--kinds LIST] [--first K]
//                   [--seed S] [--world N] [--data DIR] [--status SECONDS]
#include <QCoreApplication>
#include <QDir>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "traffic/traffic_client.h"
#include "traffic/traffic_options.h"
#include "vehicle/geometry.h"
#include "vehicle/null_renderer.h"
#include "vehicle/vehicles_dat.h"
#include "version/version.h"
#include "world/installation.h"

namespace {

using namespace velmora;

// Why the installation did not load. The loader's error names the file (and
// the line); a file that cannot be opened at all most often means that the
// installation lies elsewhere.
std::string InstallationFault(const world::TInstallationLoad& load) {
  std::string text = world::LoadFault(load);
  if (world::WholeFileFault(load)) {
    text += "\n(--data DIR names the folder that holds vehicles.dat, ground.dat and objects.dat)";
  }
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  std::vector<std::string> arguments(argv + 1, argv + argc);
  const traffic::TOptionsParse parse = traffic::ParseTrafficOptions(arguments);
  if (parse.Error) {
    std::fprintf(stderr, "velmora-traffic: %s\n%s", parse.Error->c_str(), traffic::TrafficUsage());
    return 2;
  }
  const traffic::TTrafficOptions& options = parse.Options;
  if (options.Help) {
    std::fputs(traffic::TrafficUsage(), stdout);
    return 0;
  }
  if (options.Version) return version::PrintVersion("velmora-traffic");
  if (!options.DataDir.empty() && !QDir::setCurrent(QString::fromStdString(options.DataDir))) {
    std::fprintf(stderr, "velmora-traffic: no data folder %s\n", options.DataDir.c_str());
    return 1;
  }

  // The vehicle types once, shared by every client; each client its own world.
  vehicle::TNullRenderer renderer;
  auto forms = std::make_unique<vehicle::TFormTable>();
  world::TInstallationLoad load;
  load.Types = vehicle::LoadVehicleTypes("vehicles.dat", *forms, renderer);
  if (!load.Types.Ok()) {
    std::fprintf(stderr, "velmora-traffic: %s\n", InstallationFault(load).c_str());
    return 1;
  }

  std::vector<std::unique_ptr<traffic::TTrafficClient>> clients;
  // What one client learns of where missions start, the others know too.
  const auto starts = std::make_shared<traffic::TStartBook>();
  for (int i = 0; i < options.Count; ++i) {
    auto world = std::make_unique<world::TWorld>();
    load.World = world::LoadWorldFiles(*world, renderer);
    if (!load.Ok()) {
      std::fprintf(stderr, "velmora-traffic: %s\n", InstallationFault(load).c_str());
      return 1;
    }
    traffic::TClientConfig config;
    config.Host = options.Host;
    config.Port = options.Port;
    config.WorldText = options.WorldText;
    config.WorldNo = options.WorldNo;
    // A program started with --first K drives as clients K, K+1, ... of one
    // program would: the kinds, missions and airliner spacing go on from there.
    const int number = options.First - 1 + i;
    config.Handle = traffic::TrafficHandle(number + 1);
    config.Kind = options.Kinds[static_cast<std::size_t>(number) % options.Kinds.size()];
    config.Seed = options.Seed * 1000u + static_cast<uint32_t>(number) + 1;
    config.Ordinal = number / static_cast<int>(options.Kinds.size());
    // Logins spread over the first seconds, not all in one burst.
    config.FirstLoginDelayMs = static_cast<uint32_t>(i) * 150;
    config.Starts = starts;
    clients.push_back(std::make_unique<traffic::TTrafficClient>(config, *forms, std::move(world)));
    std::printf("velmora-traffic: %s: %s\n", config.Handle.c_str(), traffic::KindName(config.Kind));
  }
  std::fflush(stdout);
  for (auto& client : clients) client->Start();
  // Once a minute, where each client stands: its vehicle, position and speed.
  QTimer status;
  QObject::connect(&status, &QTimer::timeout, [&clients] {
    for (const auto& client : clients) {
      const state::TMainState& s = client->State();
      std::printf(
          "velmora-traffic: %s user %d type %d at (%.0f, %.0f) height %.0f m, %.1f m/s, "
          "%d placements, shot down %d times\n",
          client->Config().Handle.c_str(), s.Own.UserNo, s.Own.FormNo, s.Own.X + s.OriginX,
          s.Own.Y + s.OriginY, -s.Own.Z, vehicle::GroundSpeed(s.Own), client->Counts().Placements,
          client->Counts().ShotDown);
    }
    std::fflush(stdout);
  });
  status.start(options.StatusSeconds * 1000);
  return QCoreApplication::exec();
}
