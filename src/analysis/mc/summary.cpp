#include "analysis/mc/summary.hpp"

#include <algorithm>
#include <boost/math/special_functions/beta.hpp>
#include <cmath>
#include <cstdio>
#include <limits>
#include <numeric>
#include <ostream>

namespace pellucor::analysis::mc {

namespace {

using Policy = boost::math::policies::policy<boost::math::policies::promote_double<false>>;

// The values of one time over all samples, as the conservative bound reads them: known times
// and the earliest ages of the samples not followed in `values`; the survivors only counted.
struct Column {
  std::vector<double> values;  // known times and earliest ages
  std::vector<double> known;   // known times only (the lower bound)
  std::uint64_t never = 0;     // survivors: +infinity
};

// The smallest of 1, 2, 5 times a power of ten at or above x.
double round_up(double x) {
  double scale = 1;
  while (scale * 10 <= x) scale *= 10;
  for (double m : {1.0, 2.0, 5.0, 10.0}) {
    if (m * scale >= x) return m * scale;
  }
  return 10 * scale;
}

// The k-th smallest (from 0) of `v`, reordering it.
double kth(std::vector<double>& v, std::size_t k) {
  std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(k), v.end());
  return v[k];
}

// Percentiles 5, 50 and 95 % of the finite values `v` followed by `never` infinite ones, with
// linear interpolation between order statistics; a percentile that lies among the infinite
// ones is none. Selection, not a sort: the median first, then each outer position inside the
// bracket the positions selected so far leave; the order statistic after a position is the
// least value up to the next selected position. Reorders `v`.
std::optional<Percentiles> percentiles_of(std::vector<double>& v, std::uint64_t never) {
  if (v.empty()) return std::nullopt;
  const std::size_t size = v.size();
  const std::uint64_t n = size + never;
  const double qs[3] = {0.05, 0.50, 0.95};
  auto it = [&v](std::size_t k) { return v.begin() + static_cast<std::ptrdiff_t>(k); };
  std::vector<std::size_t> selected;  // ascending
  auto select = [&](std::size_t k) {
    const auto next = std::upper_bound(selected.begin(), selected.end(), k);
    if (next != selected.begin() && *(next - 1) == k) return;
    const std::size_t lo = next == selected.begin() ? 0 : *(next - 1) + 1;
    const std::size_t hi = next == selected.end() ? size : *next;
    std::nth_element(it(lo), it(k), it(hi));
    selected.insert(next, k);
  };
  std::size_t at[3];
  double frac[3];
  for (int i = 0; i < 3; ++i) {
    const double h = qs[i] * static_cast<double>(n - 1);
    at[i] = static_cast<std::size_t>(std::floor(h));
    frac[i] = h - static_cast<double>(at[i]);
  }
  for (int i : {1, 0, 2}) {
    if (at[i] < size) select(at[i]);
  }
  Percentiles p;
  double* out[3] = {&p.p5, &p.p50, &p.p95};
  for (int i = 0; i < 3; ++i) {
    const std::size_t k = at[i];
    const bool needsNext = frac[i] > 0;
    const bool never = k >= size || (needsNext && k + 1 >= size);
    p.never[static_cast<std::size_t>(i)] = never;
    if (never) continue;
    double value = v[k];
    if (needsNext) {
      const auto next = std::upper_bound(selected.begin(), selected.end(), k);
      const std::size_t end = next == selected.end() ? size : *next + 1;
      const double after = *std::min_element(it(k + 1), it(end));
      value += frac[i] * (after - value);
    }
    *out[i] = value;
  }
  return p;
}

// Counts of values at or below each age of an ascending grid.
std::vector<std::uint64_t> counts_at(const std::vector<double>& values,
                                     const std::vector<double>& ages) {
  std::vector<std::uint64_t> hist(ages.size() + 1, 0);
  const std::size_t g = ages.size();
  // An evenly spaced grid from 0 (the default one) finds the bucket by division; the
  // comparisons after it make the count exact.
  bool even = g >= 2 && ages.front() == 0;
  const double step = even ? ages[1] : 0;
  for (std::size_t i = 0; even && i < g; ++i) {
    even = ages[i] == step * static_cast<double>(i);
  }
  for (double v : values) {
    // The first age at or above v.
    std::size_t j = 0;
    if (even && step > 0) {
      const double guess = std::ceil(v / step);
      j = guess <= 0 ? 0 : guess >= static_cast<double>(g) ? g : static_cast<std::size_t>(guess);
      while (j > 0 && ages[j - 1] >= v) --j;
      while (j < g && ages[j] < v) ++j;
    } else {
      j = static_cast<std::size_t>(std::lower_bound(ages.begin(), ages.end(), v) - ages.begin());
    }
    ++hist[j];
  }
  std::vector<std::uint64_t> counts(g);
  std::uint64_t running = 0;
  for (std::size_t j = 0; j < g; ++j) {
    running += hist[j];
    counts[j] = running;
  }
  return counts;
}

std::uint64_t count_at(const std::vector<double>& values, double age) {
  return static_cast<std::uint64_t>(
      std::count_if(values.begin(), values.end(), [age](double v) { return v <= age; }));
}

// Average ranks (1-based), ties sharing their mean rank.
std::vector<double> ranks(const std::vector<double>& v) {
  std::vector<std::uint32_t> order(v.size());
  std::iota(order.begin(), order.end(), 0u);
  std::sort(order.begin(), order.end(),
            [&v](std::uint32_t a, std::uint32_t b) { return v[a] < v[b]; });
  std::vector<double> r(v.size());
  for (std::size_t i = 0; i < order.size();) {
    std::size_t j = i + 1;
    while (j < order.size() && !(v[order[i]] < v[order[j]])) ++j;
    const double mean = 0.5 * static_cast<double>(i + 1 + j);
    for (std::size_t k = i; k < j; ++k) r[order[k]] = mean;
    i = j;
  }
  return r;
}

std::optional<double> pearson(const std::vector<double>& x, const std::vector<double>& y) {
  const auto n = static_cast<double>(x.size());
  if (x.size() < 3) return std::nullopt;
  const double mx = std::accumulate(x.begin(), x.end(), 0.0) / n;
  const double my = std::accumulate(y.begin(), y.end(), 0.0) / n;
  double sxy = 0, sxx = 0, syy = 0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    sxy += (x[i] - mx) * (y[i] - my);
    sxx += (x[i] - mx) * (x[i] - mx);
    syy += (y[i] - my) * (y[i] - my);
  }
  if (!(sxx > 0) || !(syy > 0)) return std::nullopt;
  return sxy / std::sqrt(sxx * syy);
}

std::string fixed(double v, int decimals) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  return buf;
}

}  // namespace

IndexValue reliability_index(std::uint64_t failures, std::uint64_t n) {
  if (n == 0) return {IndexValue::Kind::Above, 0};
  const auto nn = static_cast<double>(n);
  if (failures == 0) {
    const double upper = -std::expm1(std::log(0.05) / nn);  // 1 - 0.05^(1/n)
    return {IndexValue::Kind::Above, -normal_quantile(upper)};
  }
  if (failures >= n) {
    const double lower = std::exp(std::log(0.05) / nn);  // 0.05^(1/n)
    return {IndexValue::Kind::Below, -normal_quantile(lower)};
  }
  const double p = static_cast<double>(failures) / nn;
  // The upper half from the complement so that the tail keeps its precision.
  return {IndexValue::Kind::Exact, p > 0.5 ? normal_quantile(1 - p) : -normal_quantile(p)};
}

std::string index_text(const IndexValue& index, int decimals) {
  const std::string v = fixed(index.value, decimals);
  switch (index.kind) {
    case IndexValue::Kind::Above:
      return "> " + v;
    case IndexValue::Kind::Below:
      return "< " + v;
    case IndexValue::Kind::Exact:
      break;
  }
  return v;
}

double Summary::notDoneShare() const {
  if (samples == 0) return 0;
  return static_cast<double>(samples - done) / static_cast<double>(samples);
}

double target_age(const Samples& samples, const RunSettings& settings) {
  if (settings.targetAge) return *settings.targetAge;
  for (const auto& r : samples.results) {
    if (r.t > 0) return r.t;
  }
  return 0;
}

std::vector<double> default_ages(const Samples& samples) {
  std::vector<double> td;
  double t = 0;
  for (const auto& r : samples.results) {
    t = std::max(t, r.t);
    if (r.known[kEnd] != TimeKnown::Never) td.push_back(r.td);
  }
  double top = t;
  if (!td.empty()) {
    const auto k = static_cast<std::size_t>(0.95 * static_cast<double>(td.size() - 1));
    top = std::max(top, kth(td, k));
  }
  // Ages beyond 10^6 a say nothing about a structure; the grid stops there.
  top = round_up(std::clamp(top, 10.0, 1e6));
  std::vector<double> ages(101);
  for (std::size_t i = 0; i < ages.size(); ++i) ages[i] = top * static_cast<double>(i) / 100;
  return ages;
}

bool stopping_rule_met(const Samples& samples, const RunSettings& settings) {
  const double age = target_age(samples, settings);
  std::uint64_t failures = 0;
  for (const auto& r : samples.results) {
    if (r.known[kEnd] != TimeKnown::Never && r.td <= age) ++failures;
  }
  if (failures == 0) return false;
  const auto n = static_cast<double>(samples.results.size());
  const double p = static_cast<double>(failures) / n;
  return std::sqrt((1 - p) / (n * p)) < settings.stopCov;
}

Summary summarize(const Samples& samples, double targetBeta, std::vector<double> ages) {
  RunSettings settings;
  settings.targetBeta = targetBeta;
  return summarize(samples, settings, std::move(ages));
}

Summary summarize(const Samples& samples, const RunSettings& settings, std::vector<double> ages) {
  Summary s;
  s.targetBeta = settings.targetBeta;
  s.targets = settings.targets();
  s.samples = samples.results.size();
  s.variant = samples.variant;
  s.stoppedByRule = samples.stoppedByRule;
  s.stopCov = settings.stopCov;
  for (const auto& r : samples.results) {
    switch (r.status) {
      case SampleStatus::Done:
        ++s.done;
        continue;
      case SampleStatus::Survived:
        ++s.survived;
        break;
      case SampleStatus::Stopped:
        ++s.stopped;
        break;
      case SampleStatus::Rejected:
        ++s.rejected;
        break;
    }
    auto it = std::find_if(s.stops.begin(), s.stops.end(), [&r](const StopCount& c) {
      return c.status == r.status && c.cause == r.cause;
    });
    if (it == s.stops.end()) {
      s.stops.push_back({r.status, r.cause, 1});
    } else {
      ++it->count;
    }
  }
  std::stable_sort(s.stops.begin(), s.stops.end(),
                   [](const StopCount& a, const StopCount& b) { return a.count > b.count; });

  // The columns of the three times and of the remaining life.
  std::array<Column, kTimes + 1> cols;
  for (auto& c : cols) {
    c.values.reserve(s.samples);
    c.known.reserve(s.done);
  }
  for (const auto& r : samples.results) {
    for (int k = 0; k < kTimes; ++k) {
      Column& c = cols[static_cast<std::size_t>(k)];
      switch (r.known[static_cast<std::size_t>(k)]) {
        case TimeKnown::Known:
          c.values.push_back(r.time(k));
          c.known.push_back(r.time(k));
          break;
        case TimeKnown::Unknown:
          c.values.push_back(r.time(k));
          break;
        case TimeKnown::Never:
          ++c.never;
          break;
      }
    }
    Column& rem = cols[kRemaining];
    if (r.known[kEnd] == TimeKnown::Never) {
      ++rem.never;
    } else {
      rem.values.push_back(std::max(0.0, r.td - r.t));
    }
  }
  for (int k = 0; k <= kRemaining; ++k) {
    Column& c = cols[static_cast<std::size_t>(k)];
    s.percentiles[static_cast<std::size_t>(k)] = percentiles_of(c.values, c.never);
  }

  if (ages.empty()) ages = default_ages(samples);
  s.curve.resize(ages.size());
  for (std::size_t a = 0; a < ages.size(); ++a) s.curve[a].age = ages[a];
  const auto n = static_cast<double>(s.samples);
  for (int k = 0; k < kTimes; ++k) {
    const auto kk = static_cast<std::size_t>(k);
    Column& c = cols[kk];
    if (s.samples == 0) break;
    const auto high = counts_at(c.values, ages);
    const auto low = counts_at(c.known, ages);
    for (std::size_t a = 0; a < ages.size(); ++a) {
      CurvePoint& point = s.curve[a];
      const double p = static_cast<double>(high[a]) / n;
      point.p[kk] = p;
      point.pLow[kk] = static_cast<double>(low[a]) / n;
      point.se[kk] = std::sqrt(p * (1 - p) / n);
      point.index[kk] = reliability_index(high[a], s.samples);
      point.beta[kk] = point.index[kk].kind == IndexValue::Kind::Exact ? point.index[kk].value
                       : point.index[kk].kind == IndexValue::Kind::Above
                           ? std::numeric_limits<double>::infinity()
                           : -std::numeric_limits<double>::infinity();
    }
    // P(beta < target) is P(time <= age) > Phi(-target): the empirical probability first
    // exceeds it at the k-th smallest time, where k is the least count above Phi(-target) n.
    const double pTarget = normal_cdf(-s.targets[kk]);
    const double m = std::floor(pTarget * n) + 1;
    if (m <= static_cast<double>(c.values.size())) {
      s.targetAge[kk] = kth(c.values, static_cast<std::size_t>(m) - 1);
    }
    if (m <= static_cast<double>(c.known.size())) {
      s.targetAgeLow[kk] = kth(c.known, static_cast<std::size_t>(m) - 1);
    }
  }

  // At the target age.
  AtAge& at = s.atTarget;
  at.age = target_age(samples, settings);
  for (int k = 0; k < kTimes && s.samples > 0; ++k) {
    const auto kk = static_cast<std::size_t>(k);
    const std::uint64_t x = count_at(cols[kk].values, at.age);
    const double p = static_cast<double>(x) / n;
    at.failures[kk] = x;
    at.p[kk] = p;
    at.pLow[kk] = static_cast<double>(count_at(cols[kk].known, at.age)) / n;
    at.se[kk] = std::sqrt(p * (1 - p) / n);
    if (x > 0) at.cov[kk] = at.se[kk] / p;
    const auto xd = static_cast<double>(x);
    at.lo95[kk] = x == 0 ? 0.0 : boost::math::ibeta_inv(xd, n - xd + 1, 0.025, Policy());
    at.hi95[kk] = x == s.samples ? 1.0 : boost::math::ibeta_inv(xd + 1, n - xd, 0.975, Policy());
    at.index[kk] = reliability_index(x, s.samples);
  }

  // Rank correlations of the inputs with the times, over the first samples.
  const std::size_t boxes = samples.boxes.size();
  const std::size_t m = std::min<std::size_t>(samples.results.size(), kTornadoSamples);
  s.tornadoSamples = m;
  if (boxes != 0 && samples.draws.size() >= m * boxes) {
    s.tornado.resize(boxes);
    // The ranks of each input over all m samples, for the times every sample tells.
    std::vector<std::vector<double>> allRanks(boxes);
    std::vector<double> x(m);
    for (std::size_t j = 0; j < boxes; ++j) {
      s.tornado[j].box = samples.boxes[j];
      for (std::size_t i = 0; i < m; ++i) x[i] = samples.draws[i * boxes + j];
      allRanks[j] = ranks(x);
    }
    for (int k = 0; k < kTimes; ++k) {
      const auto kk = static_cast<std::size_t>(k);
      // The samples whose time is known or never reached (the survivors rank above all).
      std::vector<std::uint32_t> used;
      std::vector<double> t;
      used.reserve(m);
      t.reserve(m);
      for (std::size_t i = 0; i < m; ++i) {
        const SampleResult& r = samples.results[i];
        if (r.known[kk] == TimeKnown::Unknown) continue;
        used.push_back(static_cast<std::uint32_t>(i));
        t.push_back(r.known[kk] == TimeKnown::Never ? std::numeric_limits<double>::infinity()
                                                    : r.time(k));
      }
      const std::vector<double> rt = ranks(t);
      for (std::size_t j = 0; j < boxes; ++j) {
        if (used.size() == m) {
          s.tornado[j].rho[kk] = pearson(allRanks[j], rt);
          continue;
        }
        std::vector<double> xs(used.size());
        for (std::size_t i = 0; i < used.size(); ++i) xs[i] = samples.draws[used[i] * boxes + j];
        s.tornado[j].rho[kk] = pearson(ranks(xs), rt);
      }
    }
  }
  return s;
}

void write_csv(std::ostream& out, const Summary& summary) {
  out << "age_a";
  for (const char* t : {"ti", "tc", "td"}) {
    out << ",P_" << t << ",SE_" << t << ",beta_" << t << ",beta_bound_" << t << ",P_low_" << t;
  }
  out << "\r\n";
  const auto precision = out.precision(10);
  for (const auto& point : summary.curve) {
    out << point.age;
    for (std::size_t i = 0; i < kTimes; ++i) {
      const IndexValue& b = point.index[i];
      out << ',' << point.p[i] << ',' << point.se[i] << ',' << b.value << ','
          << (b.kind == IndexValue::Kind::Above   ? ">"
              : b.kind == IndexValue::Kind::Below ? "<"
                                                  : "")
          << ',' << point.pLow[i];
    }
    out << "\r\n";
  }
  out.precision(precision);
}

}  // namespace pellucor::analysis::mc
