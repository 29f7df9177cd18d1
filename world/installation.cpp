#include "world/installation.h"

namespace velmora::world {
namespace {

const net::DataFileError* FirstError(const TInstallationLoad& load) {
  if (!load.Types.Ok()) return load.Types.Error ? &*load.Types.Error : nullptr;
  if (!load.World.Ground.Ok()) return load.World.Ground.Error ? &*load.World.Ground.Error : nullptr;
  if (!load.World.Objects.Ok()) {
    return load.World.Objects.Error ? &*load.World.Objects.Error : nullptr;
  }
  return nullptr;
}

}  // namespace

TWorldLoad LoadWorldFiles(TWorld& world, vehicle::RendererApi& renderer,
                          const TObjectsLoadContext& context) {
  world.Objects.Clear();
  world.Ground.Count = 0;
  world.DestinationCount = 0;
  TWorldLoad load;
  load.Ground = LoadGround("ground.dat", world.Ground, renderer);
  if (load.Ground.Ok()) load.Objects = LoadObjects("objects.dat", world, renderer, context);
  return load;
}

TInstallationLoad LoadInstallation(vehicle::TFormTable& forms, TWorld& world,
                                   vehicle::RendererApi& renderer,
                                   const TObjectsLoadContext& context) {
  TInstallationLoad load;
  load.Types = vehicle::LoadVehicleTypes("vehicles.dat", forms, renderer);
  if (load.Types.Ok()) load.World = LoadWorldFiles(world, renderer, context);
  return load;
}

std::string LoadFault(const vehicle::TVehicleLoadResult& types) {
  if (types.Ok()) return {};
  if (types.Error) return types.Error->Message();
  return "vehicles.dat: a vehicle shape cannot be loaded (renderer result " +
         std::to_string(types.RendererResult) + ")";
}

std::string LoadFault(const TWorldLoad& world) {
  if (!world.Ground.Ok()) {
    return world.Ground.Error ? world.Ground.Error->Message()
                              : std::string("ground.dat: a ground texture cannot be loaded");
  }
  if (!world.Objects.Ok()) {
    if (world.Objects.Error) return world.Objects.Error->Message();
    return "objects.dat: " + world.Objects.Message;
  }
  return {};
}

std::string LoadFault(const TInstallationLoad& installation) {
  return installation.Types.Ok() ? LoadFault(installation.World) : LoadFault(installation.Types);
}

bool WholeFileFault(const TInstallationLoad& installation) {
  const net::DataFileError* error = FirstError(installation);
  return error != nullptr && error->Line <= 0;
}

}  // namespace velmora::world
