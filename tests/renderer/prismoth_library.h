// The built renderer library, bound by name with dlopen and dlsym as the
// program binds it, plus what the pixel tests need around it: a view that
// keeps the last frame, surfaces, cameras, image files and .x meshes.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "renderer/prismoth.h"
#include "vehicle/renderer_api.h"
#include "tests/support/camera.h"
#include "tests/support/temp_file.h"

namespace velmora::testing {

// dlopen handle of the library under test, opened once per process.
inline void* PrismothHandle() {
  static void* handle = dlopen(PRISMOTH_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  return handle;
}

template <typename Fn>
Fn BindExport(const char* name) {
  void* handle = PrismothHandle();
  return handle != nullptr ? reinterpret_cast<Fn>(dlsym(handle, name)) : nullptr;
}

inline vehicle::TRendererTable BindPrismoth() {
  vehicle::TRendererTable table;
  table.Initialize = BindExport<DXInitializeFn>("DXInitialize");
  table.Terminate = BindExport<DXTerminateFn>("DXTerminate");
  table.LoadVehicleForm = BindExport<DXLoadVehicleFormFn>("DXLoadVehicleForm");
  table.LoadTexture = BindExport<DXLoadTextureFn>("DXLoadTexture");
  table.AddSurface = BindExport<DXAddSurfaceFn>("DXAddSurface");
  table.RemoveSurface = BindExport<DXRemoveSurfaceFn>("DXRemoveSurface");
  table.GetNumOfVertexBufs = BindExport<DXGetNumOfVertexBufsFn>("DXGetNumOfVertexBufs");
  table.Draw = BindExport<DXDrawFn>("DXDraw");
  return table;
}

// Runs a test case in a folder of its own, so that the files it writes have
// short relative names (texture names are limited to 63 characters).
class TInTestFolder {
 public:
  TInTestFolder() : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(TestFilePath("x").parent_path());
  }
  TInTestFolder(const TInTestFolder&) = delete;
  TInTestFolder& operator=(const TInTestFolder&) = delete;
  ~TInTestFolder() { std::filesystem::current_path(previous_); }

 private:
  std::filesystem::path previous_;
};

struct TPixel {
  int R, G, B, A;
};

// The view handed to DXInitialize; keeps a copy of the last frame.
class TCapturedView {
 public:
  TCapturedView(int32_t width, int32_t height) {
    view_.Width = width;
    view_.Height = height;
    view_.Present = &TCapturedView::Present;
    view_.Context = this;
  }
  DXView* View() { return &view_; }
  // The view's new size, as a window that the user resizes.
  void Resize(int32_t width, int32_t height) {
    view_.Width = width;
    view_.Height = height;
  }
  int Frames() const { return frames_; }
  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  TPixel At(int x, int y) const {
    const uint8_t* p = pixels_.data() + size_t(y) * size_t(width_) * 4 + size_t(x) * 4;
    return {p[0], p[1], p[2], p[3]};
  }
  TPixel Centre() const { return At(width_ / 2, height_ / 2); }

 private:
  static void Present(void* context, const uint8_t* rgba, int32_t width, int32_t height,
                      int32_t stride) {
    auto* self = static_cast<TCapturedView*>(context);
    self->width_ = width;
    self->height_ = height;
    self->pixels_.resize(size_t(width) * size_t(height) * 4);
    for (int32_t row = 0; row < height; ++row) {
      std::copy_n(rgba + size_t(row) * size_t(stride), size_t(width) * 4,
                  self->pixels_.data() + size_t(row) * size_t(width) * 4);
    }
    ++self->frames_;
  }

  DXView view_{};
  std::vector<uint8_t> pixels_;
  int32_t width_ = 0;
  int32_t height_ = 0;
  int frames_ = 0;
};

// A four-vertex strip: P0, P1 across, P2, P3 the far edge.
inline DXSurface Quad(uint32_t colour, int32_t textureId, const float (&corners)[4][3]) {
  DXSurface surface{};
  surface.Colour = colour;
  surface.TextureId = textureId;
  for (int i = 0; i < 4; ++i) {
    for (int axis = 0; axis < 3; ++axis) surface.Vertices[i][axis] = corners[i][axis];
  }
  return surface;
}

// A level quad at height z spanning x0..x1 east and y0..y1 north.
inline DXSurface LevelQuad(uint32_t colour, float x0, float x1, float y0, float y1, float z,
                           int32_t textureId = 0) {
  return Quad(colour, textureId, {{x0, y0, z}, {x1, y0, z}, {x0, y1, z}, {x1, y1, z}});
}

// An upright quad facing south at northing y, spanning x0..x1 and heights
// z0 (top, negative = up) .. z1.
inline DXSurface UprightQuad(uint32_t colour, float x0, float x1, float y, float zTop,
                             float zBottom) {
  return Quad(colour, 0, {{x0, y, zBottom}, {x1, y, zBottom}, {x0, y, zTop}, {x1, y, zTop}});
}

inline vehicle::TVehicleState Camera(double x, double y, double z, float heading, float pitch = 0,
                                     float bank = 0) {
  return velmora::testing::CameraAt(x, y, z, heading, pitch, bank);
}

// An uncompressed 32-bit TGA image, rows given top first.
inline void WriteTga(const std::filesystem::path& path, int width, int height,
                     const std::vector<uint32_t>& rgbaTopFirst) {
  std::string bytes(18, '\0');
  bytes[2] = 2;  // uncompressed true colour
  bytes[12] = char(width & 0xFF);
  bytes[13] = char(width >> 8);
  bytes[14] = char(height & 0xFF);
  bytes[15] = char(height >> 8);
  bytes[16] = 32;
  bytes[17] = 0x28;  // top-left origin, 8 alpha bits
  for (uint32_t rgba : rgbaTopFirst) {
    bytes += char((rgba >> 16) & 0xFF);  // blue
    bytes += char((rgba >> 8) & 0xFF);   // green
    bytes += char(rgba & 0xFF);          // red
    bytes += char((rgba >> 24) & 0xFF);  // alpha
  }
  std::ofstream(path, std::ios::binary) << bytes;
}

struct TBoxMaterial {
  float R, G, B;
  std::string Texture;  // file name written into the mesh, empty = none
};

// A DirectX text mesh of a box in model axes (x right, y up, z forward),
// spanning -halfWidth..halfWidth across and forward and bottom..top up,
// moved by right and forward, with face normals and one material per box.
inline std::string BoxMesh(float halfWidth, float bottom, float top, const TBoxMaterial& material,
                           float right = 0, float forward = 0) {
  const float w = halfWidth;
  // Six faces, four corners each, and the outward normal.
  struct Face {
    float Corners[4][3];
    float Normal[3];
  };
  const Face faces[6] = {
      {{{-w, top, -w}, {w, top, -w}, {w, top, w}, {-w, top, w}}, {0, 1, 0}},
      {{{-w, bottom, -w}, {-w, bottom, w}, {w, bottom, w}, {w, bottom, -w}}, {0, -1, 0}},
      {{{-w, bottom, w}, {-w, top, w}, {w, top, w}, {w, bottom, w}}, {0, 0, 1}},
      {{{-w, bottom, -w}, {w, bottom, -w}, {w, top, -w}, {-w, top, -w}}, {0, 0, -1}},
      {{{w, bottom, -w}, {w, bottom, w}, {w, top, w}, {w, top, -w}}, {1, 0, 0}},
      {{{-w, bottom, -w}, {-w, top, -w}, {-w, top, w}, {-w, bottom, w}}, {-1, 0, 0}},
  };
  std::ostringstream x;
  x << "xof 0303txt 0032\n";
  x << "Material Paint {\n " << material.R << ";" << material.G << ";" << material.B
    << ";1.0;;\n 0.0;\n 0.0;0.0;0.0;;\n 0.0;0.0;0.0;;\n";
  if (!material.Texture.empty()) x << " TextureFilename { \"" << material.Texture << "\"; }\n";
  x << "}\n";
  x << "Mesh Box {\n 24;\n";
  for (int f = 0; f < 6; ++f) {
    for (int c = 0; c < 4; ++c) {
      const auto& p = faces[f].Corners[c];
      x << " " << p[0] + right << ";" << p[1] << ";" << p[2] + forward << ";"
        << (f == 5 && c == 3 ? ";" : ",")
        << "\n";
    }
  }
  x << " 12;\n";
  for (int f = 0; f < 6; ++f) {
    const int b = f * 4;
    x << " 3;" << b << "," << b + 1 << "," << b + 2 << ";,\n";
    x << " 3;" << b << "," << b + 2 << "," << b + 3 << ";" << (f == 5 ? ";" : ",") << "\n";
  }
  x << " MeshMaterialList {\n  1;\n  12;\n";
  for (int t = 0; t < 12; ++t) x << "  0" << (t == 11 ? ";" : ",") << "\n";
  x << "  {Paint}\n }\n";
  x << " MeshNormals {\n  24;\n";
  for (int f = 0; f < 6; ++f) {
    for (int c = 0; c < 4; ++c) {
      const auto& n = faces[f].Normal;
      x << "  " << n[0] << ";" << n[1] << ";" << n[2] << ";" << (f == 5 && c == 3 ? ";" : ",")
        << "\n";
    }
  }
  x << "  12;\n";
  for (int f = 0; f < 6; ++f) {
    const int b = f * 4;
    x << "  3;" << b << "," << b + 1 << "," << b + 2 << ";,\n";
    x << "  3;" << b << "," << b + 2 << "," << b + 3 << ";" << (f == 5 ? ";" : ",") << "\n";
  }
  x << " }\n";
  x << " MeshTextureCoords {\n  24;\n";
  for (int i = 0; i < 24; ++i) {
    const int c = i % 4;
    x << "  " << (c == 1 || c == 2 ? 1 : 0) << ";" << (c >= 2 ? 1 : 0) << ";"
      << (i == 23 ? ";" : ",") << "\n";
  }
  x << " }\n}\n";
  return x.str();
}

}  // namespace velmora::testing
