// The sample installation as the tests load it: from the committed data
// folder, through the real loaders, in the folder itself (file names in the
// data files are relative to the working folder).
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "net/data_file.h"
#include "vehicle/renderer_api.h"
#include "vehicle/vehicles_dat.h"
#include "world/ground_dat.h"
#include "world/objects_dat.h"
#include "world/world.h"

namespace velmora::testing {

inline const std::filesystem::path kDataFolder = VELMORA_DATA_DIR;

// Works in the installation folder while it lives.
class TInDataFolder {
 public:
  TInDataFolder() : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(kDataFolder);
  }
  TInDataFolder(const TInDataFolder&) = delete;
  TInDataFolder& operator=(const TInDataFolder&) = delete;
  ~TInDataFolder() { std::filesystem::current_path(previous_); }

 private:
  std::filesystem::path previous_;
};

// Everything the installation loads into, with the loaders' results.
struct TInstallation {
  std::unique_ptr<vehicle::TFormTable> Forms = std::make_unique<vehicle::TFormTable>();
  std::unique_ptr<world::TWorld> World = std::make_unique<world::TWorld>();
  vehicle::TVehicleLoadResult Types;
  world::TGroundLoadResult Ground;
  world::TObjectsLoadResult Objects;

  bool Ok() const { return Types.Ok() && Ground.Ok() && Objects.Ok(); }
};

inline std::string Describe(const std::optional<net::DataFileError>& error) {
  return error ? error->Message() : "no error";
}

// Loads vehicle types, ground and objects in start-up order; each stage runs
// only when the ones before it succeeded.
inline void LoadInstallation(vehicle::RendererApi& renderer, TInstallation& out,
                             const world::TObjectsLoadContext& context = {}) {
  TInDataFolder inData;
  out.Types = vehicle::LoadVehicleTypes("vehicles.dat", *out.Forms, renderer);
  ASSERT_TRUE(out.Types.Ok()) << Describe(out.Types.Error) << ", renderer result "
                              << out.Types.RendererResult;
  out.Ground = world::LoadGround("ground.dat", out.World->Ground, renderer);
  ASSERT_TRUE(out.Ground.Ok()) << Describe(out.Ground.Error);
  out.Objects = world::LoadObjects("objects.dat", *out.World, renderer, context);
  ASSERT_TRUE(out.Objects.Ok()) << out.Objects.Message;
}

// The lines of a data file of the installation, as UTF-8.
inline std::vector<std::string> DataFileLines(const std::string& name) {
  net::DataFileLines file = net::ReadDataFileLines(kDataFolder / name);
  EXPECT_FALSE(file.Error.has_value()) << Describe(file.Error);
  return file.Lines;
}

}  // namespace velmora::testing
