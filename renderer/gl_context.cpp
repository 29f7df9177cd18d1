#include "renderer/gl_context.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <cstring>

#include "renderer/gl_api.h"

namespace velmora::renderer {
namespace {

constexpr int kMaxDevices = 16;

bool HasExtension(const char* list, const char* name) {
  if (list == nullptr) return false;
  const size_t length = std::strlen(name);
  for (const char* at = std::strstr(list, name); at != nullptr; at = std::strstr(at + 1, name)) {
    const bool starts = at == list || at[-1] == ' ';
    const bool ends = at[length] == '\0' || at[length] == ' ';
    if (starts && ends) return true;
  }
  return false;
}

// EGL displays of the hardware devices, software renderers left out.
std::vector<EGLDisplay> HardwareDisplays() {
  std::vector<EGLDisplay> displays;
  const char* clientExtensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
  if (!HasExtension(clientExtensions, "EGL_EXT_device_enumeration") ||
      !HasExtension(clientExtensions, "EGL_EXT_platform_device")) {
    return displays;
  }
  auto queryDevices =
      reinterpret_cast<PFNEGLQUERYDEVICESEXTPROC>(eglGetProcAddress("eglQueryDevicesEXT"));
  auto queryDeviceString = reinterpret_cast<PFNEGLQUERYDEVICESTRINGEXTPROC>(
      eglGetProcAddress("eglQueryDeviceStringEXT"));
  if (queryDevices == nullptr || queryDeviceString == nullptr) return displays;
  EGLDeviceEXT devices[kMaxDevices];
  EGLint count = 0;
  if (!queryDevices(kMaxDevices, devices, &count)) return displays;
  for (EGLint i = 0; i < count; ++i) {
    if (HasExtension(queryDeviceString(devices[i], EGL_EXTENSIONS), "EGL_MESA_device_software")) {
      continue;
    }
    EGLDisplay display = eglGetPlatformDisplay(EGL_PLATFORM_DEVICE_EXT, devices[i], nullptr);
    if (display != EGL_NO_DISPLAY) displays.push_back(display);
  }
  return displays;
}

}  // namespace

bool TGlContext::Open() {
  Close();
  for (EGLDisplay display : HardwareDisplays()) {
    if (OpenOn(display)) return true;
  }
  EGLDisplay surfaceless =
      eglGetPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
  return surfaceless != EGL_NO_DISPLAY && OpenOn(surfaceless);
}

bool TGlContext::OpenOn(void* display) {
  EGLint major = 0;
  EGLint minor = 0;
  if (!eglInitialize(display, &major, &minor)) return false;
  const char* extensions = eglQueryString(display, EGL_EXTENSIONS);
  if (!HasExtension(extensions, "EGL_KHR_surfaceless_context") || !eglBindAPI(EGL_OPENGL_API)) {
    eglTerminate(display);
    return false;
  }
  EGLConfig config = EGL_NO_CONFIG_KHR;
  if (!HasExtension(extensions, "EGL_KHR_no_config_context")) {
    const EGLint configAttributes[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_SURFACE_TYPE,
                                       EGL_PBUFFER_BIT, EGL_NONE};
    EGLint configCount = 0;
    if (!eglChooseConfig(display, configAttributes, &config, 1, &configCount) ||
        configCount < 1) {
      eglTerminate(display);
      return false;
    }
  }
  const EGLint contextAttributes[] = {EGL_CONTEXT_MAJOR_VERSION,
                                      3,
                                      EGL_CONTEXT_MINOR_VERSION,
                                      3,
                                      EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                      EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
                                      EGL_NONE};
  EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, contextAttributes);
  if (context == EGL_NO_CONTEXT) {
    eglTerminate(display);
    return false;
  }
  if (!eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context)) {
    eglDestroyContext(display, context);
    eglTerminate(display);
    return false;
  }
  display_ = display;
  context_ = context;
  GLint glMajor = 0;
  GLint glMinor = 0;
  glGetIntegerv(GL_MAJOR_VERSION, &glMajor);
  glGetIntegerv(GL_MINOR_VERSION, &glMinor);
  hasClipControl_ = glMajor > 4 || (glMajor == 4 && glMinor >= 5);
  GLint extensionCount = 0;
  glGetIntegerv(GL_NUM_EXTENSIONS, &extensionCount);
  for (GLint i = 0; i < extensionCount && !hasClipControl_; ++i) {
    const auto* name = reinterpret_cast<const char*>(glGetStringi(GL_EXTENSIONS, GLuint(i)));
    hasClipControl_ = name != nullptr && std::strcmp(name, "GL_ARB_clip_control") == 0;
  }
  return true;
}

// The display stays initialised for the life of the process: terminating it
// unloads the driver, which a later start would load and set up again.
void TGlContext::Close() {
  if (context_ == nullptr) return;
  eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
  eglDestroyContext(display_, context_);
  eglReleaseThread();
  context_ = nullptr;
  display_ = nullptr;
  hasClipControl_ = false;
}

void TGlContext::MakeCurrent() {
  if (context_ != nullptr && eglGetCurrentContext() != context_) {
    eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, context_);
  }
}

bool TFrameTarget::Create(int32_t width, int32_t height) {
  Release();
  glGenFramebuffers(1, &framebuffer_);
  glGenRenderbuffers(1, &colour_);
  glGenRenderbuffers(1, &depth_);
  glBindRenderbuffer(GL_RENDERBUFFER, colour_);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
  glBindRenderbuffer(GL_RENDERBUFFER, depth_);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT32F, width, height);
  glBindRenderbuffer(GL_RENDERBUFFER, 0);
  glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour_);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth_);
  if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
    Release();
    return false;
  }
  width_ = width;
  height_ = height;
  glGenBuffers(2, packBuffers_);
  for (uint32_t buffer : packBuffers_) {
    glBindBuffer(GL_PIXEL_PACK_BUFFER, buffer);
    glBufferData(GL_PIXEL_PACK_BUFFER, GLsizeiptr(width) * height * 4, nullptr, GL_STREAM_READ);
  }
  glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
  glViewport(0, 0, width, height);
  return true;
}

void TFrameTarget::Release() {
  if (framebuffer_ != 0) {
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteFramebuffers(1, &framebuffer_);
  }
  if (colour_ != 0) glDeleteRenderbuffers(1, &colour_);
  if (depth_ != 0) glDeleteRenderbuffers(1, &depth_);
  if (packBuffers_[0] != 0) glDeleteBuffers(2, packBuffers_);
  framebuffer_ = colour_ = depth_ = packBuffers_[0] = packBuffers_[1] = 0;
  filled_[0] = filled_[1] = false;
  last_ = 1;
  width_ = height_ = 0;
}

void TFrameTarget::Bind() const {
  glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
  glViewport(0, 0, width_, height_);
}

bool TFrameTarget::BeginReadBack() {
  last_ = 1 - last_;
  glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer_);
  glReadBuffer(GL_COLOR_ATTACHMENT0);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glBindBuffer(GL_PIXEL_PACK_BUFFER, packBuffers_[last_]);
  glReadPixels(0, 0, width_, height_, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
  glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
  filled_[last_] = glGetError() == GL_NO_ERROR;
  return filled_[last_];
}

const uint8_t* TFrameTarget::Map(int age) {
  const int which = age == 0 ? last_ : 1 - last_;
  if (!filled_[which]) return nullptr;
  glBindBuffer(GL_PIXEL_PACK_BUFFER, packBuffers_[which]);
  const void* pixels =
      glMapBufferRange(GL_PIXEL_PACK_BUFFER, 0, GLsizeiptr(width_) * height_ * 4, GL_MAP_READ_BIT);
  if (pixels == nullptr) glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
  return static_cast<const uint8_t*>(pixels);
}

void TFrameTarget::EndMap() {
  glUnmapBuffer(GL_PIXEL_PACK_BUFFER);
  glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
}

}  // namespace velmora::renderer
