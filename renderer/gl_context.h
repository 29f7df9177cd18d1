// An OpenGL 3.3+ core context through EGL with no window: on a GPU's EGL
// device where one exists, on Mesa's surfaceless platform otherwise; and the
// framebuffer object a frame is drawn into and read back from.
#pragma once

#include <cstdint>
#include <vector>

namespace velmora::renderer {

class TGlContext {
 public:
  TGlContext() = default;
  TGlContext(const TGlContext&) = delete;
  TGlContext& operator=(const TGlContext&) = delete;
  ~TGlContext() { Close(); }

  // Creates the context and makes it current. False when none can be made.
  bool Open();
  void Close();
  bool IsOpen() const { return context_ != nullptr; }
  // Makes the context current on this thread again if another one took over.
  void MakeCurrent();
  // Whether glClipControl is there (OpenGL 4.5 or ARB_clip_control).
  bool HasClipControl() const { return hasClipControl_; }

 private:
  void* display_ = nullptr;
  void* context_ = nullptr;
  bool hasClipControl_ = false;

  bool OpenOn(void* display);
};

// Colour (RGBA, 8 bits each) and depth (32-bit float) targets of one size,
// and two pixel-pack buffers the frames are read back through in turn: while
// one frame is copied out on the device, the frame before it can be mapped.
class TFrameTarget {
 public:
  TFrameTarget() = default;
  TFrameTarget(const TFrameTarget&) = delete;
  TFrameTarget& operator=(const TFrameTarget&) = delete;
  ~TFrameTarget() { Release(); }

  // Creates the targets and binds them for drawing. False when the
  // framebuffer is incomplete (then nothing is kept).
  bool Create(int32_t width, int32_t height);
  void Release();
  void Bind() const;
  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  // Starts reading the frame drawn into the next pack buffer, rows top
  // first. False on an OpenGL error.
  bool BeginReadBack();
  // Whether a frame was read back before the one begun last.
  bool HasEarlierFrame() const { return filled_[1 - last_]; }
  // Maps the frame begun last (age 0) or the one before it (age 1); waits
  // until the device has copied it. Null when there is none or on an error;
  // otherwise EndMap before drawing on.
  const uint8_t* Map(int age);
  void EndMap();

 private:
  uint32_t framebuffer_ = 0;
  uint32_t colour_ = 0;
  uint32_t depth_ = 0;
  uint32_t packBuffers_[2] = {};
  bool filled_[2] = {};
  int last_ = 1;  // the pack buffer read into last
  int32_t width_ = 0;
  int32_t height_ = 0;
};

}  // namespace velmora::renderer
