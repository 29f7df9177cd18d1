#include "renderer/texture_table.h"

#include <stb_image.h>

#include <algorithm>
#include <cstring>

#include "renderer/gl_api.h"

namespace velmora::renderer {
namespace {

void SetSampling(GLenum target) {
  glTexParameteri(target, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
  glTexParameteri(target, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(target, GL_TEXTURE_WRAP_S, GL_MIRRORED_REPEAT);
  glTexParameteri(target, GL_TEXTURE_WRAP_T, GL_MIRRORED_REPEAT);
}

int32_t MipLevels(int32_t width, int32_t height) {
  int32_t levels = 1;
  for (int32_t size = std::max(width, height); size > 1; size /= 2) ++levels;
  return levels;
}

}  // namespace

TImageTexture LoadImageTexture(const std::string& fileName) {
  int width = 0;
  int height = 0;
  int channels = 0;
  stbi_uc* pixels = stbi_load(fileName.c_str(), &width, &height, &channels, 4);
  if (pixels == nullptr) return {};
  TImageTexture image;
  GLint maxSize = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
  if (width > 0 && height > 0 && width <= maxSize && height <= maxSize) {
    glGenTextures(1, &image.Texture);
    glBindTexture(GL_TEXTURE_2D, image.Texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 pixels);
    glGenerateMipmap(GL_TEXTURE_2D);
    SetSampling(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, 0);
    image.Width = width;
    image.Height = height;
    const size_t texels = size_t(width) * size_t(height);
    for (size_t i = 0; i < texels && image.Opaque; ++i) image.Opaque = pixels[i * 4 + 3] == 255;
  }
  stbi_image_free(pixels);
  return image;
}

int32_t TTextureTable::Load(const char* fileName, float scale) {
  if (fileName == nullptr) return 0;
  const size_t length = strnlen(fileName, kMaxTextureNameLength + 1);
  if (length == 0 || length > kMaxTextureNameLength) return 0;
  for (int32_t i = 0; i < count_; ++i) {
    if (std::strcmp(entries_[i].FileName, fileName) == 0 && entries_[i].Scale == scale) {
      return i + 1;
    }
  }
  if (count_ == kTextureCapacity) return 0;
  const TImageTexture image = LoadImageTexture(fileName);
  if (image.Texture == 0) return 0;
  TEntry& entry = entries_[count_];
  std::memcpy(entry.FileName, fileName, length + 1);
  entry.Scale = scale;
  entry.Image = image;
  opaque_ = opaque_ && image.Opaque;
  ++count_;
  return count_;
}

void TTextureTable::Release() {
  for (int32_t i = 0; i < count_; ++i) {
    if (entries_[i].Image.Texture != 0) glDeleteTextures(1, &entries_[i].Image.Texture);
    entries_[i] = TEntry{};
  }
  count_ = 0;
  if (layers_ != 0) glDeleteTextures(1, &layers_);
  layers_ = 0;
  layerCount_ = 0;
  opaque_ = true;
}

uint32_t TTextureTable::LayerArray() {
  if (count_ == layerCount_) return layers_;
  if (layers_ != 0) glDeleteTextures(1, &layers_);
  layers_ = 0;
  layerCount_ = count_;
  if (count_ == 0) return 0;

  // Every layer has the size of the largest entry (up to kMaxLayerSize);
  // smaller images are stretched onto it, which keeps their coordinates.
  int32_t width = 1;
  int32_t height = 1;
  for (int32_t i = 0; i < count_; ++i) {
    width = std::max(width, entries_[i].Image.Width);
    height = std::max(height, entries_[i].Image.Height);
  }
  width = std::min(width, kMaxLayerSize);
  height = std::min(height, kMaxLayerSize);

  GLint previousFramebuffer = 0;
  glGetIntegerv(GL_FRAMEBUFFER_BINDING, &previousFramebuffer);
  glGenTextures(1, &layers_);
  glBindTexture(GL_TEXTURE_2D_ARRAY, layers_);
  glTexStorage3D(GL_TEXTURE_2D_ARRAY, MipLevels(width, height), GL_RGBA8, width, height, count_);
  GLuint framebuffers[2] = {0, 0};
  glGenFramebuffers(2, framebuffers);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffers[0]);
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, framebuffers[1]);
  for (int32_t i = 0; i < count_; ++i) {
    const TImageTexture& image = entries_[i].Image;
    glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D,
                           image.Texture, 0);
    glFramebufferTextureLayer(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, layers_, 0, i);
    glBlitFramebuffer(0, 0, image.Width, image.Height, 0, 0, width, height, GL_COLOR_BUFFER_BIT,
                      GL_LINEAR);
  }
  glBindFramebuffer(GL_FRAMEBUFFER, GLuint(previousFramebuffer));
  glDeleteFramebuffers(2, framebuffers);
  glGenerateMipmap(GL_TEXTURE_2D_ARRAY);
  SetSampling(GL_TEXTURE_2D_ARRAY);
  glBindTexture(GL_TEXTURE_2D_ARRAY, 0);
  return layers_;
}

}  // namespace velmora::renderer
