#include "renderer/vehicle_forms.h"

#include <assimp/material.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <assimp/Importer.hpp>
#include <cstddef>
#include <cstdio>
#include <filesystem>

#include "renderer/gl_api.h"
#include "renderer/mesh_counts.h"
#include "renderer/texture_table.h"
#include "renderer/view_math.h"

namespace velmora::renderer {
namespace {

TColour MaterialColour(const aiMaterial& material, const char* key, unsigned type,
                       unsigned index) {
  aiColor4D colour(0, 0, 0, 1);
  if (material.Get(key, type, index, colour) != aiReturn_SUCCESS) return {0, 0, 0, 1};
  return {colour.r, colour.g, colour.b, colour.a};
}

std::string MaterialTexture(const aiMaterial& material) {
  static constexpr aiTextureType kTypes[] = {aiTextureType_DIFFUSE, aiTextureType_AMBIENT,
                                             aiTextureType_EMISSIVE, aiTextureType_UNKNOWN};
  for (aiTextureType type : kTypes) {
    aiString path;
    if (material.GetTextureCount(type) > 0 &&
        material.GetTexture(type, 0, &path) == aiReturn_SUCCESS && path.length > 0) {
      return path.C_Str();
    }
  }
  return {};
}

// Appends the meshes of a node and its children with their frames applied,
// grouping triangles by material.
void CollectNode(const aiScene& scene, const aiNode& node, const aiMatrix4x4& parent,
                 std::vector<TMeshVertex>& vertices,
                 std::vector<std::vector<uint32_t>>& cornersByMaterial) {
  const aiMatrix4x4 transform = parent * node.mTransformation;
  aiMatrix3x3 normalTransform(transform);
  normalTransform.Inverse().Transpose();
  for (unsigned m = 0; m < node.mNumMeshes; ++m) {
    const aiMesh& mesh = *scene.mMeshes[node.mMeshes[m]];
    if (mesh.mMaterialIndex >= cornersByMaterial.size()) continue;
    const auto base = static_cast<uint32_t>(vertices.size());
    for (unsigned v = 0; v < mesh.mNumVertices; ++v) {
      const aiVector3D position = transform * mesh.mVertices[v];
      aiVector3D normal(0, 0, 0);
      if (mesh.HasNormals()) normal = (normalTransform * mesh.mNormals[v]).NormalizeSafe();
      aiVector3D uv(0, 0, 0);
      if (mesh.HasTextureCoords(0)) uv = mesh.mTextureCoords[0][v];
      vertices.push_back({position.x, position.y, position.z, normal.x, normal.y, normal.z, uv.x,
                          uv.y});
    }
    std::vector<uint32_t>& corners = cornersByMaterial[mesh.mMaterialIndex];
    for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
      const aiFace& face = mesh.mFaces[f];
      if (face.mNumIndices != 3) continue;
      bool valid = true;
      for (unsigned c = 0; c < 3; ++c) valid = valid && face.mIndices[c] < mesh.mNumVertices;
      if (!valid) continue;
      for (unsigned c = 0; c < 3; ++c) corners.push_back(base + face.mIndices[c]);
    }
  }
  for (unsigned c = 0; c < node.mNumChildren; ++c) {
    CollectNode(scene, *node.mChildren[c], transform, vertices, cornersByMaterial);
  }
}

// A texture named in a mesh file: as named (from the working folder), else
// beside the mesh file.
uint32_t LoadMaterialTexture(const std::string& name, const std::string& meshFile) {
  if (name.empty()) return 0;
  TImageTexture image = LoadImageTexture(name);
  if (image.Texture == 0) {
    const std::filesystem::path beside =
        std::filesystem::path(meshFile).parent_path() / std::filesystem::path(name);
    image = LoadImageTexture(beside.string());
  }
  return image.Texture;
}

bool UploadMesh(const TMeshData& data, const std::string& fileName, TMesh& mesh) {
  mesh = TMesh{};
  glGenVertexArrays(1, &mesh.VertexArray);
  glBindVertexArray(mesh.VertexArray);
  glGenBuffers(1, &mesh.VertexBuffer);
  glBindBuffer(GL_ARRAY_BUFFER, mesh.VertexBuffer);
  glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(data.Vertices.size() * sizeof(TMeshVertex)),
               data.Vertices.data(), GL_STATIC_DRAW);
  glGenBuffers(1, &mesh.IndexBuffer);
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, mesh.IndexBuffer);
  glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(data.Corners.size() * sizeof(uint32_t)),
               data.Corners.data(), GL_STATIC_DRAW);
  constexpr auto kStride = GLsizei(sizeof(TMeshVertex));
  glEnableVertexAttribArray(0);
  glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, kStride,
                        reinterpret_cast<const void*>(offsetof(TMeshVertex, X)));
  glEnableVertexAttribArray(1);
  glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, kStride,
                        reinterpret_cast<const void*>(offsetof(TMeshVertex, NX)));
  glEnableVertexAttribArray(2);
  glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, kStride,
                        reinterpret_cast<const void*>(offsetof(TMeshVertex, U)));
  glBindVertexArray(0);
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  mesh.Materials = data.Materials;
  mesh.SubsetFirst = data.SubsetFirst;
  mesh.SubsetCount = data.SubsetCount;
  for (const TMaterial& material : data.Materials) {
    mesh.Textures.push_back(LoadMaterialTexture(material.TextureFile, fileName));
    // A broken texture does not stop the vehicle: it is drawn in the
    // material's colour, and the file is named so it can be mended.
    if (!material.TextureFile.empty() && mesh.Textures.back() == 0) {
      std::fprintf(stderr,
                   "prismoth: %s: the texture '%s' of material %zu cannot be loaded; the "
                   "material is drawn without it\n",
                   fileName.c_str(), material.TextureFile.c_str(), mesh.Textures.size());
    }
  }
  return glGetError() == GL_NO_ERROR;
}

// The library has no other channel for the reason: it goes to standard error.
void ReportMeshFailure(const std::string& reason) {
  std::fprintf(stderr, "prismoth: %s\n", reason.c_str());
}

int32_t LoadMesh(const std::string& fileName, TMesh& record) {
  const std::string countProblem = CheckMeshFileCounts(fileName);
  if (!countProblem.empty()) {
    ReportMeshFailure(countProblem);
    return DX_ERROR_FORM_COUNT;
  }
  TMeshData data;
  const std::string problem = ReadMeshFile(fileName, data);
  if (!problem.empty()) {
    ReportMeshFailure(problem);
    return DX_ERROR_FORM_FILE;
  }
  TMesh mesh;
  if (!UploadMesh(data, fileName, mesh)) {
    mesh.Release();
    return DX_ERROR_FORM_FILE;
  }
  record.Release();
  record = std::move(mesh);
  return 0;
}

}  // namespace

std::string ReadMeshFile(const std::string& fileName, TMeshData& mesh) {
  std::string countProblem = CheckMeshFileCounts(fileName);
  if (!countProblem.empty()) return countProblem;
  Assimp::Importer importer;
  const aiScene* scene = importer.ReadFile(
      fileName, aiProcess_ConvertToLeftHanded | aiProcess_Triangulate | aiProcess_SortByPType);
  if (scene == nullptr || scene->mRootNode == nullptr ||
      (scene->mFlags & AI_SCENE_FLAGS_INCOMPLETE) != 0) {
    return std::string("cannot read ") + fileName + ": " + importer.GetErrorString();
  }
  mesh = TMeshData{};
  for (unsigned i = 0; i < scene->mNumMaterials; ++i) {
    const aiMaterial& material = *scene->mMaterials[i];
    TMaterial out;
    out.Diffuse = MaterialColour(material, AI_MATKEY_COLOR_DIFFUSE);
    out.Ambient = out.Diffuse;
    out.Emissive = MaterialColour(material, AI_MATKEY_COLOR_EMISSIVE);
    out.Emissive.A = 0;
    out.TextureFile = MaterialTexture(material);
    mesh.Materials.push_back(out);
  }
  std::vector<std::vector<uint32_t>> cornersByMaterial(mesh.Materials.size());
  CollectNode(*scene, *scene->mRootNode, aiMatrix4x4(), mesh.Vertices, cornersByMaterial);
  for (const std::vector<uint32_t>& corners : cornersByMaterial) {
    mesh.SubsetFirst.push_back(static_cast<uint32_t>(mesh.Corners.size()));
    mesh.SubsetCount.push_back(static_cast<uint32_t>(corners.size()));
    mesh.Corners.insert(mesh.Corners.end(), corners.begin(), corners.end());
  }
  if (mesh.Corners.empty()) return "no triangles in " + fileName;
  return {};
}

void TMesh::Release() {
  for (uint32_t& texture : Textures) {
    if (texture != 0) glDeleteTextures(1, &texture);
  }
  if (VertexArray != 0) glDeleteVertexArrays(1, &VertexArray);
  if (VertexBuffer != 0) glDeleteBuffers(1, &VertexBuffer);
  if (IndexBuffer != 0) glDeleteBuffers(1, &IndexBuffer);
  *this = TMesh{};
}

int32_t TVehicleForms::Load(const char* stem, int32_t formId, float switchDistance) {
  if (stem == nullptr || formId < 1 || formId > kFormCapacity) return DX_ERROR_FORM_ARGUMENT;
  TVehicleForm& form = forms_[formId - 1];
  form.SwitchValue = SwitchValue(switchDistance);
  const int32_t fine = LoadMesh(std::string(stem) + ".x", form.Fine);
  if (fine != 0) return fine;
  return LoadMesh(std::string(stem) + "_rough.x", form.Rough);
}

const TVehicleForm* TVehicleForms::Form(int32_t formId) const {
  if (formId < 1 || formId > kFormCapacity) return nullptr;
  return &forms_[formId - 1];
}

void TVehicleForms::Release() {
  for (TVehicleForm& form : forms_) {
    form.Fine.Release();
    form.Rough.Release();
    form.SwitchValue = 0;
  }
}

}  // namespace velmora::renderer
