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

std::string_view describe_chinese(StopReason reason) noexcept {
  switch (reason) {
    case StopReason::ZeroRate:
      return "锈蚀速度为零";
    case StopReason::ZeroAssumedTime:
      return "初设开裂时间迭代到零";
    case StopReason::PassLimit:
      return "开裂时间迭代不收敛";
    case StopReason::SearchLimit:
      return "开始锈蚀时间搜索不收敛";
    case StopReason::SearchTimeNotPositive:
      return "开始锈蚀时间搜索步进到零";
    case StopReason::NoInverse:
      return "反误差函数无解";
    case StopReason::InvalidHumidity:
      return "湿度低于锈蚀速度公式的下限";
    case StopReason::ZeroCarbonation:
      return "碳化系数为零";
    case StopReason::InvalidDiffusion:
      return "扩散系数不为正";
    case StopReason::NonPositiveConcentration:
      return "钢筋处氯离子浓度不为正";
    case StopReason::NotFinite:
      return "计算结果超出范围";
  }
  return "未知原因";
}

}  // namespace pellucor::model
