// The vehicle meshes read as the renderer reads them (Assimp, converted to
// left-handed axes): both files of every type load with their materials and
// textures, the wheels of a vehicle on its wheels touch y = RestZ, a raised
// gear clears the ground, the eye point lies inside the vehicle, and the
// rough mesh is the same size with fewer faces.
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <assimp/Importer.hpp>
#include <cmath>
#include <filesystem>
#include <limits>
#include <string>

#include "tests/data/installation.h"
#include "tests/support/fake_renderer.h"

namespace velmora::testing {
namespace {

constexpr double kGroundTol = 0.02;      // m: wheels resting on the ground
constexpr double kGearClearance = 0.3;   // m: a retracted gear leaves the belly this high
constexpr double kRoughSizeTol = 0.15;   // share of Scale the rough outline may differ by

struct TBounds {
  double Min[3] = {std::numeric_limits<double>::max(), std::numeric_limits<double>::max(),
                   std::numeric_limits<double>::max()};
  double Max[3] = {std::numeric_limits<double>::lowest(), std::numeric_limits<double>::lowest(),
                   std::numeric_limits<double>::lowest()};
  double TopZ = 0;  // z of the highest point
  size_t Faces = 0;

  void Add(const aiVector3D& p) {
    const double v[3] = {p.x, p.y, p.z};
    if (v[1] > Max[1]) TopZ = v[2];
    for (int k = 0; k < 3; ++k) {
      Min[k] = std::min(Min[k], v[k]);
      Max[k] = std::max(Max[k], v[k]);
    }
  }
};

void Collect(const aiScene& scene, const aiNode& node, const aiMatrix4x4& parent, TBounds& b) {
  const aiMatrix4x4 transform = parent * node.mTransformation;
  for (unsigned m = 0; m < node.mNumMeshes; ++m) {
    const aiMesh& mesh = *scene.mMeshes[node.mMeshes[m]];
    for (unsigned v = 0; v < mesh.mNumVertices; ++v) b.Add(transform * mesh.mVertices[v]);
    b.Faces += mesh.mNumFaces;
  }
  for (unsigned c = 0; c < node.mNumChildren; ++c) Collect(scene, *node.mChildren[c], transform, b);
}

// Reads a mesh file of the installation; fails the test when it cannot.
TBounds ReadMesh(const std::string& name) {
  Assimp::Importer importer;
  const aiScene* scene = importer.ReadFile(
      (kDataFolder / name).string(),
      aiProcess_ConvertToLeftHanded | aiProcess_Triangulate | aiProcess_SortByPType);
  TBounds bounds;
  EXPECT_TRUE(scene != nullptr && scene->mRootNode != nullptr &&
              (scene->mFlags & AI_SCENE_FLAGS_INCOMPLETE) == 0)
      << name << ": " << importer.GetErrorString();
  if (scene == nullptr || scene->mRootNode == nullptr) return bounds;
  EXPECT_GT(scene->mNumMaterials, 0u) << name;
  for (unsigned i = 0; i < scene->mNumMaterials; ++i) {
    aiString texture;
    if (scene->mMaterials[i]->GetTexture(aiTextureType_DIFFUSE, 0, &texture) == aiReturn_SUCCESS) {
      EXPECT_TRUE(std::filesystem::is_regular_file(kDataFolder / texture.C_Str()))
          << name << " names " << texture.C_Str();
    }
  }
  Collect(*scene, *scene->mRootNode, aiMatrix4x4(), bounds);
  return bounds;
}

TEST(MeshesTest, EveryTypeIsBuiltToTheRendererConvention) {
  FakeRenderer renderer;
  TInstallation installation;
  {
    TInDataFolder inData;
    installation.Types = vehicle::LoadVehicleTypes("vehicles.dat", *installation.Forms, renderer);
  }
  ASSERT_TRUE(installation.Types.Ok());
  int textured = 0;
  for (const auto& call : renderer.FormCalls) {
    SCOPED_TRACE(call.Stem);
    const vehicle::TFormParam& form = (*installation.Forms)[call.FormId];
    const TBounds fine = ReadMesh(call.Stem + ".x");
    const TBounds rough = ReadMesh(call.Stem + "_rough.x");
    ASSERT_GT(fine.Faces, 0u);
    ASSERT_GT(rough.Faces, 0u);
    EXPECT_LT(rough.Faces, fine.Faces);

    const int kind = call.FormId / 10;
    const bool onWheels = kind != vehicle::kKindAircraft || (call.FormId & 1) != 0;
    if (onWheels) {
      EXPECT_NEAR(fine.Min[1], form.RestZ, kGroundTol) << "the wheels touch the ground";
      EXPECT_NEAR(rough.Min[1], form.RestZ, kGroundTol);
    } else {
      EXPECT_GT(fine.Min[1], form.RestZ + kGearClearance) << "the gear is up";
    }
    // Symmetric about the centre line, longer than wide for the ground
    // vehicles, the fin above the tail for the aircraft.
    EXPECT_NEAR(fine.Min[0] + fine.Max[0], 0, kGroundTol);
    if (kind == vehicle::kKindAircraft) {
      EXPECT_LT(fine.TopZ, 0) << "the fin stands at the rear";
    } else {
      EXPECT_GT(fine.Max[2] - fine.Min[2], fine.Max[0] - fine.Min[0]);
    }
    // The pilot sits inside.
    const double eye[3] = {form.EyeRight, form.EyeUp, form.EyeForward};
    for (int k = 0; k < 3; ++k) {
      EXPECT_GT(eye[k], fine.Min[k]) << "eye axis " << k;
      EXPECT_LT(eye[k], fine.Max[k]) << "eye axis " << k;
    }
    for (int k = 0; k < 3; ++k) {
      EXPECT_NEAR(rough.Max[k], fine.Max[k], kRoughSizeTol * form.Scale) << "axis " << k;
      EXPECT_NEAR(rough.Min[k], fine.Min[k], kRoughSizeTol * form.Scale) << "axis " << k;
    }
    // The switch distance puts the rough mesh beyond ten lengths.
    EXPECT_GT(form.Scale * 10, (fine.Max[2] - fine.Min[2]) * 4);
    textured += call.Stem.find("airliner") == 0 || call.Stem.find("train") == 0 ? 1 : 0;
  }
  EXPECT_GE(textured, 4);
}

}  // namespace
}  // namespace velmora::testing
