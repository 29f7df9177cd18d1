#include "renderer/view_math.h"

#include <cmath>

namespace velmora::renderer {
namespace {

TVector3 Subtract(const TVector3& a, const TVector3& b) {
  return {a.X - b.X, a.Y - b.Y, a.Z - b.Z};
}

TVector3 Cross(const TVector3& a, const TVector3& b) {
  return {a.Y * b.Z - a.Z * b.Y, a.Z * b.X - a.X * b.Z, a.X * b.Y - a.Y * b.X};
}

double Dot(const TVector3& a, const TVector3& b) { return a.X * b.X + a.Y * b.Y + a.Z * b.Z; }

TVector3 Normalised(const TVector3& v) {
  const double length = std::sqrt(Dot(v, v));
  if (length == 0) return v;
  return {v.X / length, v.Y / length, v.Z / length};
}

TMatrix RotationX(float angle) {
  TMatrix m = TMatrix::Identity();
  const float c = std::cos(angle);
  const float s = std::sin(angle);
  m.At(1, 1) = c;
  m.At(1, 2) = s;
  m.At(2, 1) = -s;
  m.At(2, 2) = c;
  return m;
}

TMatrix RotationZ(float angle) {
  TMatrix m = TMatrix::Identity();
  const float c = std::cos(angle);
  const float s = std::sin(angle);
  m.At(0, 0) = c;
  m.At(0, 1) = s;
  m.At(1, 0) = -s;
  m.At(1, 1) = c;
  return m;
}

TMatrix Translation(float x, float y, float z) {
  TMatrix m = TMatrix::Identity();
  m.At(3, 0) = x;
  m.At(3, 1) = y;
  m.At(3, 2) = z;
  return m;
}

}  // namespace

TMatrix TMatrix::Identity() {
  TMatrix m;
  for (int i = 0; i < 4; ++i) m.At(i, i) = 1.0f;
  return m;
}

TMatrix operator*(const TMatrix& a, const TMatrix& b) {
  TMatrix product;
  for (int row = 0; row < 4; ++row) {
    for (int column = 0; column < 4; ++column) {
      double sum = 0;
      for (int k = 0; k < 4; ++k) sum += double(a.At(row, k)) * b.At(k, column);
      product.At(row, column) = float(sum);
    }
  }
  return product;
}

std::array<double, 4> Transform(const TMatrix& m, double x, double y, double z) {
  std::array<double, 4> out{};
  for (int column = 0; column < 4; ++column) {
    out[column] = x * m.At(0, column) + y * m.At(1, column) + z * m.At(2, column) +
                  m.At(3, column);
  }
  return out;
}

TVector3 FrameVector(float heading, float pitch, float roll, double a, double b) {
  const double h = heading * kDegreesToRadians;
  const double p = pitch * kDegreesToRadians;
  const double r = roll * kDegreesToRadians;
  const double t = a * std::cos(r);
  const double q = a * std::sin(r);
  const double z = -b * std::sin(p) - t * std::cos(p);
  const double m = b * std::cos(p) - t * std::sin(p);
  return {m * std::sin(h) + q * std::cos(h), m * std::cos(h) - q * std::sin(h), z};
}

TMatrix LookAtLH(const TVector3& eye, const TVector3& at, const TVector3& up) {
  const TVector3 zAxis = Normalised(Subtract(at, eye));
  const TVector3 xAxis = Normalised(Cross(up, zAxis));
  const TVector3 yAxis = Cross(zAxis, xAxis);
  TMatrix m;
  const TVector3 axes[3] = {xAxis, yAxis, zAxis};
  for (int column = 0; column < 3; ++column) {
    m.At(0, column) = float(axes[column].X);
    m.At(1, column) = float(axes[column].Y);
    m.At(2, column) = float(axes[column].Z);
    m.At(3, column) = float(-Dot(axes[column], eye));
  }
  m.At(3, 3) = 1.0f;
  return m;
}

TMatrix PerspectiveLH(double fieldOfViewRadians, double aspect, double nearPlane,
                      double farPlane, TDepthConvention convention) {
  const double yScale = 1.0 / std::tan(fieldOfViewRadians / 2);
  const double xScale = yScale / aspect;
  TMatrix m;
  m.At(0, 0) = float(xScale);
  m.At(1, 1) = float(-yScale);
  m.At(2, 3) = 1.0f;
  // Clip z = A * view z + B over clip w = view z.
  if (convention == TDepthConvention::Reversed) {
    m.At(2, 2) = float(-nearPlane / (farPlane - nearPlane));
    m.At(3, 2) = float(nearPlane * farPlane / (farPlane - nearPlane));
  } else {
    m.At(2, 2) = float((farPlane + nearPlane) / (farPlane - nearPlane));
    m.At(3, 2) = float(-2 * nearPlane * farPlane / (farPlane - nearPlane));
  }
  return m;
}

TMatrix CameraViewProjection(const DXVehicleRecord& camera, float fieldOfView, double aspect,
                             TDepthConvention convention) {
  const TVector3 eye{double(float(camera.X)), double(float(camera.Y)), double(float(camera.Z))};
  const TVector3 forward = FrameVector(camera.Heading, camera.Pitch, camera.Bank, 0, 1);
  const TVector3 up = FrameVector(camera.Heading, camera.Pitch, camera.Bank, 1, 0);
  const TVector3 at{eye.X + kLookAhead * forward.X, eye.Y + kLookAhead * forward.Y,
                    eye.Z + kLookAhead * forward.Z};
  return LookAtLH(eye, at, up) *
         PerspectiveLH(double(fieldOfView * kDegreesToRadians), aspect, kNearPlane, kFarPlane,
                       convention);
}

TMatrix VehicleWorld(const DXVehicleRecord& vehicle) {
  return RotationZ(-vehicle.Bank * kDegreesToRadians) *
         RotationX(-(vehicle.Pitch + 90.0f) * kDegreesToRadians) *
         RotationZ(-vehicle.Heading * kDegreesToRadians) *
         Translation(float(vehicle.X), float(vehicle.Y), float(vehicle.Z));
}

float SwitchValue(float switchDistance) { return switchDistance * switchDistance; }

bool UseFineMesh(const DXVehicleRecord& camera, const DXVehicleRecord& vehicle,
                 float fieldOfView, float switchValue) {
  const float dx = float(vehicle.X - camera.X);
  const float dy = float(vehicle.Y - camera.Y);
  const float dz = float(vehicle.Z - camera.Z);
  const float distanceSquared = dx * dx + dy * dy + dz * dz;
  const float fieldOfViewRadians = fieldOfView * kDegreesToRadians;
  const float zoom = fieldOfViewRadians * fieldOfViewRadians;
  return distanceSquared * zoom <= switchValue;
}

}  // namespace velmora::renderer
