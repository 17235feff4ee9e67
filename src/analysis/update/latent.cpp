#include "analysis/update/latent.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "analysis/normal_law.hpp"

namespace pellucor::analysis::update {

double Dimension::value(double u) const {
  if (const auto* law = std::get_if<mc::TruncatedLaw>(&this->law)) return law->sample(u);
  if (const auto* t = std::get_if<TruncatedStudent>(&this->law)) return t->sample(u);
  // A model-uncertainty factor, as the reliability analysis draws it.
  const double sigma = std::get<double>(this->law);
  return std::exp(sigma * normal_quantile(u) - 0.5 * sigma * sigma);
}

double Dimension::fromNormal(double z) const {
  if (const auto* sigma = std::get_if<double>(&law)) {
    return std::exp(*sigma * z - 0.5 * *sigma * *sigma);
  }
  return value(normal_cdf(z));
}

LatentSpace::LatentSpace(const mc::Problem& problem, const std::optional<TruncatedStudent>& cover,
                         int coverBox, const mc::Sampler* sampler)
    : base_(problem.base) {
  const sheet::SheetTable& table = problem.module->table();
  std::vector<int> boxes = problem.scattering();
  if (cover && std::find(boxes.begin(), boxes.end(), coverBox) == boxes.end()) {
    boxes.insert(std::upper_bound(boxes.begin(), boxes.end(), coverBox), coverBox);
  }
  const std::vector<int> scattering = problem.scattering();
  for (int n : boxes) {
    Dimension d;
    d.box = n;
    const auto at = std::find(scattering.begin(), scattering.end(), n);
    column_.push_back(at != scattering.end() && !(cover && n == coverBox)
                          ? static_cast<int>(at - scattering.begin())
                          : -1);
    if (cover && n == coverBox) {
      d.law = *cover;
    } else if (const mc::TruncatedLaw* law = sampler ? sampler->law(n) : nullptr) {
      d.law = *law;
    } else {
      const sheet::FieldRow* f = table.field(sheet::text_box(n));
      d.law = mc::TruncatedLaw::fitted(problem.base.box(n),
                                       problem.scatter[static_cast<std::size_t>(n)], f->lo, f->hi);
    }
    dims_.push_back(std::move(d));
  }
  for (int k = 0; k < mc::kTimes; ++k) {
    const double v = problem.modelUncertainty.cov[static_cast<std::size_t>(k)];
    if (!(v > 0)) continue;
    Dimension d;
    d.factor = k;
    d.law = std::sqrt(std::log1p(v * v));
    dims_.push_back(std::move(d));
    column_.push_back(-1);
    hasFactors_ = true;
  }
}

void LatentSpace::prior(std::uint64_t seed, std::uint64_t index, double* z, double* x) const {
  for (std::size_t j = 0; j < dims_.size(); ++j) {
    const Dimension& d = dims_[j];
    const int stream = d.box != 0 ? d.box : mc::kFactorStream + d.factor;
    const double u = mc::uniform(seed, index, stream);
    z[j] = normal_quantile(u);
    x[j] = d.value(u);
  }
}

void LatentSpace::priorBlock(const mc::Sampler& sampler, std::uint64_t seed, std::uint64_t first,
                             std::size_t count, double* x) const {
  const std::size_t k = sampler.scatteringBoxes().size();
  const std::size_t d = dims_.size();
  std::vector<double> block(count * k);
  if (k > 0) sampler.drawBlock(seed, first, count, block.data());
  for (std::size_t i = 0; i < count; ++i) {
    for (std::size_t j = 0; j < d; ++j) {
      const Dimension& dim = dims_[j];
      if (column_[j] >= 0) {
        x[i * d + j] = block[i * k + static_cast<std::size_t>(column_[j])];
      } else {
        const int stream = dim.box != 0 ? dim.box : mc::kFactorStream + dim.factor;
        x[i * d + j] = dim.value(mc::uniform(seed, first + i, stream));
      }
    }
  }
}

void LatentSpace::values(const double* z, double* x) const {
  for (std::size_t j = 0; j < dims_.size(); ++j) x[j] = dims_[j].fromNormal(z[j]);
}

void LatentSpace::values(const double* z, double* x, std::size_t count) const {
  const std::size_t d = dims_.size();
  std::vector<double> u(count), v(count);
  for (std::size_t j = 0; j < d; ++j) {
    const Dimension& dim = dims_[j];
    if (const auto* law = std::get_if<mc::TruncatedLaw>(&dim.law)) {
      for (std::size_t i = 0; i < count; ++i) u[i] = normal_cdf(z[i * d + j]);
      law->sample(u.data(), v.data(), count);
      for (std::size_t i = 0; i < count; ++i) x[i * d + j] = v[i];
    } else {
      for (std::size_t i = 0; i < count; ++i) x[i * d + j] = dim.fromNormal(z[i * d + j]);
    }
  }
}

void LatentSpace::apply(const double* x, sheet::SheetInputs& in,
                        std::array<double, mc::kTimes>& factors) const {
  factors = {1, 1, 1};
  for (std::size_t j = 0; j < dims_.size(); ++j) {
    const Dimension& d = dims_[j];
    if (d.box != 0) {
      in.value[static_cast<std::size_t>(d.box)] = x[j];
    } else {
      factors[static_cast<std::size_t>(d.factor)] = x[j];
    }
  }
}

double log_standard_normal(const double* z, std::size_t d) {
  double s = 0;
  for (std::size_t j = 0; j < d; ++j) s += z[j] * z[j];
  return -0.5 * s - 0.5 * static_cast<double>(d) * std::log(2 * std::numbers::pi);
}

}  // namespace pellucor::analysis::update
