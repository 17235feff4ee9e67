#include "modules/common/chloride_parts.hpp"

namespace pellucor::modules::parts {

std::string_view source_name(model::DiffusionSource source) {
  return source == model::DiffusionSource::MeasuredProfile ? kSourceMeasured : kSourceOther;
}

}  // namespace pellucor::modules::parts
