// Cameras for tests: a vehicle record that only carries a viewpoint.
#pragma once

#include "vehicle/vehicle_state.h"

namespace velmora::testing {

// A camera at (x, y, z) looking along heading, pitch and bank (deg).
inline vehicle::TVehicleState CameraAt(double x, double y, double z, float heading,
                                       float pitch = 0, float bank = 0) {
  vehicle::TVehicleState camera;
  camera.X = x;
  camera.Y = y;
  camera.Z = z;
  camera.Heading = heading;
  camera.Pitch = pitch;
  camera.Bank = bank;
  return camera;
}

}  // namespace velmora::testing
