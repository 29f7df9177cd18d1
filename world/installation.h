// Loading an installation in start-up order: the vehicle types from
// vehicles.dat, then the world from ground.dat and objects.dat, each stage
// only when the one before it loaded. The files are read from the working
// folder: the data files name their meshes and textures relative to it.
#pragma once

#include <string>

#include "net/data_file.h"
#include "vehicle/renderer_api.h"
#include "vehicle/vehicles_dat.h"
#include "world/ground_dat.h"
#include "world/objects_dat.h"
#include "world/world.h"

namespace velmora::world {

// The world's two files and what each loader said.
struct TWorldLoad {
  TGroundLoadResult Ground;
  TObjectsLoadResult Objects;  // not loaded unless the ground was

  bool Ok() const { return Ground.Ok() && Objects.Ok(); }
};

// ground.dat, then objects.dat, into world, which is emptied first.
TWorldLoad LoadWorldFiles(TWorld& world, vehicle::RendererApi& renderer,
                          const TObjectsLoadContext& context = {});

// The whole installation and what each loader said.
struct TInstallationLoad {
  vehicle::TVehicleLoadResult Types;
  TWorldLoad World;  // not loaded unless the types were

  bool Ok() const { return Types.Ok() && World.Ok(); }
};

// vehicles.dat into forms, then the world.
TInstallationLoad LoadInstallation(vehicle::TFormTable& forms, TWorld& world,
                                   vehicle::RendererApi& renderer,
                                   const TObjectsLoadContext& context = {});

// What stopped a load, in English, naming the file and the line where the
// loader knows them; empty when it loaded. WholeFileFault tells a file that
// could not be read at all (most often: the installation lies elsewhere).
std::string LoadFault(const vehicle::TVehicleLoadResult& types);
std::string LoadFault(const TWorldLoad& world);
std::string LoadFault(const TInstallationLoad& installation);
bool WholeFileFault(const TInstallationLoad& installation);

}  // namespace velmora::world
