// Beyond these a value of inspection data is taken for a slip of typing and refused, not
// compared: no structure is this old, no carbonation depth or corrosion this deep, no error this
// small or large. The project file checks a member's update settings against the same bounds
// as the update that uses them.
#pragma once

namespace pellucor::analysis::inspect {

inline constexpr double kMaxAgeYears = 1000;
inline constexpr double kMaxDepthMm = 1000;
inline constexpr double kMaxAtInspectionMm = 100;
inline constexpr double kErrorCovLow = 0.001, kErrorCovHigh = 10;
inline constexpr double kErrorSdLow = 1e-6, kErrorSdHigh = 1000;

}  // namespace pellucor::analysis::inspect
