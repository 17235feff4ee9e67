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
          tl.in = r.out.propIn;
          tl.prop = r.out.prop;
          tl.ti = tl.in.ti;
          tl.lambda0 = tl.in.lambda0;
          tl.t = tl.in.t;
          tl.kind = tl.in.kind;
          return tl;
        }
      },
      run);
}

std::optional<ChlorideIngress> chloride_ingress(const model::ModelRun& run) {
  return std::visit(
      [](const auto& r) -> std::optional<ChlorideIngress> {
        if constexpr (requires { model::concentration(r, 0.0, 0.0); }) {
          if (r.out.stop) return std::nullopt;
          ChlorideIngress ingress;
          ingress.concentration = [r](double x, double tau) {
            return model::concentration(r, x, tau);
          };
          ingress.barDepth = r.out.c;
          ingress.Ccr = r.in.Ccr;
          return ingress;
        } else {
          return std::nullopt;
        }
      },
      run);
}

}  // namespace pellucor::analysis
