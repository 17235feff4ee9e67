#include "model/stop.hpp"

namespace pellucor::model {

std::string_view describe(StopReason reason) noexcept {
  switch (reason) {
    case StopReason::ZeroRate:
      return "zero corrosion rate";
    case StopReason::ZeroAssumedTime:
      return "assumed cracking time reached zero";
    case StopReason::PassLimit:
      return "cracking-time iteration did not settle";
    case StopReason::SearchLimit:
      return "initiation-time search did not settle";
    case StopReason::SearchTimeNotPositive:
      return "initiation-time search reached zero";
    case StopReason::NoInverse:
      return "inverse error function has no result";
    case StopReason::InvalidHumidity:
      return "humidity too low for the corrosion-rate formula";
    case StopReason::ZeroCarbonation:
      return "carbonation coefficient is zero";
    case StopReason::InvalidDiffusion:
      return "diffusion coefficient is not positive";
    case StopReason::NonPositiveConcentration:
      return "chloride concentration at the bar is not positive";
    case StopReason::NotFinite:
      return "a result is out of range";
  }
  return "unknown";
}

}  // namespace pellucor::model
