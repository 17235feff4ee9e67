#include "analysis/mc/summary.hpp"

#include "analysis/mc/large_buffer.hpp"
#include "analysis/normal_law.hpp"

#include <algorithm>
#include <boost/math/special_functions/beta.hpp>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <numeric>
#include <ostream>
#include <stdexcept>
#include <utility>

namespace pellucor::analysis::mc {

namespace {

using Policy = boost::math::policies::policy<boost::math::policies::promote_double<false>>;

// The values of one time over all samples: the known times, the earliest ages of the samples
// the model could not follow, and the count of survivors (+infinity).
struct Column {
  std::vector<double> known;
  std::vector<double> earliest;
  std::uint64_t never = 0;
};

// An order-preserving key of a finite double: its bits with the sign bit set for values of
// positive sign, all bits flipped for values of negative sign.
inline std::uint64_t order_key(double v) {
  std::uint64_t bits = 0;
  std::memcpy(&bits, &v, sizeof bits);
  return (bits >> 63) != 0 ? ~bits : bits | 0x8000000000000000ull;
}

// The order statistics `ranks` (0-based, each below the total count) of the values of `a` and
// `b` taken together, by histogram counting rather than a sort: one pass finds the range of
// the values' keys, a second counts the values in 2^16 buckets of equal width over that range,
// a third gathers the values of the buckets the ranks fall in, and a selection inside each of
// those buckets finishes.
std::vector<double> order_statistics(const std::vector<double>& a, const std::vector<double>& b,
                                     const std::vector<std::size_t>& ranks) {
  constexpr std::size_t kBuckets = std::size_t{1} << 16;
  for (std::size_t r : ranks) {
    if (r >= a.size() + b.size()) throw std::out_of_range("no order statistic of that rank");
  }
  std::uint64_t least = ~std::uint64_t{0}, most = 0;
  for (const auto* part : {&a, &b}) {
    for (double v : *part) {
      const std::uint64_t k = order_key(v);
      least = std::min(least, k);
      most = std::max(most, k);
    }
  }
  int shift = 0;
  while (((most - least) >> shift) >= kBuckets) ++shift;
  auto bucketOf = [least, shift](double v) {
    return static_cast<std::size_t>((order_key(v) - least) >> shift);
  };
  std::vector<std::uint32_t> hist(kBuckets, 0);
  for (const auto* part : {&a, &b}) {
    for (double v : *part) ++hist[bucketOf(v)];
  }
  // The bucket of each rank and the rank inside it.
  std::vector<std::uint32_t> slotOf(kBuckets, 0);  // 0: not needed; else the group's number + 1
  std::vector<std::vector<double>> groups;
  std::vector<std::pair<std::uint32_t, std::size_t>> where(ranks.size());  // group, inner rank
  std::vector<std::size_t> order(ranks.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::sort(order.begin(), order.end(),
            [&ranks](std::size_t x, std::size_t y) { return ranks[x] < ranks[y]; });
  std::size_t bucket = 0;
  std::size_t before = 0;  // values in the buckets below `bucket`
  for (std::size_t i : order) {
    while (before + hist[bucket] <= ranks[i]) before += hist[bucket++];
    if (slotOf[bucket] == 0) {
      groups.emplace_back();
      groups.back().reserve(hist[bucket]);
      slotOf[bucket] = static_cast<std::uint32_t>(groups.size());
    }
    where[i] = {slotOf[bucket] - 1, ranks[i] - before};
  }
  for (const auto* part : {&a, &b}) {
    for (double v : *part) {
      const std::uint32_t slot = slotOf[bucketOf(v)];
      if (slot != 0) groups[slot - 1].push_back(v);
    }
  }
  std::vector<double> out(ranks.size());
  for (std::size_t i = 0; i < ranks.size(); ++i) {
    auto& g = groups[where[i].first];
    const auto k = static_cast<std::ptrdiff_t>(where[i].second);
    std::nth_element(g.begin(), g.begin() + k, g.end());
    out[i] = g[static_cast<std::size_t>(k)];
  }
  return out;
}

// What the summary asks of one column's order statistics.
struct Ranks {
  std::vector<std::size_t> ranks;
  std::size_t add(std::size_t k) {
    ranks.push_back(k);
    return ranks.size() - 1;
  }
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

// Percentiles 5, 50 and 95 % of `size` finite values followed by `never` infinite ones, with
// linear interpolation between order statistics; a percentile that lies among the infinite
// ones is none. `request` asks for the order statistics; `finish` makes the percentiles of
// their values.
struct PercentilePlan {
  std::array<std::size_t, 3> at{};
  std::array<double, 3> frac{};
  std::array<std::size_t, 3> lo{}, hi{};  // indices into the requested ranks
  std::array<bool, 3> never{};
  bool any = false;

  void request(std::size_t size, std::uint64_t never_, Ranks& r) {
    any = size > 0;
    if (!any) return;
    const std::uint64_t n = size + never_;
    const double qs[3] = {0.05, 0.50, 0.95};
    for (std::size_t i = 0; i < 3; ++i) {
      const double h = qs[i] * static_cast<double>(n - 1);
      at[i] = static_cast<std::size_t>(std::floor(h));
      frac[i] = h - static_cast<double>(at[i]);
      never[i] = at[i] >= size || (frac[i] > 0 && at[i] + 1 >= size);
      if (never[i]) continue;
      lo[i] = r.add(at[i]);
      hi[i] = frac[i] > 0 ? r.add(at[i] + 1) : lo[i];
    }
  }
  // The percentiles of f(values) for a function f that does not fall: its order statistics
  // are those of the values mapped.
  template <class F = std::identity>
  std::optional<Percentiles> finish(const std::vector<double>& values, F f = {}) const {
    if (!any) return std::nullopt;
    Percentiles p;
    double* out[3] = {&p.p5, &p.p50, &p.p95};
    for (std::size_t i = 0; i < 3; ++i) {
      p.never[i] = never[i];
      if (never[i]) continue;
      const double a = f(values[lo[i]]);
      *out[i] = frac[i] > 0 ? a + frac[i] * (f(values[hi[i]]) - a) : a;
    }
    return p;
  }
};

// The default grid's top for the 95th percentile `td95` of t_d and the inspection age `t`.
std::vector<double> grid_to(double td95, double t) {
  // Ages beyond 10^6 a say nothing about a structure; the grid stops there.
  const double top = round_up(std::clamp(std::max(td95, t), 10.0, 1e6));
  std::vector<double> ages(101);
  for (std::size_t i = 0; i < ages.size(); ++i) ages[i] = top * static_cast<double>(i) / 100;
  return ages;
}

std::size_t grid_index95(std::size_t size) {
  return static_cast<std::size_t>(0.95 * static_cast<double>(size - 1));
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
  const double inverse = step > 0 ? 1 / step : 0;  // the guess may be off by one either way
  for (std::size_t i = 0; even && i < g; ++i) {
    even = ages[i] == step * static_cast<double>(i);
  }
  for (double v : values) {
    // The first age at or above v.
    std::size_t j = 0;
    if (even && step > 0) {
      const double guess = std::ceil(v * inverse);
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

// Average ranks (1-based), ties sharing their mean rank: the values put in order, then equal
// values share the mean of their places.
std::vector<double> ranks(const std::vector<double>& v) {
  const std::size_t n = v.size();
  const std::vector<std::uint32_t> index = ascending_order(v);
  std::vector<double> r(n);
  for (std::size_t i = 0; i < n;) {
    std::size_t j = i + 1;
    while (j < n && !(v[index[i]] < v[index[j]])) ++j;
    const double mean = 0.5 * static_cast<double>(i + 1 + j);
    for (std::size_t k = i; k < j; ++k) r[index[k]] = mean;
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

std::vector<std::uint32_t> ascending_order(const std::vector<double>& v) {
  const std::size_t n = v.size();
  std::vector<std::uint64_t> key(n), keyNext(n);
  std::vector<std::uint32_t> index(n), indexNext(n);
  std::array<std::array<std::uint32_t, 256>, 8> count{};
  for (std::size_t i = 0; i < n; ++i) {
    key[i] = order_key(v[i]);
    index[i] = static_cast<std::uint32_t>(i);
    for (std::size_t d = 0; d < 8; ++d) ++count[d][(key[i] >> (8 * d)) & 0xFF];
  }
  for (std::size_t d = 0; d < 8 && n > 0; ++d) {
    auto& c = count[d];
    if (c[(key[0] >> (8 * d)) & 0xFF] == n) continue;  // every key has this byte
    std::uint32_t at = 0;
    for (auto& b : c) at += std::exchange(b, at);
    for (std::size_t i = 0; i < n; ++i) {
      const std::uint32_t to = c[(key[i] >> (8 * d)) & 0xFF]++;
      keyNext[to] = key[i];
      indexNext[to] = index[i];
    }
    key.swap(keyNext);
    index.swap(indexNext);
  }
  return index;
}

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

std::vector<double> default_ages(const Samples& samples) {
  std::vector<double> td;
  double t = 0;
  for (const auto& r : samples.results) {
    t = std::max(t, r.t);
    if (r.known[kEnd] != TimeKnown::Never) td.push_back(r.td);
  }
  return grid_to(td.empty() ? 0 : kth(td, grid_index95(td.size())), t);
}

Summary summarize(const Samples& samples, double targetBeta, std::vector<double> ages) {
  RunSettings settings;
  settings.targetBeta = targetBeta;
  return summarize(samples, settings, std::move(ages));
}

namespace {

// The samples sorted once (they are many bytes each): the three times into their columns, the
// counts by how the samples ended, the range of the inspection ages.
struct Sorted {
  std::array<Column, kTimes> columns;
  double inspection = 0;  // the latest inspection age
  double lowestAge = std::numeric_limits<double>::infinity();
};

Sorted sort_samples(const Samples& samples, Summary& s) {
  Sorted out;
  for (Column& c : out.columns) reserve_large(c.known, s.samples);
  for (const auto& r : samples.results) {
    out.inspection = std::max(out.inspection, r.t);
    out.lowestAge = std::min(out.lowestAge, r.t);
    for (std::size_t kk = 0; kk < kTimes; ++kk) {
      Column& c = out.columns[kk];
      const double v = r.time(static_cast<int>(kk));
      switch (r.known[kk]) {
        case TimeKnown::Known:
          c.known.push_back(v);
          break;
        case TimeKnown::Unknown:
          c.earliest.push_back(v);
          break;
        case TimeKnown::Never:
          ++c.never;
          break;
      }
    }
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
  return out;
}

// The order statistics of time k, the conservative values being the known times and the
// earliest ages together: its percentiles, its age at the target index and that age for the
// lower bound; for the end of durability the remaining-life percentiles when every sample has
// the same inspection age `oneAge`. Returns the top of the default grid of ages when asked for
// (`chooseGrid`) and there is a time to take it from.
std::optional<double> order_time(int k, const Column& c, bool chooseGrid,
                                 std::optional<double> oneAge, Summary& s) {
  const auto kk = static_cast<std::size_t>(k);
  const auto n = static_cast<double>(s.samples);
  const std::size_t size = c.known.size() + c.earliest.size();
  Ranks r;
  PercentilePlan plan;
  plan.request(size, c.never, r);
  std::optional<std::size_t> target;
  std::optional<std::size_t> targetRank;
  if (s.samples > 0) {
    // P(beta < target) is P(time <= age) > Phi(-target): the empirical probability first
    // exceeds it at the m-th smallest time, where m is the least count above Phi(-target) n.
    const double m = std::floor(normal_cdf(-s.targets[kk]) * n) + 1;
    if (m <= static_cast<double>(size)) {
      targetRank = static_cast<std::size_t>(m) - 1;
      target = r.add(*targetRank);
    }
  }
  std::optional<std::size_t> grid;
  if (chooseGrid && size > 0) grid = r.add(grid_index95(size));
  const std::vector<double> values =
      r.ranks.empty() ? std::vector<double>{} : order_statistics(c.known, c.earliest, r.ranks);
  s.percentiles[kk] = plan.finish(values);
  if (target) s.targetAge[kk] = values[*target];
  if (c.earliest.empty()) {
    s.targetAgeLow[kk] = s.targetAge[kk];
  } else if (targetRank && *targetRank < c.known.size()) {
    s.targetAgeLow[kk] = order_statistics(c.known, {}, {*targetRank})[0];
  }
  // The remaining life max(0, t_d - t) does not fall as t_d grows: with one inspection age its
  // order statistics are those of t_d mapped.
  if (k == kEnd && oneAge) {
    s.percentiles[kRemaining] =
        plan.finish(values, [t = *oneAge](double td) { return std::max(0.0, td - t); });
  }
  if (!grid) return std::nullopt;
  return values[*grid];
}

// P(time k <= age), its standard error and β at every age of the curve.
void curve_of_time(int k, const Column& c, const std::vector<double>& ages, Summary& s) {
  const auto kk = static_cast<std::size_t>(k);
  const auto n = static_cast<double>(s.samples);
  const auto low = counts_at(c.known, ages);
  const auto extra = counts_at(c.earliest, ages);
  for (std::size_t a = 0; a < ages.size(); ++a) {
    CurvePoint& point = s.curve[a];
    const std::uint64_t failures = low[a] + extra[a];
    const double p = static_cast<double>(failures) / n;
    point.p[kk] = p;
    point.pLow[kk] = static_cast<double>(low[a]) / n;
    point.se[kk] = std::sqrt(p * (1 - p) / n);
    point.index[kk] = reliability_index(failures, s.samples);
    point.beta[kk] = index_number(point.index[kk]);
  }
}

// The statistics of time k at the target age: P, its lower bound, standard error, CoV, the
// exact (Clopper–Pearson) 95 % interval and β.
void at_target_age(int k, const Column& c, Summary& s) {
  const auto kk = static_cast<std::size_t>(k);
  const auto n = static_cast<double>(s.samples);
  AtAge& at = s.atTarget;
  const std::uint64_t lowAt = count_at(c.known, at.age);
  const std::uint64_t x = lowAt + count_at(c.earliest, at.age);
  const double p = static_cast<double>(x) / n;
  at.failures[kk] = x;
  at.p[kk] = p;
  at.pLow[kk] = static_cast<double>(lowAt) / n;
  at.se[kk] = std::sqrt(p * (1 - p) / n);
  if (x > 0) at.cov[kk] = at.se[kk] / p;
  const auto xd = static_cast<double>(x);
  at.lo95[kk] = x == 0 ? 0.0 : boost::math::ibeta_inv(xd, n - xd + 1, 0.025, Policy());
  at.hi95[kk] = x == s.samples ? 1.0 : boost::math::ibeta_inv(xd + 1, n - xd, 0.975, Policy());
  at.index[kk] = reliability_index(x, s.samples);
}

// The remaining-life percentiles when the inspection ages scatter: max(0, t_d - t) of each
// sample in its own column.
void remaining_life_by_sample(const Samples& samples, Summary& s) {
  Column c;
  for (const auto& r : samples.results) {
    if (r.known[kEnd] == TimeKnown::Never) {
      ++c.never;
    } else {
      c.known.push_back(std::max(0.0, r.td - r.t));
    }
  }
  Ranks r;
  PercentilePlan plan;
  plan.request(c.known.size(), c.never, r);
  s.percentiles[kRemaining] =
      plan.finish(r.ranks.empty() ? std::vector<double>{} : order_statistics(c.known, {}, r.ranks));
}

// Rank correlations of the inputs with the times, over the first samples.
void rank_correlations(const Samples& samples, Summary& s) {
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
}

}  // namespace

double index_number(const IndexValue& index) {
  switch (index.kind) {
    case IndexValue::Kind::Above:
      return std::numeric_limits<double>::infinity();
    case IndexValue::Kind::Below:
      return -std::numeric_limits<double>::infinity();
    case IndexValue::Kind::Exact:
      break;
  }
  return index.value;
}

Summary summary_heading(const Samples& samples, const RunSettings& settings) {
  Summary s;
  s.targetBeta = settings.targetBeta;
  s.targets = settings.targets();
  s.samples = samples.results.size();
  s.variant = samples.variant;
  s.hasVariants = samples.hasVariants;
  s.stopCov = settings.stopCov;
  return s;
}

Summary summarize(const Samples& samples, const RunSettings& settings, std::vector<double> ages) {
  Summary s = summary_heading(samples, settings);
  s.stoppedByRule = samples.stoppedByRule;
  const Sorted sorted = sort_samples(samples, s);
  const bool oneAge = sorted.inspection == sorted.lowestAge;
  s.atTarget.age = target_age(samples, settings);
  // One time at a time, the end of durability first: its order statistics give the default
  // grid of ages and the remaining life.
  for (int k : {kEnd, kInitiation, kCracking}) {
    const Column& c = sorted.columns[static_cast<std::size_t>(k)];
    const auto gridTop = order_time(k, c, k == kEnd && ages.empty(),
                                    oneAge ? std::optional(sorted.inspection) : std::nullopt, s);
    if (k == kEnd) {
      if (gridTop) ages = grid_to(*gridTop, sorted.inspection);
      if (ages.empty()) ages = grid_to(0, sorted.inspection);
      s.curve.resize(ages.size());
      for (std::size_t a = 0; a < ages.size(); ++a) s.curve[a].age = ages[a];
    }
    if (s.samples == 0) continue;
    curve_of_time(k, c, ages, s);
    at_target_age(k, c, s);
  }
  if (!oneAge) remaining_life_by_sample(samples, s);
  rank_correlations(samples, s);
  return s;
}

void write_csv(std::ostream& out, const Summary& summary) {
  out << "age_a";
  for (const char* t : {"ti", "tc", "td"}) {
    out << ",P_" << t << ",SE_" << t << ",beta_" << t << ",beta_bound_" << t << ",P_low_" << t;
  }
  // A sheet with two ways to its initiation time names the one used on every line.
  if (summary.hasVariants) out << ",ti_method";
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
    if (summary.hasVariants) out << ',' << variant_name(summary.variant);
    out << "\r\n";
  }
  out.precision(precision);
}

}  // namespace pellucor::analysis::mc
