#include "analysis/update/weighted_summary.hpp"

#include <algorithm>
#include <boost/math/special_functions/beta.hpp>
#include <cmath>
#include <limits>
#include <numeric>
#include <stdexcept>

#include "analysis/normal_law.hpp"
#include "analysis/update/importance.hpp"

namespace pellucor::analysis::update {

namespace {

using Policy = boost::math::policies::policy<boost::math::policies::promote_double<false>>;

struct Item {
  double value = 0;
  double weight = 0;
  bool known = true;  // the time is the sample's (else the earliest age it could be)
};

// Values in ascending order (ties by sample order), then the weight of those that are never
// reached (above every value) and the weight of the last of them.
struct Column {
  std::vector<Item> items;
  double never = 0;
  double lastNever = 0;  // the weight of the last sample that never reaches it

  void sort() {
    std::vector<double> v(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) v[i] = items[i].value;
    const std::vector<std::uint32_t> order = mc::ascending_order(v);
    std::vector<Item> sorted(items.size());
    for (std::size_t i = 0; i < order.size(); ++i) sorted[i] = items[order[i]];
    items.swap(sorted);
  }
  double total() const {
    double s = never;
    for (const Item& i : items) s += i.weight;
    return s;
  }
};

// Percentiles 5, 50 and 95 % of a sorted column as mc's plan takes them, through `f` (which
// does not fall).
template <class F>
std::optional<mc::Percentiles> percentiles(const Column& c, F f) {
  if (c.items.empty()) return std::nullopt;
  const double total = c.total();
  const double last = c.never > 0 ? c.lastNever : c.items.back().weight;
  mc::Percentiles p;
  double* out[3] = {&p.p5, &p.p50, &p.p95};
  const double qs[3] = {0.05, 0.50, 0.95};
  for (std::size_t i = 0; i < 3; ++i) {
    const double h = qs[i] * (total - last);
    // The sample k with S_k <= h < S_k+1, S_k the weight below it.
    std::size_t k = 0;
    double below = 0;
    while (k < c.items.size() && below + c.items[k].weight <= h) below += c.items[k++].weight;
    if (k >= c.items.size()) {
      p.never[i] = true;
      continue;
    }
    const double frac = (h - below) / c.items[k].weight;
    if (frac > 0 && k + 1 >= c.items.size()) {
      p.never[i] = true;
      continue;
    }
    const double a = f(c.items[k].value);
    *out[i] = frac > 0 ? a + frac * (f(c.items[k + 1].value) - a) : a;
  }
  return p;
}

// The first value at which the weight up to it exceeds `threshold`.
std::optional<double> first_above(const std::vector<Item>& sorted, double threshold) {
  double running = 0;
  for (const Item& i : sorted) {
    running += i.weight;
    if (running > threshold) return i.value;
  }
  return std::nullopt;
}

// The weight of the sorted values at or below each age of an ascending grid.
std::vector<double> weight_at(const std::vector<Item>& sorted, const std::vector<double>& ages) {
  std::vector<double> out(ages.size(), 0.0);
  std::size_t k = 0;
  double running = 0;
  for (std::size_t a = 0; a < ages.size(); ++a) {
    while (k < sorted.size() && sorted[k].value <= ages[a]) running += sorted[k++].weight;
    out[a] = running;
  }
  return out;
}

double weight_up_to(const std::vector<Item>& items, double age) {
  double s = 0;
  for (const Item& i : items) {
    if (i.value <= age) s += i.weight;
  }
  return s;
}

}  // namespace

mc::IndexValue weighted_index(double failed, double total, double effective) {
  if (!(total > 0) || !(effective > 0)) return {mc::IndexValue::Kind::Above, 0};
  if (failed == 0) {
    const double upper = -std::expm1(std::log(0.05) / effective);
    return {mc::IndexValue::Kind::Above, -normal_quantile(upper)};
  }
  if (failed >= total) {
    const double lower = std::exp(std::log(0.05) / effective);
    return {mc::IndexValue::Kind::Below, -normal_quantile(lower)};
  }
  const double p = failed / total;
  return {mc::IndexValue::Kind::Exact, p > 0.5 ? normal_quantile(1 - p) : -normal_quantile(p)};
}

mc::Summary summarize_weighted(const mc::Samples& samples, const std::vector<double>& weights,
                               const mc::RunSettings& settings, const std::vector<double>& ages) {
  if (weights.size() != samples.results.size()) {
    throw std::invalid_argument("one weight per sample");
  }
  if (ages.empty()) throw std::invalid_argument("no ages for the curve");
  mc::Summary s = mc::summary_heading(samples, settings);
  const double effective = effective_samples(weights);

  double inspection = 0;
  double lowestAge = std::numeric_limits<double>::infinity();
  std::array<Column, mc::kTimes> conservative;
  for (Column& c : conservative) c.items.reserve(samples.results.size());
  std::array<bool, mc::kTimes> anyUnknown{};
  for (std::size_t i = 0; i < samples.results.size(); ++i) {
    const mc::SampleResult& r = samples.results[i];
    const double w = weights[i];
    if (!(w > 0)) continue;
    inspection = std::max(inspection, r.t);
    lowestAge = std::min(lowestAge, r.t);
    for (std::size_t k = 0; k < mc::kTimes; ++k) {
      const double v = r.time(static_cast<int>(k));
      switch (r.known[k]) {
        case mc::TimeKnown::Known:
          conservative[k].items.push_back({v, w, true});
          break;
        case mc::TimeKnown::Unknown:
          conservative[k].items.push_back({v, w, false});
          anyUnknown[k] = true;
          break;
        case mc::TimeKnown::Never:
          conservative[k].never += w;
          conservative[k].lastNever = w;
          break;
      }
    }
    switch (r.status) {
      case mc::SampleStatus::Done:
        ++s.done;
        continue;
      case mc::SampleStatus::Survived:
        ++s.survived;
        break;
      case mc::SampleStatus::Stopped:
        ++s.stopped;
        break;
      case mc::SampleStatus::Rejected:
        ++s.rejected;
        break;
    }
    auto it = std::find_if(s.stops.begin(), s.stops.end(), [&r](const mc::StopCount& c) {
      return c.status == r.status && c.cause == r.cause;
    });
    if (it == s.stops.end()) {
      s.stops.push_back({r.status, r.cause, 1});
    } else {
      ++it->count;
    }
  }
  std::stable_sort(
      s.stops.begin(), s.stops.end(),
      [](const mc::StopCount& a, const mc::StopCount& b) { return a.count > b.count; });

  const bool oneAge = inspection == lowestAge;
  mc::AtAge& at = s.atTarget;
  at.age = mc::target_age(samples, settings);
  s.curve.resize(ages.size());
  for (std::size_t a = 0; a < ages.size(); ++a) s.curve[a].age = ages[a];
  for (std::size_t k = 0; k < mc::kTimes; ++k) {
    Column& c = conservative[k];
    c.sort();
    // The known times alone, in the same order.
    std::vector<Item> known;
    known.reserve(c.items.size());
    for (const Item& i : c.items) {
      if (i.known) known.push_back(i);
    }
    const double total = c.total();
    s.percentiles[k] = percentiles(c, [](double v) { return v; });
    const double threshold = normal_cdf(-s.targets[k]) * total;
    s.targetAge[k] = first_above(c.items, threshold);
    s.targetAgeLow[k] = anyUnknown[k] ? first_above(known, threshold) : s.targetAge[k];
    if (k == static_cast<std::size_t>(mc::kEnd) && oneAge) {
      s.percentiles[mc::kRemaining] =
          percentiles(c, [t = inspection](double td) { return std::max(0.0, td - t); });
    }
    if (!(total > 0)) continue;
    // The curve: the unknown times counted from their earliest age, and not in the lower bound.
    const auto all = weight_at(c.items, ages);
    const auto low = weight_at(known, ages);
    for (std::size_t a = 0; a < ages.size(); ++a) {
      mc::CurvePoint& point = s.curve[a];
      const double p = all[a] / total;
      point.p[k] = p;
      point.pLow[k] = low[a] / total;
      point.se[k] = std::sqrt(p * (1 - p) / effective);
      point.index[k] = weighted_index(all[a], total, effective);
      point.beta[k] = mc::index_number(point.index[k]);
    }
    // At the target age.
    const double failed = weight_up_to(c.items, at.age);
    const double p = failed / total;
    const double x = failed * (effective / total);  // the failures in an effective count
    at.failures[k] = static_cast<std::uint64_t>(std::llround(x));
    at.p[k] = p;
    at.pLow[k] = weight_up_to(known, at.age) / total;
    at.se[k] = std::sqrt(p * (1 - p) / effective);
    if (failed > 0) at.cov[k] = at.se[k] / p;
    at.lo95[k] = failed == 0 ? 0.0 : boost::math::ibeta_inv(x, effective - x + 1, 0.025, Policy());
    at.hi95[k] =
        failed >= total ? 1.0 : boost::math::ibeta_inv(x + 1, effective - x, 0.975, Policy());
    at.index[k] = weighted_index(failed, total, effective);
  }
  if (!oneAge) {
    // Inspection ages that scatter: the remaining life in its own column.
    Column c;
    for (std::size_t i = 0; i < samples.results.size(); ++i) {
      const mc::SampleResult& r = samples.results[i];
      if (!(weights[i] > 0)) continue;
      if (r.known[mc::kEnd] == mc::TimeKnown::Never) {
        c.never += weights[i];
        c.lastNever = weights[i];
      } else {
        c.items.push_back({std::max(0.0, r.td - r.t), weights[i]});
      }
    }
    c.sort();
    s.percentiles[mc::kRemaining] = percentiles(c, [](double v) { return v; });
  }
  return s;
}

}  // namespace pellucor::analysis::update
