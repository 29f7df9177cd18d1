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
#include "world/installation.h"
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

// Loads the installation as the programs do (world::LoadInstallation).
inline void LoadInstallation(vehicle::RendererApi& renderer, TInstallation& out,
                             const world::TObjectsLoadContext& context = {}) {
  TInDataFolder inData;
  const world::TInstallationLoad load =
      world::LoadInstallation(*out.Forms, *out.World, renderer, context);
  out.Types = load.Types;
  out.Ground = load.World.Ground;
  out.Objects = load.World.Objects;
  ASSERT_TRUE(load.Ok()) << world::LoadFault(load);
}

// The lines of a data file of the installation, as UTF-8.
inline std::vector<std::string> DataFileLines(const std::string& name) {
  net::DataFileLines file = net::ReadDataFileLines(kDataFolder / name);
  EXPECT_FALSE(file.Error.has_value()) << Describe(file.Error);
  return file.Lines;
}

}  // namespace velmora::testing
