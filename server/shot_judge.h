// Judging a missile shot: it hits when the target, carried forward along its
// last known velocity, lies in range and in front of the shooter.
#pragma once

#include <cstdint>

#include "server/client_message.h"

namespace velmora::server {

// The lock-on reaches 4000 m inside a cone of 15° around the nose; the margins
// allow for the shooter's view of the target being up to a few messages old.
inline constexpr double kShotRange = 4000.0;        // m
inline constexpr double kShotRangeMargin = 250.0;   // m
inline constexpr double kShotConeHalfAngle = 15.0;  // deg
inline constexpr double kShotConeMargin = 5.0;      // deg

enum class ShotVerdict { Hit, OutOfRange, NotInFront };

struct ShotJudgement {
  ShotVerdict Verdict = ShotVerdict::OutOfRange;
  double Distance = 0;  // m, between the two vehicles at the time of the shot
};

// Both records are carried forward by their ages (ms) before judging.
ShotJudgement JudgeShot(const WireVehicle& shooter, int32_t shooterAgeMs, const WireVehicle& target,
                        int32_t targetAgeMs);

}  // namespace velmora::server
