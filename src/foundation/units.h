#pragma once

// Unit conversions, one spelling each. Angles in the program are radians unless a name says
// degrees; distances are nautical miles, feet or metres as the name says.

namespace vdl {

inline constexpr double pi = 3.14159265358979323846;
inline constexpr double metresPerNm = 1852.0;
inline constexpr double metresPerFoot = 0.3048;
inline constexpr double feetPerNm = metresPerNm / metresPerFoot;
inline constexpr double secondsPerHour = 3600.0;
inline constexpr double standardGravity = 9.80665;  // m/s²

constexpr double degToRad(double degrees) { return degrees * (pi / 180.0); }
constexpr double radToDeg(double radians) { return radians * (180.0 / pi); }

constexpr double feetToMetres(double feet) { return feet * metresPerFoot; }
constexpr double metresToFeet(double metres) { return metres / metresPerFoot; }
constexpr double nmToMetres(double nm) { return nm * metresPerNm; }
constexpr double metresToNm(double metres) { return metres / metresPerNm; }
constexpr double nmToFeet(double nm) { return nm * feetPerNm; }
constexpr double feetToNm(double feet) { return feet / feetPerNm; }

constexpr double ktToMps(double kt) { return kt * metresPerNm / secondsPerHour; }
constexpr double mpsToKt(double mps) { return mps * secondsPerHour / metresPerNm; }
// Knots to nautical miles per second, the unit of distance steps along a path.
constexpr double ktToNmPerSecond(double kt) { return kt / secondsPerHour; }

constexpr double fpmToFps(double fpm) { return fpm / 60.0; }
constexpr double fpsToFpm(double fps) { return fps * 60.0; }

}  // namespace vdl
