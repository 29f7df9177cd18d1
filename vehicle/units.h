// Conversion factors between the SI units used inside the simulation and the
// units that gauges, callouts and files show. Multiply an SI value by a
// "Per" factor to get the other unit.
#pragma once

namespace velmora::units {

inline constexpr double kPi = 3.14159265358979323846;
inline constexpr double kRadiansPerDegree = kPi / 180.0;
inline constexpr double kDegreesPerRadian = 180.0 / kPi;

inline constexpr double kKnotsPerMetrePerSecond = 3600.0 / 1850.0;  // kt per m/s (1.9459...)
inline constexpr double kFeetPerMetre = 1.0 / 0.3;                  // ft per m
inline constexpr double kFeetPerMinutePerMetrePerSecond = 200.0;    // ft/min per m/s
inline constexpr double kKmhPerMetrePerSecond = 3.6;                // km/h per m/s
inline constexpr double kGravity = 9.80665;                         // m/s², standard gravity
inline constexpr double kGroundAboveSeaLevel = 10.0;                // m: the plane z = 0

}  // namespace velmora::units
