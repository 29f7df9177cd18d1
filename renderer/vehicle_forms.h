// Vehicle forms: per form id a fine and a rough mesh read from DirectX .x
// files, each split into one subset per material in material order.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "renderer/prismoth.h"

namespace velmora::renderer {

constexpr int32_t kFormCapacity = DX_FORM_CAPACITY;

struct TColour {
  float R = 0;
  float G = 0;
  float B = 0;
  float A = 0;
};

// A material as the fixed lighting uses it; the ambient colour is the diffuse.
struct TMaterial {
  TColour Diffuse;
  TColour Ambient;
  TColour Emissive;
  std::string TextureFile;  // as named in the mesh file; empty = none
};

struct TMeshVertex {
  float X, Y, Z;     // model units: x right, y up, z forward
  float NX, NY, NZ;  // unit normal, model axes
  float U, V;        // texture coordinates, v down the image
};

// A mesh as read from a file, before it reaches the graphics device.
struct TMeshData {
  std::vector<TMeshVertex> Vertices;
  std::vector<uint32_t> Corners;        // three per triangle
  std::vector<TMaterial> Materials;     // one subset per material
  std::vector<uint32_t> SubsetFirst;    // first corner of each subset
  std::vector<uint32_t> SubsetCount;    // corners of each subset
};

// Reads a .x mesh; an empty string on success, else why it failed.
std::string ReadMeshFile(const std::string& fileName, TMeshData& mesh);

// A mesh on the device.
struct TMesh {
  uint32_t VertexArray = 0;
  uint32_t VertexBuffer = 0;
  uint32_t IndexBuffer = 0;
  std::vector<TMaterial> Materials;
  std::vector<uint32_t> Textures;  // per material, 0 = untextured
  std::vector<uint32_t> SubsetFirst;
  std::vector<uint32_t> SubsetCount;

  bool Loaded() const { return VertexArray != 0; }
  void Release();
};

struct TVehicleForm {
  float SwitchValue = 0;  // m^2, the switch distance squared
  TMesh Fine;
  TMesh Rough;
};

class TVehicleForms {
 public:
  TVehicleForms() = default;
  TVehicleForms(const TVehicleForms&) = delete;
  TVehicleForms& operator=(const TVehicleForms&) = delete;
  ~TVehicleForms() = default;

  // Stores the switch value, then loads stem + ".x" and stem + "_rough.x".
  // 0 on success, a negative code when a file fails (the rough file is not
  // tried when the fine one fails); a mesh that fails keeps its old record.
  int32_t Load(const char* stem, int32_t formId, float switchDistance);
  // The form of an id in 1..100, else null.
  const TVehicleForm* Form(int32_t formId) const;
  void Release();

 private:
  std::array<TVehicleForm, kFormCapacity> forms_{};
};

}  // namespace velmora::renderer
