#include "analysis/update/sheet_law.hpp"

#include <algorithm>
#include <cmath>

#include "model/chloride_ingress.hpp"
#include "model/printable.hpp"
#include "modules/admixed/admixed_sheet.hpp"
#include "modules/carbonation/carbonation_sheet.hpp"
#include "modules/chloride_constant/chloride_constant_sheet.hpp"
#include "modules/chloride_variable/chloride_variable_sheet.hpp"
#include "modules/marine/marine_sheet.hpp"

namespace pellucor::analysis::update {

double ChlorideLaw::at(double xM, double tau) const {
  return std::visit(
      [&](const auto& l) -> double {
        using L = std::decay_t<decltype(l)>;
        if constexpr (std::is_same_v<L, Constant>) {
          return model::chloride_constant_concentration(l.in, l.r, xM, tau);
        } else if constexpr (std::is_same_v<L, Variable>) {
          return model::chloride_variable_concentration(l.in, l.r, xM, tau);
        } else if constexpr (std::is_same_v<L, Marine>) {
          return model::marine_concentration(l.in, l.D, xM, tau);
        } else {
          return l.C0;
        }
      },
      law_);
}

double ChlorideLaw::most() const {
  return std::visit(
      [](const auto& l) -> double {
        using L = std::decay_t<decltype(l)>;
        if constexpr (std::is_same_v<L, Marine>) {
          return std::max(l.in.Cs, l.in.k * std::sqrt(l.in.ts));
        } else if constexpr (std::is_same_v<L, Admixed>) {
          return l.C0;
        } else {
          return l.in.Cs;
        }
      },
      law_);
}

SheetLaw::SheetLaw(const sheet::Module& module) : front_(module.table().front) {}

double SheetLaw::carbonationCoefficient(const sheet::SheetInputs& in) const {
  const double k = model::carbonation_coefficient(modules::CarbonationSheet::bind(in));
  if (!std::isfinite(k)) return std::nan("");
  return k > 0 ? k : 0.0;
}

std::variant<ChlorideLaw, NoLaw> SheetLaw::chlorideLaw(const sheet::SheetInputs& in) const {
  switch (front_) {
    case sheet::FrontLaw::ChlorideConstant: {
      // The coefficient typed, or derived as the model derives it in its first pass.
      ChlorideLaw::Constant l{modules::ChlorideConstantSheet::bind(in), {}};
      l.r.D = l.in.Dcm2 / 10000;
      if (l.r.D == 0) {
        if (l.in.source == model::DiffusionSource::MeasuredProfile) {
          if (!(l.in.Cx < l.in.Cs)) return NoLaw::NoInverse;
          const auto zx = model::fun_erf_fan(1 - l.in.Cx / l.in.Cs);
          if (!zx) return NoLaw::NoInverse;
          l.r.D = model::diffusion_from_profile(l.in.xMm / 1000, l.in.t, *zx);
        } else {
          l.r.D = model::diffusion_from_water_cement(l.in.wc, l.in.T);
        }
      }
      if (!(l.r.D > 0) || !model::printable(l.r.D)) return NoLaw::NoDiffusion;
      return ChlorideLaw(std::move(l));
    }
    case sheet::FrontLaw::ChlorideVariable: {
      ChlorideLaw::Variable l{modules::ChlorideVariableSheet::bind(in), {}};
      if (!(l.in.Cx < l.in.Cs)) return NoLaw::NoInverse;
      const auto zx = model::fun_erf_fan(1 - l.in.Cx / l.in.Cs);
      if (!zx) return NoLaw::NoInverse;
      l.r.D = model::diffusion_from_profile(l.in.xMm / 1000, l.in.t, *zx);
      if (!(l.r.D > 0) || !model::printable(l.r.D)) return NoLaw::NoDiffusion;
      l.r.g = 1 / (1 - l.in.m);
      return ChlorideLaw(std::move(l));
    }
    case sheet::FrontLaw::Marine: {
      ChlorideLaw::Marine l{modules::MarineSheet::bind(in), 0};
      const bool derived = l.in.Dcm2 == 0 && l.in.source == model::DiffusionSource::MeasuredProfile;
      if (derived && !(l.in.Cx < l.in.Cs)) return NoLaw::NoInverse;
      const model::MarineResult r = model::marine_coefficients(l.in);
      if (r.stop == model::StopReason::NoInverse) return NoLaw::NoInverse;
      if (r.stop) return NoLaw::NoDiffusion;
      l.D = r.D;
      return ChlorideLaw(std::move(l));
    }
    case sheet::FrontLaw::ChlorideAtCasting:
      return ChlorideLaw(ChlorideLaw::Admixed{modules::AdmixedSheet::bind(in).C0});
    case sheet::FrontLaw::Carbonation:
      break;
  }
  return NoLaw::NoDiffusion;
}

}  // namespace pellucor::analysis::update
