#include "renderer/scene_renderer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstring>

#include "renderer/gl_api.h"

namespace velmora::renderer {
namespace {

constexpr int32_t kMaxFrameSize = 16384;  // pixels, each way

bool FrameSizeFits(int32_t width, int32_t height) {
  return width > 0 && height > 0 && width <= kMaxFrameSize && height <= kMaxFrameSize;
}

// Surfaces: vertex colour, or the texture alone where the surface has one.
// Hidden slots are moved outside the view; ground surfaces get pushed back
// by their depth bias.
constexpr const char* kSurfaceVertexShader = R"(#version 330 core
layout(location = 0) in vec3 position;
layout(location = 1) in vec2 texCoord;
layout(location = 2) in vec4 colour;
layout(location = 3) in uint state;
uniform mat4 viewProjection;
uniform float biasScale;
uniform float biasOffset;
out vec2 uv;
out vec4 vertexColour;
flat out int layer;
void main() {
  uv = texCoord;
  vertexColour = colour;
  layer = int(state & 0xFFu) - 1;
  if ((state & 0x80000000u) == 0u) {
    gl_Position = vec4(2.0, 2.0, 2.0, 1.0);
    return;
  }
  vec4 clip = viewProjection * vec4(position, 1.0);
  if ((state & 0x40000000u) != 0u) clip.z = clip.z * biasScale + clip.w * biasOffset;
  gl_Position = clip;
}
)";

constexpr const char* kSurfaceFragmentShader = R"(#version 330 core
uniform sampler2DArray layers;
in vec2 uv;
in vec4 vertexColour;
flat in int layer;
out vec4 fragment;
void main() {
  fragment = layer < 0 ? vertexColour : texture(layers, vec3(uv, float(layer)));
}
)";

// One surface with its states as uniforms: the benchmark's reference.
constexpr const char* kSingleSurfaceVertexShader = R"(#version 330 core
layout(location = 0) in vec3 position;
layout(location = 1) in vec2 texCoord;
layout(location = 2) in vec4 colour;
uniform mat4 viewProjection;
uniform float biasScale;
uniform float biasOffset;
out vec2 uv;
out vec4 vertexColour;
void main() {
  uv = texCoord;
  vertexColour = colour;
  vec4 clip = viewProjection * vec4(position, 1.0);
  gl_Position = vec4(clip.xy, clip.z * biasScale + clip.w * biasOffset, clip.w);
}
)";

constexpr const char* kSingleSurfaceFragmentShader = R"(#version 330 core
uniform sampler2D surfaceTexture;
uniform bool textured;
in vec2 uv;
in vec4 vertexColour;
out vec4 fragment;
void main() {
  fragment = textured ? texture(surfaceTexture, uv) : vertexColour;
}
)";

// Vehicles: one directional light straight down, diffuse and ambient 0.6,
// no specular; a material's texture replaces the lit colour. The matrices
// are uniforms for one vehicle at a time, or for the instanced calls a block
// of them read by instance; the lighting is shared, so the arithmetic is the
// same either way.
#define VELMORA_VEHICLE_INPUTS                 \
  "#version 330 core\n"                        \
  "layout(location = 0) in vec3 position;\n"   \
  "layout(location = 1) in vec3 normal;\n"     \
  "layout(location = 2) in vec2 texCoord;\n"   \
  "uniform vec4 diffuse;\n"                    \
  "uniform vec4 ambient;\n"                    \
  "uniform vec4 emissive;\n"                   \
  "out vec2 uv;\n"                             \
  "out vec4 litColour;\n"
#define VELMORA_VEHICLE_LIGHTING                                                 \
  "  gl_Position = worldViewProjection * vec4(position, 1.0);\n"                 \
  "  vec3 worldNormal = (world * vec4(normal, 0.0)).xyz;\n"                      \
  "  float facing = max(dot(worldNormal, vec3(0.0, 0.0, -1.0)), 0.0);\n"         \
  "  vec3 lit = emissive.rgb + 0.6 * ambient.rgb + 0.6 * facing * diffuse.rgb;\n" \
  "  litColour = vec4(clamp(lit, 0.0, 1.0), diffuse.a);\n"                       \
  "  uv = texCoord;\n"

constexpr const char* kVehicleVertexShader = VELMORA_VEHICLE_INPUTS
    "uniform mat4 worldViewProjection;\n"
    "uniform mat4 world;\n"
    "void main() {\n" VELMORA_VEHICLE_LIGHTING "}\n";

// The block holds 128 instances of two matrices, 16 KiB: the least block
// size OpenGL promises. A software rasteriser reads it once per instance,
// where matrices as instanced vertex attributes are fetched for every vertex.
constexpr int32_t kInstancesPerCall = 128;
constexpr const char* kInstancedVehicleVertexShader = VELMORA_VEHICLE_INPUTS
    "layout(std140) uniform Instances {\n"
    "  mat4 instanceMatrices[256];\n"
    "};\n"
    "void main() {\n"
    "  mat4 worldViewProjection = instanceMatrices[2 * gl_InstanceID];\n"
    "  mat4 world = instanceMatrices[2 * gl_InstanceID + 1];\n" VELMORA_VEHICLE_LIGHTING "}\n";

#undef VELMORA_VEHICLE_INPUTS
#undef VELMORA_VEHICLE_LIGHTING

constexpr const char* kVehicleFragmentShader = R"(#version 330 core
uniform sampler2D materialTexture;
uniform bool textured;
in vec2 uv;
in vec4 litColour;
out vec4 fragment;
void main() {
  fragment = textured ? texture(materialTexture, uv) : litColour;
}
)";

GLuint CompileShader(GLenum kind, const char* source) {
  const GLuint shader = glCreateShader(kind);
  glShaderSource(shader, 1, &source, nullptr);
  glCompileShader(shader);
  GLint compiled = GL_FALSE;
  glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
  if (compiled != GL_TRUE) {
    glDeleteShader(shader);
    return 0;
  }
  return shader;
}

GLuint LinkProgram(const char* vertexSource, const char* fragmentSource) {
  const GLuint vertex = CompileShader(GL_VERTEX_SHADER, vertexSource);
  const GLuint fragment = CompileShader(GL_FRAGMENT_SHADER, fragmentSource);
  GLuint program = 0;
  if (vertex != 0 && fragment != 0) {
    program = glCreateProgram();
    glAttachShader(program, vertex);
    glAttachShader(program, fragment);
    glLinkProgram(program);
    GLint linked = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    if (linked != GL_TRUE) {
      glDeleteProgram(program);
      program = 0;
    }
  }
  if (vertex != 0) glDeleteShader(vertex);
  if (fragment != 0) glDeleteShader(fragment);
  return program;
}

// Writes a frame's data into the buffer bound to target, growing it only when
// it is too small: a buffer made anew each frame costs a software rasteriser
// fresh memory, and the page faults of touching it, every frame.
void Refill(GLenum target, const void* data, size_t bytes, size_t& capacity) {
  if (bytes > capacity) {
    capacity = std::max(bytes, capacity * 2);
    glBufferData(target, GLsizeiptr(capacity), nullptr, GL_DYNAMIC_DRAW);
  }
  if (bytes > 0) glBufferSubData(target, 0, GLsizeiptr(bytes), data);
}

void SetColour(GLint location, const TColour& colour) {
  glUniform4f(location, colour.R, colour.G, colour.B, colour.A);
}

float ColourByte(uint32_t colour, int shift) { return float((colour >> shift) & 0xFFu) / 255.0f; }

}  // namespace

int32_t TRenderer::Initialize(const DXView* view, int32_t width, int32_t height) {
  Terminate();
  if (view == nullptr || view->Present == nullptr) return DX_ERROR_VIEW;
  const bool fixedSize = width != 0 || height != 0;
  const int32_t frameWidth = fixedSize ? width : view->Width;
  const int32_t frameHeight = fixedSize ? height : view->Height;
  if (!FrameSizeFits(frameWidth, frameHeight)) return DX_ERROR_VIEW;

  if (!context_.Open()) return DX_ERROR_NO_DEVICE;
  depth_ = context_.HasClipControl() ? TDepthConvention::Reversed : TDepthConvention::Conventional;
  if (!BuildPrograms()) {
    ReleaseDevice();
    return DX_ERROR_SHADERS;
  }
  if (!target_.Create(frameWidth, frameHeight)) {
    ReleaseDevice();
    return DX_ERROR_FRAME_TARGET;
  }
  view_ = view;
  fixedSize_ = fixedSize;
  frameWidth_ = frameWidth;
  frameHeight_ = frameHeight;
  store_.Reset();
  CreateSurfaceBuffers();
  ApplyStates();
  ready_ = true;
  return DX_OK;
}

bool TRenderer::BuildPrograms() {
  surfaceProgram_.Program = LinkProgram(kSurfaceVertexShader, kSurfaceFragmentShader);
  vehicleProgram_.Program = LinkProgram(kVehicleVertexShader, kVehicleFragmentShader);
  instancedProgram_.Program =
      LinkProgram(kInstancedVehicleVertexShader, kVehicleFragmentShader);
  singleSurfaceProgram_.Program =
      LinkProgram(kSingleSurfaceVertexShader, kSingleSurfaceFragmentShader);
  if (surfaceProgram_.Program == 0 || vehicleProgram_.Program == 0 ||
      instancedProgram_.Program == 0 || singleSurfaceProgram_.Program == 0) {
    return false;
  }
  const GLuint single = singleSurfaceProgram_.Program;
  singleSurfaceProgram_.ViewProjection = glGetUniformLocation(single, "viewProjection");
  singleSurfaceProgram_.BiasScale = glGetUniformLocation(single, "biasScale");
  singleSurfaceProgram_.BiasOffset = glGetUniformLocation(single, "biasOffset");
  singleSurfaceProgram_.Sampler = glGetUniformLocation(single, "surfaceTexture");
  singleSurfaceTextured_ = glGetUniformLocation(single, "textured");
  const GLuint surface = surfaceProgram_.Program;
  surfaceProgram_.ViewProjection = glGetUniformLocation(surface, "viewProjection");
  surfaceProgram_.BiasScale = glGetUniformLocation(surface, "biasScale");
  surfaceProgram_.BiasOffset = glGetUniformLocation(surface, "biasOffset");
  surfaceProgram_.Sampler = glGetUniformLocation(surface, "layers");
  for (TVehicleProgram* program : {&vehicleProgram_, &instancedProgram_}) {
    const GLuint vehicle = program->Program;
    program->WorldViewProjection = glGetUniformLocation(vehicle, "worldViewProjection");
    program->World = glGetUniformLocation(vehicle, "world");
    program->Diffuse = glGetUniformLocation(vehicle, "diffuse");
    program->Ambient = glGetUniformLocation(vehicle, "ambient");
    program->Emissive = glGetUniformLocation(vehicle, "emissive");
    program->Textured = glGetUniformLocation(vehicle, "textured");
    program->Texture = glGetUniformLocation(vehicle, "materialTexture");
  }
  const GLuint block = glGetUniformBlockIndex(instancedProgram_.Program, "Instances");
  if (block == GL_INVALID_INDEX) return false;
  glUniformBlockBinding(instancedProgram_.Program, block, 0);
  // Instances per step of the offsets a block may start at.
  GLint alignment = 1;
  glGetIntegerv(GL_UNIFORM_BUFFER_OFFSET_ALIGNMENT, &alignment);
  const auto instanceBytes = GLint(sizeof(TVehicleInstance));
  instanceAlignment_ = size_t(std::max(1, (alignment + instanceBytes - 1) / instanceBytes));
  return true;
}

void TRenderer::ApplyStates() {
  if (depth_ == TDepthConvention::Reversed) {
    glClipControl(GL_LOWER_LEFT, GL_ZERO_TO_ONE);
    glDepthFunc(GL_GEQUAL);
  } else {
    glDepthFunc(GL_LEQUAL);
  }
  glEnable(GL_DEPTH_TEST);
  glDisable(GL_CULL_FACE);
  glEnable(GL_DITHER);
  glEnable(GL_BLEND);
  // The frame stays opaque: blending mixes colour only.
  glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ZERO, GL_ONE);
  glActiveTexture(GL_TEXTURE0);
}

void TRenderer::CreateSurfaceBuffers() {
  glGenVertexArrays(1, &surfaceArray_);
  glGenBuffers(1, &surfaceVertices_);
  glGenBuffers(1, &surfaceStates_);
  glGenBuffers(1, &surfaceCorners_);
  glGenBuffers(1, &instanceBuffer_);
  glGenBuffers(1, &visibleCorners_);
  glBindVertexArray(surfaceArray_);
  constexpr auto kStride = GLsizei(sizeof(TSurfaceVertex));
  glBindBuffer(GL_ARRAY_BUFFER, surfaceVertices_);
  glEnableVertexAttribArray(0);
  glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, kStride,
                        reinterpret_cast<const void*>(offsetof(TSurfaceVertex, X)));
  glEnableVertexAttribArray(1);
  glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, kStride,
                        reinterpret_cast<const void*>(offsetof(TSurfaceVertex, U)));
  glEnableVertexAttribArray(2);
  glVertexAttribPointer(2, 4, GL_UNSIGNED_BYTE, GL_TRUE, kStride,
                        reinterpret_cast<const void*>(offsetof(TSurfaceVertex, Colour)));
  glBindBuffer(GL_ARRAY_BUFFER, surfaceStates_);
  glEnableVertexAttribArray(3);
  glVertexAttribIPointer(3, 1, GL_UNSIGNED_INT, sizeof(uint32_t), nullptr);
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, surfaceCorners_);
  glBindVertexArray(0);
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  vertexCapacity_ = 0;
  cornerCapacity_ = 0;
}

void TRenderer::ReleaseDevice() {
  if (!context_.IsOpen()) return;
  context_.MakeCurrent();
  textures_.Release();
  forms_.Release();
  target_.Release();
  if (surfaceArray_ != 0) glDeleteVertexArrays(1, &surfaceArray_);
  const GLuint buffers[5] = {surfaceVertices_, surfaceStates_, surfaceCorners_, instanceBuffer_,
                             visibleCorners_};
  glDeleteBuffers(5, buffers);
  surfaceArray_ = surfaceVertices_ = surfaceStates_ = surfaceCorners_ = 0;
  instanceBuffer_ = visibleCorners_ = 0;
  instanceCapacity_ = visibleCapacity_ = 0;
  vertexCapacity_ = cornerCapacity_ = 0;
  if (surfaceProgram_.Program != 0) glDeleteProgram(surfaceProgram_.Program);
  if (vehicleProgram_.Program != 0) glDeleteProgram(vehicleProgram_.Program);
  if (instancedProgram_.Program != 0) glDeleteProgram(instancedProgram_.Program);
  if (singleSurfaceProgram_.Program != 0) glDeleteProgram(singleSurfaceProgram_.Program);
  singleSurfaceProgram_ = {};
  surfaceProgram_ = {};
  vehicleProgram_ = {};
  instancedProgram_ = {};
  context_.Close();
}

void TRenderer::Terminate() {
  ReleaseDevice();
  ForgetSlots();
  store_.Reset();
  ready_ = false;
  lastFrameValid_ = false;
  view_ = nullptr;
  frameWidth_ = frameHeight_ = 0;
}

void TRenderer::Finish() {
  if (!ready_) return;
  context_.MakeCurrent();
  glFinish();
}

int32_t TRenderer::LoadVehicleForm(const char* stem, int32_t formId, float switchDistance) {
  if (!ready_) return DX_ERROR_FORM_NOT_READY;
  context_.MakeCurrent();
  SceneChanged();
  return forms_.Load(stem, formId, switchDistance);
}

int32_t TRenderer::LoadTexture(const char* fileName, float scale) {
  if (!ready_) return 0;
  context_.MakeCurrent();
  SceneChanged();
  return textures_.Load(fileName, scale);
}

int32_t TRenderer::AddSurface(const DXSurface* surface, int32_t vertexCount) {
  if (!ready_ || surface == nullptr) return 0;
  const int32_t textureId = surface->TextureId;
  if (textureId != 0 && (textureId < 1 || textureId > textures_.Count())) return 0;
  const float scale = textureId != 0 ? textures_.Scale(textureId) : 0.0f;
  const int32_t slotsBefore = store_.SlotCount();
  const int32_t reused = store_.FreeHead(textureId != 0, vertexCount);
  RememberSlot(reused != 0 ? reused : slotsBefore + 1);
  const int32_t id = store_.Add(*surface, vertexCount, scale);
  if (id != 0) {
    context_.MakeCurrent();
    UploadSlot(id, store_.SlotCount() != slotsBefore);
  }
  return id;
}

int32_t TRenderer::RemoveSurface(int32_t surfaceId) {
  if (store_.InUse(surfaceId)) RememberSlot(surfaceId);
  const int32_t result = store_.Remove(surfaceId);
  if (result == DX_OK && ready_) {
    context_.MakeCurrent();
    UploadSlot(surfaceId, false);
  }
  return result;
}

void TRenderer::RememberSlot(int32_t surfaceId) {
  if (surfaceId < 1 || surfaceId > kSurfaceCapacity || slotTouched_[surfaceId - 1] != 0) return;
  if (slotsBefore_.size() >= kSlotsRemembered) {
    SceneChanged();  // too many to compare: the next frame is drawn
    return;
  }
  slotTouched_[surfaceId - 1] = 1;
  TSlotBefore before{surfaceId, store_.InUse(surfaceId), 0, verticesBefore_.size()};
  if (before.InUse) {
    const TSurfaceSlot& slot = store_.Slot(surfaceId);
    const auto vertices = store_.Vertices().subspan(size_t(slot.FirstVertex),
                                                    size_t(slot.PrimitiveCount) + 2);
    verticesBefore_.insert(verticesBefore_.end(), vertices.begin(), vertices.end());
    before.State = store_.VertexStates()[size_t(slot.FirstVertex)];
  }
  slotsBefore_.push_back(before);
}

bool TRenderer::StoreAsLastDrawn() const {
  for (const TSlotBefore& before : slotsBefore_) {
    if (store_.InUse(before.Id) != before.InUse) return false;
    if (!before.InUse) continue;
    const TSurfaceSlot& slot = store_.Slot(before.Id);
    const size_t count = size_t(slot.PrimitiveCount) + 2;
    if (store_.VertexStates()[size_t(slot.FirstVertex)] != before.State ||
        std::memcmp(store_.Vertices().data() + slot.FirstVertex,
                    verticesBefore_.data() + before.FirstVertex,
                    count * sizeof(TSurfaceVertex)) != 0) {
      return false;
    }
  }
  return true;
}

void TRenderer::ForgetSlots() {
  for (const TSlotBefore& before : slotsBefore_) slotTouched_[before.Id - 1] = 0;
  slotsBefore_.clear();
  verticesBefore_.clear();
}

void TRenderer::UploadSlot(int32_t surfaceId, bool created) {
  const TSurfaceSlot& slot = store_.Slot(surfaceId);
  const auto vertices = store_.Vertices();
  const auto states = store_.VertexStates();
  const auto corners = store_.TriangleCorners();
  if (vertices.size() > vertexCapacity_) {
    // Grow by doubling and send everything once.
    vertexCapacity_ = std::max(vertices.size(), vertexCapacity_ * 2);
    glBindBuffer(GL_ARRAY_BUFFER, surfaceVertices_);
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(vertexCapacity_ * sizeof(TSurfaceVertex)), nullptr,
                 GL_DYNAMIC_DRAW);
    glBufferSubData(GL_ARRAY_BUFFER, 0, GLsizeiptr(vertices.size_bytes()), vertices.data());
    glBindBuffer(GL_ARRAY_BUFFER, surfaceStates_);
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(vertexCapacity_ * sizeof(uint32_t)), nullptr,
                 GL_DYNAMIC_DRAW);
    glBufferSubData(GL_ARRAY_BUFFER, 0, GLsizeiptr(states.size_bytes()), states.data());
  } else {
    const size_t first = size_t(slot.FirstVertex);
    const size_t count = size_t(slot.PrimitiveCount) + 2;
    glBindBuffer(GL_ARRAY_BUFFER, surfaceVertices_);
    glBufferSubData(GL_ARRAY_BUFFER, GLintptr(first * sizeof(TSurfaceVertex)),
                    GLsizeiptr(count * sizeof(TSurfaceVertex)), vertices.data() + first);
    glBindBuffer(GL_ARRAY_BUFFER, surfaceStates_);
    glBufferSubData(GL_ARRAY_BUFFER, GLintptr(first * sizeof(uint32_t)),
                    GLsizeiptr(count * sizeof(uint32_t)), states.data() + first);
  }
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  if (!created) return;
  glBindVertexArray(surfaceArray_);
  if (corners.size() > cornerCapacity_) {
    cornerCapacity_ = std::max(corners.size(), cornerCapacity_ * 2);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(cornerCapacity_ * sizeof(uint32_t)), nullptr,
                 GL_DYNAMIC_DRAW);
    glBufferSubData(GL_ELEMENT_ARRAY_BUFFER, 0, GLsizeiptr(corners.size_bytes()),
                    corners.data());
  } else {
    const size_t first = size_t(slot.FirstIndex);
    const size_t count = size_t(slot.PrimitiveCount) * 3;
    glBufferSubData(GL_ELEMENT_ARRAY_BUFFER, GLintptr(first * sizeof(uint32_t)),
                    GLsizeiptr(count * sizeof(uint32_t)), corners.data() + first);
  }
  glBindVertexArray(0);
}

int32_t TRenderer::Draw(float fieldOfView, uint32_t clearColour, const DXVehicleRecord* camera,
                        const DXVehicleRecord* const* vehicles) {
  if (!ready_) return DX_ERROR_NOT_READY;
  if (camera == nullptr) return DX_ERROR_CAMERA;
  context_.MakeCurrent();
  if (const int32_t resized = FollowViewSize(); resized != DX_OK) return resized;

  // A frame whose every input is the last frame's has the last frame's
  // pixels: they are handed over again from the pack buffer that holds them.
  const bool same = SameAsLastFrame(fieldOfView, clearColour, *camera, vehicles);
  ForgetSlots();
  if (same) {
    if (const uint8_t* pixels = target_.Map(0)) {
      view_->Present(view_->Context, pixels, frameWidth_, frameHeight_, frameWidth_ * 4);
      target_.EndMap();
      return DX_OK;
    }
  }
  KeepFrameInputs(fieldOfView, clearColour, *camera, vehicles);
  ++framesDrawn_;

  // Clear to the sky colour (0xAARRGGBB); the frame itself stays opaque.
  target_.Bind();
  const bool reversed = depth_ == TDepthConvention::Reversed;
  glClearColor(ColourByte(clearColour, 16), ColourByte(clearColour, 8),
               ColourByte(clearColour, 0), 1.0f);
  glClearDepth(reversed ? 0.0 : 1.0);
  glClearStencil(0);
  glDepthMask(GL_TRUE);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);

  const double aspect = double(frameWidth_) / double(frameHeight_);
  const TMatrix viewProjection = CameraViewProjection(*camera, fieldOfView, aspect, depth_);
  DrawSurfaces(viewProjection);
  // Let the device start on the surfaces while the vehicles are set up; a
  // software rasteriser otherwise waits for the read-back to begin.
  glFlush();
  if (vehicles != nullptr) {
    if (vehicleDrawing_ == TVehicleDrawing::Instanced) {
      DrawVehiclesInstanced(viewProjection, fieldOfView, *camera, vehicles);
    } else {
      DrawVehicles(viewProjection, fieldOfView, *camera, vehicles);
    }
  }

  // Hand the frame over: the one just drawn; or, reading back one frame
  // behind, the one before it (the first frame at once), so that the device
  // copies this frame out while the program goes on. When it cannot be read
  // back the frame target is made anew and the result of that is returned.
  lastFrameValid_ = target_.BeginReadBack();
  if (lastFrameValid_) {
    const bool behind = readBack_ == TReadBack::OneFrameBehind && target_.HasEarlierFrame();
    if (const uint8_t* pixels = target_.Map(behind ? 1 : 0)) {
      view_->Present(view_->Context, pixels, frameWidth_, frameHeight_, frameWidth_ * 4);
      target_.EndMap();
      return DX_OK;
    }
  }
  lastFrameValid_ = false;
  return target_.Create(frameWidth_, frameHeight_) ? DX_OK : DX_ERROR_FRAME_TARGET;
}

int32_t TRenderer::FollowViewSize() {
  if (fixedSize_ || (view_->Width == frameWidth_ && view_->Height == frameHeight_)) return DX_OK;
  const int32_t width = view_->Width, height = view_->Height;
  if (!FrameSizeFits(width, height)) return DX_ERROR_VIEW;
  // The frame target is made anew at the view's size; nothing drawn before
  // it can be handed over again.
  lastFrameValid_ = false;
  if (!target_.Create(width, height)) {
    frameWidth_ = frameHeight_ = 0;  // tried again on the next frame
    return DX_ERROR_FRAME_TARGET;
  }
  frameWidth_ = width;
  frameHeight_ = height;
  return DX_OK;
}

namespace {

// Bit for bit, so that a changed sign of zero or a NaN counts as a change.
template <typename T>
bool Same(T a, T b) {
  return std::memcmp(&a, &b, sizeof(T)) == 0;
}

bool SameRecord(const DXVehicleRecord& a, const DXVehicleRecord& b) {
  return Same(a.Kind, b.Kind) && Same(a.FormNo, b.FormNo) && Same(a.X, b.X) && Same(a.Y, b.Y) &&
         Same(a.Z, b.Z) && Same(a.Heading, b.Heading) && Same(a.Pitch, b.Pitch) &&
         Same(a.Bank, b.Bank);
}

}  // namespace

bool TRenderer::SameAsLastFrame(float fieldOfView, uint32_t clearColour,
                                const DXVehicleRecord& camera,
                                const DXVehicleRecord* const* vehicles) const {
  if (!lastFrameValid_ || !Same(fieldOfView, lastFieldOfView_) ||
      clearColour != lastClearColour_ || !SameRecord(camera, lastCamera_)) {
    return false;
  }
  size_t count = 0;
  for (const DXVehicleRecord* const* entry = vehicles; entry != nullptr && *entry != nullptr;
       ++entry, ++count) {
    if (count >= lastVehicles_.size() || !SameRecord(**entry, lastVehicles_[count])) return false;
  }
  return count == lastVehicles_.size() && (vehicles == nullptr) == lastHadNoList_ &&
         StoreAsLastDrawn();
}

void TRenderer::KeepFrameInputs(float fieldOfView, uint32_t clearColour,
                                const DXVehicleRecord& camera,
                                const DXVehicleRecord* const* vehicles) {
  lastFieldOfView_ = fieldOfView;
  lastClearColour_ = clearColour;
  lastCamera_ = camera;
  lastHadNoList_ = vehicles == nullptr;
  lastVehicles_.clear();
  for (const DXVehicleRecord* const* entry = vehicles; entry != nullptr && *entry != nullptr;
       ++entry) {
    lastVehicles_.push_back(**entry);
  }
}

void TRenderer::DrawSurfaces(const TMatrix& viewProjection) {
  if (store_.SlotCount() == 0) return;
  // Surface colours are opaque; with opaque textures too, blending would
  // give each fragment its own colour back, so a software rasteriser is
  // spared reading and mixing the frame under every fragment.
  const bool opaque = textures_.Opaque();
  if (opaque) glDisable(GL_BLEND);
  if (surfaceDrawing_ == TSurfaceDrawing::PerSurfaceStates) {
    DrawSurfacesWithStates(viewProjection);
  } else {
    DrawStore(viewProjection);
  }
  if (opaque) glEnable(GL_BLEND);
}

void TRenderer::DrawStore(const TMatrix& viewProjection) {
  const bool reversed = depth_ == TDepthConvention::Reversed;
  glUseProgram(surfaceProgram_.Program);
  glUniformMatrix4fv(surfaceProgram_.ViewProjection, 1, GL_FALSE, viewProjection.M.data());
  // The bias pushes a ground surface back by 2^-16 of its depth: with
  // reversed depth, 2^-16 of its distance; in the conventional range, a
  // fixed 2^-16 of the depth range.
  glUniform1f(surfaceProgram_.BiasScale, reversed ? 1.0f - kGroundDepthBias : 1.0f);
  glUniform1f(surfaceProgram_.BiasOffset, reversed ? 0.0f : 2.0f * kGroundDepthBias);
  glUniform1i(surfaceProgram_.Sampler, 0);
  glBindTexture(GL_TEXTURE_2D, 0);
  glBindTexture(GL_TEXTURE_2D_ARRAY, textures_.LayerArray());
  glBindVertexArray(surfaceArray_);
  if (surfaceDrawing_ == TSurfaceDrawing::WholeStore && culling_) {
    // Only the surfaces that may reach the view, in slot order: the
    // triangles of one call are drawn in order.
    CollectVisibleCorners(viewProjection);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, visibleCorners_);
    Refill(GL_ELEMENT_ARRAY_BUFFER, visible_.data(), visible_.size() * sizeof(uint32_t),
           visibleCapacity_);
    if (!visible_.empty()) {
      glDrawElements(GL_TRIANGLES, GLsizei(visible_.size()), GL_UNSIGNED_INT, nullptr);
    }
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, surfaceCorners_);
  } else if (surfaceDrawing_ == TSurfaceDrawing::WholeStore) {
    drawnSurfaces_ = store_.SlotCount();
    glDrawElements(GL_TRIANGLES, GLsizei(store_.TriangleCorners().size()), GL_UNSIGNED_INT,
                   nullptr);
  } else {
    for (int32_t id = 1; id <= store_.SlotCount(); ++id) {
      if (!store_.InUse(id)) continue;
      const TSurfaceSlot& slot = store_.Slot(id);
      glDrawArrays(GL_TRIANGLE_STRIP, slot.FirstVertex, slot.PrimitiveCount + 2);
    }
  }
  glBindVertexArray(0);
  glBindTexture(GL_TEXTURE_2D_ARRAY, 0);
}

void TRenderer::CollectVisibleCorners(const TMatrix& viewProjection) {
  // A point is seen only where -w <= x <= w, -w <= y <= w and w >= 0 in clip
  // space. Each bound as a plane in world space, widened by a thousandth so
  // that the device's rounding cannot reach a pixel the test left out.
  constexpr double kWiden = 1.001;
  struct TPlane {
    double X, Y, Z, D, Norm;
  };
  auto column = [&](int c) {
    return std::array<double, 4>{viewProjection.At(0, c), viewProjection.At(1, c),
                                 viewProjection.At(2, c), viewProjection.At(3, c)};
  };
  const auto cx = column(0);
  const auto cy = column(1);
  const auto cw = column(3);
  std::array<TPlane, 5> planes{};
  const std::array<double, 4>* sides[] = {&cx, &cx, &cy, &cy};
  for (int i = 0; i < 5; ++i) {
    // i < 4: widened w minus or plus x or y; i = 4: w itself.
    const double sign = i % 2 == 0 ? -1 : 1;
    double p[4];
    for (int k = 0; k < 4; ++k) p[k] = i < 4 ? kWiden * cw[k] + sign * (*sides[i])[k] : cw[k];
    planes[i] = {p[0], p[1], p[2], p[3], std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2])};
  }
  const auto corners = store_.TriangleCorners();
  visible_.clear();
  drawnSurfaces_ = 0;
  for (int32_t id = 1; id <= store_.SlotCount(); ++id) {
    if (!store_.InUse(id)) continue;
    const TSurfaceSlot& slot = store_.Slot(id);
    const double x = slot.Centre[0];
    const double y = slot.Centre[1];
    const double z = slot.Centre[2];
    // Outside when the whole sphere lies beyond one plane, by more than the
    // rounding of single-precision clip coordinates at this distance.
    const double size = std::abs(x) + std::abs(y) + std::abs(z) + slot.Radius;
    bool outside = false;
    for (const TPlane& plane : planes) {
      const double distance = plane.X * x + plane.Y * y + plane.Z * z + plane.D;
      const double slack = 1e-5 * (plane.Norm * size + std::abs(plane.D));
      if (distance < -(slot.Radius * plane.Norm + slack)) {
        outside = true;
        break;
      }
    }
    if (outside) continue;
    ++drawnSurfaces_;
    const auto first = corners.begin() + slot.FirstIndex;
    visible_.insert(visible_.end(), first, first + size_t(slot.PrimitiveCount) * 3);
  }
}

void TRenderer::DrawSurfacesWithStates(const TMatrix& viewProjection) {
  const bool reversed = depth_ == TDepthConvention::Reversed;
  glUseProgram(singleSurfaceProgram_.Program);
  glUniformMatrix4fv(singleSurfaceProgram_.ViewProjection, 1, GL_FALSE, viewProjection.M.data());
  glUniform1i(singleSurfaceProgram_.Sampler, 0);
  glBindVertexArray(surfaceArray_);
  for (int32_t id = 1; id <= store_.SlotCount(); ++id) {
    if (!store_.InUse(id)) continue;
    const TSurfaceSlot& slot = store_.Slot(id);
    const bool biased = slot.DepthBias != 0;
    glUniform1f(singleSurfaceProgram_.BiasScale,
                biased && reversed ? 1.0f - slot.DepthBias : 1.0f);
    glUniform1f(singleSurfaceProgram_.BiasOffset,
                biased && !reversed ? 2.0f * slot.DepthBias : 0.0f);
    glUniform1i(singleSurfaceTextured_, slot.TextureId != 0 ? 1 : 0);
    glBindTexture(GL_TEXTURE_2D, slot.TextureId != 0 ? textures_.Texture(slot.TextureId) : 0);
    glDrawArrays(GL_TRIANGLE_STRIP, slot.FirstVertex, slot.PrimitiveCount + 2);
  }
  glBindVertexArray(0);
  glBindTexture(GL_TEXTURE_2D, 0);
}

void TRenderer::DrawVehicles(const TMatrix& viewProjection, float fieldOfView,
                             const DXVehicleRecord& camera,
                             const DXVehicleRecord* const* vehicles) {
  glUseProgram(vehicleProgram_.Program);
  glUniform1i(vehicleProgram_.Texture, 0);
  for (const DXVehicleRecord* const* entry = vehicles; *entry != nullptr; ++entry) {
    const DXVehicleRecord& vehicle = **entry;
    const TVehicleForm* form = forms_.Form(vehicle.FormNo);
    if (form == nullptr) continue;
    const TMesh& mesh =
        UseFineMesh(camera, vehicle, fieldOfView, form->SwitchValue) ? form->Fine : form->Rough;
    if (!mesh.Loaded()) continue;
    const TMatrix world = VehicleWorld(vehicle);
    const TMatrix worldViewProjection = world * viewProjection;
    glUniformMatrix4fv(vehicleProgram_.WorldViewProjection, 1, GL_FALSE,
                       worldViewProjection.M.data());
    glUniformMatrix4fv(vehicleProgram_.World, 1, GL_FALSE, world.M.data());
    glBindVertexArray(mesh.VertexArray);
    DrawMaterials(vehicleProgram_, mesh, 0);
  }
  glBindVertexArray(0);
  glBindTexture(GL_TEXTURE_2D, 0);
}

void TRenderer::DrawMaterials(const TVehicleProgram& program, const TMesh& mesh,
                              int32_t instances) {
  for (size_t i = 0; i < mesh.Materials.size(); ++i) {
    if (mesh.SubsetCount[i] == 0) continue;
    const TMaterial& material = mesh.Materials[i];
    glBindTexture(GL_TEXTURE_2D, mesh.Textures[i]);
    glUniform1i(program.Textured, mesh.Textures[i] != 0 ? 1 : 0);
    SetColour(program.Diffuse, material.Diffuse);
    SetColour(program.Ambient, material.Ambient);
    SetColour(program.Emissive, material.Emissive);
    const auto* first =
        reinterpret_cast<const void*>(size_t(mesh.SubsetFirst[i]) * sizeof(uint32_t));
    if (instances == 0) {
      glDrawElements(GL_TRIANGLES, GLsizei(mesh.SubsetCount[i]), GL_UNSIGNED_INT, first);
    } else {
      glDrawElementsInstanced(GL_TRIANGLES, GLsizei(mesh.SubsetCount[i]), GL_UNSIGNED_INT, first,
                              instances);
    }
  }
}

void TRenderer::DrawVehiclesInstanced(const TMatrix& viewProjection, float fieldOfView,
                                      const DXVehicleRecord& camera,
                                      const DXVehicleRecord* const* vehicles) {
  // Each vehicle's mesh, then the vehicles grouped by mesh, in list order
  // within a group. Depth decides what shows, so the order of the groups
  // changes no opaque pixel.
  picks_.clear();
  for (const DXVehicleRecord* const* entry = vehicles; *entry != nullptr; ++entry) {
    const DXVehicleRecord& vehicle = **entry;
    const TVehicleForm* form = forms_.Form(vehicle.FormNo);
    if (form == nullptr) continue;
    const bool fine = UseFineMesh(camera, vehicle, fieldOfView, form->SwitchValue);
    const TMesh& mesh = fine ? form->Fine : form->Rough;
    if (!mesh.Loaded()) continue;
    picks_.push_back({vehicle.FormNo * 2 + (fine ? 0 : 1), &mesh, &vehicle});
  }
  if (picks_.empty()) return;
  std::stable_sort(picks_.begin(), picks_.end(),
                   [](const TVehiclePick& a, const TVehiclePick& b) { return a.Key < b.Key; });
  // Runs of up to a block of one mesh's vehicles, each starting where the
  // device lets a block start.
  instances_.clear();
  runs_.clear();
  for (size_t first = 0; first < picks_.size();) {
    size_t end = first + 1;
    while (end < picks_.size() && end - first < size_t(kInstancesPerCall) &&
           picks_[end].Mesh == picks_[first].Mesh) {
      ++end;
    }
    while (instances_.size() % instanceAlignment_ != 0) instances_.emplace_back();
    runs_.push_back({picks_[first].Mesh, instances_.size(), end - first});
    for (size_t i = first; i < end; ++i) {
      const TMatrix world = VehicleWorld(*picks_[i].Vehicle);
      instances_.push_back({(world * viewProjection).M, world.M});
    }
    first = end;
  }
  // Every run's range the size of the whole block, so no read falls outside.
  instances_.resize(runs_.back().FirstInstance + size_t(kInstancesPerCall));
  glBindBuffer(GL_UNIFORM_BUFFER, instanceBuffer_);
  Refill(GL_UNIFORM_BUFFER, instances_.data(), instances_.size() * sizeof(TVehicleInstance),
         instanceCapacity_);

  glUseProgram(instancedProgram_.Program);
  glUniform1i(instancedProgram_.Texture, 0);
  for (const TInstanceRun& run : runs_) {
    glBindBufferRange(GL_UNIFORM_BUFFER, 0, instanceBuffer_,
                      GLintptr(run.FirstInstance * sizeof(TVehicleInstance)),
                      GLsizeiptr(kInstancesPerCall * sizeof(TVehicleInstance)));
    glBindVertexArray(run.Mesh->VertexArray);
    DrawMaterials(instancedProgram_, *run.Mesh, GLsizei(run.Count));
  }
  glBindVertexArray(0);
  glBindBuffer(GL_UNIFORM_BUFFER, 0);
  glBindTexture(GL_TEXTURE_2D, 0);
}

}  // namespace velmora::renderer
