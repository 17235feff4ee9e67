#include "analysis/timeline.hpp"

#include <type_traits>

namespace pellucor::analysis {

std::optional<Timeline> timeline(const model::ModelRun& run) {
  return std::visit(
      [](const auto& r) -> std::optional<Timeline> {
        using R = std::decay_t<decltype(r)>;
        if constexpr (std::is_same_v<R, std::monostate>) {
          return std::nullopt;
        } else {
          if (r.out.stop) return std::nullopt;
          Timeline tl;
          tl.t = r.in.t;
          tl.kind = r.in.kind;
          tl.prop = r.out.prop;
          if constexpr (std::is_same_v<R, model::CarbonationRun>) {
            tl.ti = r.out.ti;
            tl.lambda0 = r.out.lambda0;
            tl.coverMm = r.in.c;
          } else if constexpr (std::is_same_v<R, model::AdmixedRun>) {
            tl.ti = 0;  // the chloride is at the steel from the day of casting
            tl.lambda0 = r.out.rate.lambda0;
            tl.coverMm = r.in.c;
          } else {
            tl.ti = r.out.ti;
            tl.lambda0 = r.out.rate.lambda0;
            tl.coverMm = r.in.coverMm;
          }
          return tl;
        }
      },
      run);
}

}  // namespace pellucor::analysis
