// Camera, projection and vehicle placement. Matrices follow the row-vector
// convention: a point is multiplied from the left, so in A * B the transform A
// applies first. Stored row by row, a matrix handed to OpenGL as it is reads
// there as its transpose, which is what a column-vector shader expects.
#pragma once

#include <array>
#include <cstdint>

#include "renderer/prismoth.h"

namespace velmora::renderer {

struct TVector3 {
  double X;  // m or unit, east
  double Y;  // m or unit, north
  double Z;  // m or unit, down
};

struct TMatrix {
  std::array<float, 16> M{};  // row by row

  float& At(int row, int column) { return M[row * 4 + column]; }
  float At(int row, int column) const { return M[row * 4 + column]; }
  static TMatrix Identity();
};

TMatrix operator*(const TMatrix& a, const TMatrix& b);
// A point (w = 1) through a matrix: x, y, z, w.
std::array<double, 4> Transform(const TMatrix& m, double x, double y, double z);

constexpr float kDegreesToRadians = 0.017453292f;
constexpr double kNearPlane = 0.75;      // m
constexpr double kFarPlane = 1.0e9;      // m
constexpr double kLookAhead = 1.0e6;     // m, distance of the look-at point

// A body direction (a towards the camera's up, b forward) turned by roll,
// pitch and heading (degrees) into world axes.
TVector3 FrameVector(float heading, float pitch, float roll, double a, double b);

// How depth is written: reversed (near 1, far 0, depth range 0..1 in clip
// space, for a float buffer) or the conventional -1..1 range (near -1, far 1).
enum class TDepthConvention { Reversed, Conventional };

// Left-handed look-at view: view x to the right, y up, z forward.
TMatrix LookAtLH(const TVector3& eye, const TVector3& at, const TVector3& up);
// Perspective from view space to OpenGL clip space with rows flipped, so
// that the first row read back is the top of the picture.
TMatrix PerspectiveLH(double fieldOfViewRadians, double aspect, double nearPlane,
                      double farPlane, TDepthConvention convention);
// The view and projection of a camera record.
TMatrix CameraViewProjection(const DXVehicleRecord& camera, float fieldOfView, double aspect,
                             TDepthConvention convention);

// The world matrix of a vehicle: roll, then pitch plus a quarter turn about x
// (models are built x right, y up, z forward), then heading, then position.
TMatrix VehicleWorld(const DXVehicleRecord& vehicle);

// The squared switch distance as stored for a form.
float SwitchValue(float switchDistance);
// Whether a vehicle is drawn with its fine mesh: its squared distance to the
// camera times the squared field of view (radians) does not exceed the
// form's switch value.
bool UseFineMesh(const DXVehicleRecord& camera, const DXVehicleRecord& vehicle,
                 float fieldOfView, float switchValue);

}  // namespace velmora::renderer
