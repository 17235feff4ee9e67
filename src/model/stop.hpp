// Why a calculation gave up. Every reason reaches the user as the same plausibility
// message; the reason itself is for tests, diagnostics and the console front end.
#pragma once

#include <string_view>

namespace pellucor::model {

enum class StopReason {
  ZeroRate,                  // post-cracking rate is zero (zero pre-cracking rate)
  ZeroAssumedTime,           // the running assumed cracking time reached zero (or below)
  PassLimit,                 // the cracking-time iteration did not settle within its bound
  SearchLimit,               // an initiation-time search did not settle within its bound
  SearchTimeNotPositive,     // an initiation-time search stepped to zero or below
  NoInverse,                 // inverse error function argument at or above its limit
  InvalidHumidity,           // humidity makes the base of the 2/3 power zero or negative
  ZeroCarbonation,           // carbonation coefficient is zero (or negative)
  InvalidDiffusion,          // a derived diffusion coefficient is zero, negative or not finite
  NonPositiveConcentration,  // the bar-surface chloride concentration is zero or negative
  NotFinite,                 // a result is not finite or lies outside the single-precision range
};

std::string_view describe(StopReason reason) noexcept;
// The same in plain Chinese, for the texts the user reads beside the results.
std::string_view describe_chinese(StopReason reason) noexcept;

}  // namespace pellucor::model
