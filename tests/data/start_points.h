// The start points that data/README.md documents for the server's missions.
#pragma once

#include <array>
#include <cstdint>

namespace velmora::testing {

struct TStartPoint {
  const char* Name;
  int32_t FormNo;   // vehicle type
  double X;         // m, east
  double Y;         // m, north
  double Z;         // m, down (the type's RestZ when standing)
  double Heading;   // deg
};

inline constexpr std::array<TStartPoint, 11> kStartPoints = {{
    {"airliner on the runway 36 threshold", 11, 0, -1480, -5, 0},
    {"airliner on final for runway 36", 11, 0, -8000, -345, 0},
    {"fighter lead", 12, 2000, -6000, -3000, 0},
    {"fighter wingman", 12, 2040, -6060, -3000, 0},
    {"light aircraft on the runway 03 threshold", 15, 805, -1191.3, -1.5, 30},
    {"car on the race start grid, left", 20, 5796, -320, -0.6, 0},
    {"car on the race start grid, right", 20, 5804, -330, -0.6, 0},
    {"car at the terminal", 20, -700, -250, -0.6, 0},
    {"line 1 train at station A", 30, -4000, -2810, -1.8, 0},
    {"line 1 train at station C", 30, -4036.3, 1073.5, -1.8, 180},
    {"line 2 train at station D", 31, -3098.4, 370.7, -1.8, 240},
}};

}  // namespace velmora::testing
