// The texture table: up to 100 image files with the scale they are laid on
// surfaces with, de-duplicated by exact name and scale. For drawing, every
// entry is also a layer of one array texture, so the whole surface store can
// be drawn with its textures bound once.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "renderer/prismoth.h"

namespace velmora::renderer {

constexpr int32_t kTextureCapacity = DX_TEXTURE_CAPACITY;
constexpr size_t kMaxTextureNameLength = 63;  // characters
constexpr int32_t kMaxLayerSize = 1024;       // pixels: larger images are scaled down in the array

// An OpenGL texture made from an image file: RGBA, mipmapped, linear
// filtering, mirrored addressing. 0 when the file cannot be read.
struct TImageTexture {
  uint32_t Texture = 0;
  int32_t Width = 0;   // pixels
  int32_t Height = 0;  // pixels
  bool Opaque = true;  // every texel's alpha is 255
};
TImageTexture LoadImageTexture(const std::string& fileName);

class TTextureTable {
 public:
  TTextureTable() = default;
  TTextureTable(const TTextureTable&) = delete;
  TTextureTable& operator=(const TTextureTable&) = delete;
  ~TTextureTable() = default;

  // Returns the id of the entry with this name and scale, loading the file
  // for a new entry; 0 when the name is empty or longer than 63 characters,
  // the table is full or the file cannot be read.
  int32_t Load(const char* fileName, float scale);
  // Releases every texture and empties the table.
  void Release();

  int32_t Count() const { return count_; }
  // The scale of an id in 1..Count().
  float Scale(int32_t textureId) const { return entries_[textureId - 1].Scale; }
  uint32_t Texture(int32_t textureId) const { return entries_[textureId - 1].Image.Texture; }
  // The array texture with entry id at layer id - 1, rebuilt when entries
  // were added since. 0 while the table is empty.
  uint32_t LayerArray();
  // Every texture loaded so far is opaque, so a surface drawn with any of
  // them covers what lies behind it whatever the blending.
  bool Opaque() const { return opaque_; }

 private:
  struct TEntry {
    char FileName[kMaxTextureNameLength + 1] = {};
    float Scale = 0;  // m per repeat, 0 = one repeat across the surface's width
    TImageTexture Image;
  };
  std::array<TEntry, kTextureCapacity> entries_{};
  int32_t count_ = 0;
  uint32_t layers_ = 0;
  int32_t layerCount_ = 0;
  bool opaque_ = true;
};

}  // namespace velmora::renderer
