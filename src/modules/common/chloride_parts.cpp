#include "modules/common/chloride_parts.hpp"

namespace pellucor::modules::parts {

std::string echo_cracking_and_steel(double tcStar, double diameterMm, std::string_view steelName) {
  return EchoLine()("初设开裂时间（单位为a）= ", tcStar)(",钢筋直径(单位为mm) = ", diameterMm)
      .text(",钢筋种类 = ", steelName)
      .str();
}

EchoLine echo_measurement(double depthMm, double Cx) {
  return EchoLine()("距表面深度（单位为mm）= ", depthMm)(",实测氯浓度单位为kg/m^3= ", Cx);
}

std::string_view source_name(model::DiffusionSource source) {
  return source == model::DiffusionSource::MeasuredProfile ? kSourceMeasured : kSourceOther;
}

}  // namespace pellucor::modules::parts
