#include "analysis/mc/engine.hpp"

#include <Random123/philox.h>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include <algorithm>
#include <bit>
#include <cmath>
#include <optional>
#include <stdexcept>

#include "analysis/crossing.hpp"
#include "analysis/mc/large_buffer.hpp"
#include "analysis/normal_law.hpp"
#include "analysis/parallel/parallel_for.hpp"
#include "modules/carbonation/carbonation_sheet.hpp"
#include "modules/marine/marine_sheet.hpp"

namespace pellucor::analysis::mc {

namespace {

class NoSink final : public sheet::CalculationSink {
 public:
  void passStarted(double) override {}
  void passFinished(const std::vector<std::string>&) override {}
  bool wantsReport() const override { return false; }  // the numbers are all a sample needs
  bool wantsRecord() const override { return false; }  // read from the run
};

constexpr std::uint64_t kBlock = 256;
// More threads than this only add switching; the samples are the same with any count.
constexpr unsigned kMaxThreads = 64;

// What the sample knows of each time when the model stopped for `reason`, with the
// initiation time `ti` the run holds. `rateFixed`: the pre-cracking rate does not depend on
// the cracking time (carbonation), so a zero rate is zero for ever.
void classify_model_stop(model::StopReason reason, double ti, bool rateFixed, SampleResult& r) {
  using model::StopReason;
  using enum TimeKnown;
  const bool tiFound = std::isfinite(ti) && ti >= 0;
  switch (reason) {
    case StopReason::InvalidHumidity:
    case StopReason::ZeroRate:
      if (rateFixed && tiFound) {
        // No corrosion: the humidity is at or below the rate formula's threshold, or the rate
        // is zero. The steel is depassivated but the cover never cracks.
        r.status = SampleStatus::Survived;
        r.ti = ti;
        r.known = {Known, Never, Never};
        return;
      }
      [[fallthrough]];
    case StopReason::PassLimit:
    case StopReason::ZeroAssumedTime:
    case StopReason::NonPositiveConcentration:
      // The initiation time was found before the cracking-time iteration stopped; cracking
      // cannot come before it.
      if (tiFound) {
        r.status = SampleStatus::Stopped;
        r.ti = ti;
        r.tc = r.td = ti;
        r.known = {Known, Unknown, Unknown};
        return;
      }
      break;
    default:
      break;
  }
  r.status = SampleStatus::Stopped;
  r.ti = r.tc = r.td = 0;
  r.known = {Unknown, Unknown, Unknown};
}

// What a model run that passed the sheet's checks tells of the sample: the times as the
// timeline gives them, read in place (a sample is run many times over), or why it stopped.
template <class Run>
void finish(const Run& run, std::optional<model::StopReason> stop, SampleResult& r) {
  if (!stop && !run.out.stop) {
    r.ti = run.out.propIn.ti;
    r.tc = run.out.prop.tc;
    r.td = run.out.prop.td;
    r.t = run.out.propIn.t;
    return;
  }
  r.cause.kind = StopCause::Kind::Model;
  r.cause.reason = stop.value_or(model::StopReason::NotFinite);
  r.t = run.in.t;
  double ti = 0;  // the admixed chloride is at the steel from the day of casting
  if constexpr (!std::is_same_v<Run, model::AdmixedRun>) ti = run.out.ti;
  if constexpr (std::is_same_v<Run, model::CarbonationRun>) {
    // No carbonation at all: the steel is never depassivated.
    if (r.cause.reason == model::StopReason::ZeroCarbonation && !(run.out.k > 0)) {
      r.status = SampleStatus::Survived;
      r.known = {TimeKnown::Never, TimeKnown::Never, TimeKnown::Never};
      return;
    }
  }
  classify_model_stop(r.cause.reason, ti, std::is_same_v<Run, model::CarbonationRun>, r);
}

void finish(const std::monostate&, std::optional<model::StopReason> stop, SampleResult& r) {
  r.cause.kind = StopCause::Kind::Model;
  r.cause.reason = stop.value_or(model::StopReason::NotFinite);
  classify_model_stop(r.cause.reason, std::nan(""), false, r);
}

}  // namespace

// The uniform number in (0, 1) of stream n in sample `index`: Philox 4x32-10 keyed by the
// seed, with the counter made of the sample index and the pair of streams n belongs to; of the
// 128 bits, streams of even number take the first 64, odd ones the last. A stream draws the
// same numbers whichever other streams are used. 53 random bits, centred in their interval.
namespace {

double unit(std::uint32_t hi, std::uint32_t lo) {
  const std::uint64_t bits = (static_cast<std::uint64_t>(hi) << 32 | lo) >> 11;
  return (static_cast<double>(bits) + 0.5) * 0x1p-53;
}

r123::Philox4x32::ctr_type philox(std::uint64_t seed, std::uint64_t index, int pair) {
  using Philox = r123::Philox4x32;
  const Philox::key_type key = {
      {static_cast<std::uint32_t>(seed), static_cast<std::uint32_t>(seed >> 32)}};
  const Philox::ctr_type ctr = {{static_cast<std::uint32_t>(index),
                                 static_cast<std::uint32_t>(index >> 32),
                                 static_cast<std::uint32_t>(pair), 0}};
  return Philox()(ctr, key);
}

// Philox 4x32-10 as philox() computes it, for a block of consecutive sample indices at once:
// the samples side by side in arrays, round by round over the whole block (a fixed count, so
// that the compiler can run several samples in one vector instruction). The numbers are
// integers, the same either way; lanes past `m` are computed and not used.
void philox_block_portable(std::uint64_t seed, std::uint64_t first, std::size_t m, int pair,
                           double* even, double* odd) {
  constexpr std::uint64_t kM0 = 0xD2511F53, kM1 = 0xCD9E8D57;  // multipliers
  constexpr std::uint64_t kW0 = 0x9E3779B9, kW1 = 0xBB67AE85;  // key increments
  // The four words of each counter in 64-bit lanes (their upper halves zero): the products
  // and the shifts then need no shuffling between lanes.
  constexpr std::uint64_t kLow = 0xFFFFFFFFu;
  alignas(64) std::array<std::uint64_t, kBlock> c0, c1, c2, c3;
  for (std::size_t i = 0; i < kBlock; ++i) {
    const std::uint64_t index = first + i;
    c0[i] = index & kLow;
    c1[i] = index >> 32;
    c2[i] = static_cast<std::uint32_t>(pair);
    c3[i] = 0;
  }
  std::uint64_t k0 = seed & kLow;
  std::uint64_t k1 = seed >> 32;
  for (int round = 0; round < 10; ++round) {
    for (std::size_t i = 0; i < kBlock; ++i) {
      const std::uint64_t p0 = kM0 * (c0[i] & kLow);
      const std::uint64_t p1 = kM1 * (c2[i] & kLow);
      c0[i] = (p1 >> 32) ^ c1[i] ^ k0;
      c1[i] = p1 & kLow;
      c2[i] = (p0 >> 32) ^ c3[i] ^ k1;
      c3[i] = p0 & kLow;
    }
    k0 = (k0 + kW0) & kLow;
    k1 = (k1 + kW1) & kLow;
  }
  // unit() without a conversion of 64-bit integers, which vector units lack: the top 53 bits
  // as 2^84 + h 2^32 and 2^52 + l by their bit patterns, the offsets taken off exactly, the
  // sum h 2^32 + l < 2^53 exact: the double unit() converts, bit for bit.
  auto toUnit = [](std::uint64_t hi, std::uint64_t lo) {
    const std::uint64_t h = hi >> 11;                      // 21 bits
    const std::uint64_t l = (hi << 21 | lo >> 11) & kLow;  // 32 bits
    const double dh = std::bit_cast<double>(0x4530000000000000ull | h) - 0x1p84;
    const double dl = std::bit_cast<double>(0x4330000000000000ull | l) - 0x1p52;
    return (dh + dl + 0.5) * 0x1p-53;
  };
  alignas(64) std::array<double, kBlock> e, o;
  for (std::size_t i = 0; i < kBlock; ++i) {
    e[i] = toUnit(c0[i], c1[i]);
    o[i] = toUnit(c2[i], c3[i]);
  }
  std::copy_n(e.begin(), m, even);
  std::copy_n(o.begin(), m, odd);
}

// Not on Windows: GCC cannot align the stack there for the registers of these instructions
// (its spills of them may fault), so Windows runs the portable blocks, which give the same
// doubles.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__)) && !defined(_WIN32)
#define PELLUCOR_PHILOX_VECTOR 1
// The same with the processor's vector instructions written out, 8 samples at a time (AVX-512)
// or 4 (AVX2): the four words of the counters in 64-bit lanes with their upper halves zero, so
// that one unsigned 32 x 32 -> 64 bit multiply per lane gives both halves of a product; the
// conversion to doubles as philox_block_portable() does it, bit for bit.
constexpr std::uint32_t kPhiloxM0 = 0xD2511F53, kPhiloxM1 = 0xCD9E8D57;
constexpr std::uint32_t kPhiloxW0 = 0x9E3779B9, kPhiloxW1 = 0xBB67AE85;

// GCC 12's AVX-512 header warns of its own placeholder operands (_mm512_undefined_epi32 in the
// masked shifts and multiplies; fixed in later releases).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wpsabi"
#endif
// unit() of the words hi, lo in each 64-bit lane (their upper halves zero).
[[gnu::target("avx512f")]] inline __m512d unit_avx512(__m512i hi, __m512i lo) {
  const __m512i low = _mm512_set1_epi64(0xFFFFFFFFll);
  const __m512i h = _mm512_srli_epi64(hi, 11);
  const __m512i l =
      _mm512_and_si512(_mm512_or_si512(_mm512_slli_epi64(hi, 21), _mm512_srli_epi64(lo, 11)), low);
  const __m512d dh = _mm512_sub_pd(
      _mm512_castsi512_pd(_mm512_or_si512(h, _mm512_set1_epi64(0x4530000000000000ll))),
      _mm512_set1_pd(0x1p84));
  const __m512d dl = _mm512_sub_pd(
      _mm512_castsi512_pd(_mm512_or_si512(l, _mm512_set1_epi64(0x4330000000000000ll))),
      _mm512_set1_pd(0x1p52));
  return _mm512_mul_pd(_mm512_add_pd(_mm512_add_pd(dh, dl), _mm512_set1_pd(0.5)),
                       _mm512_set1_pd(0x1p-53));
}

[[gnu::target("avx2")]] inline __m256d unit_avx2(__m256i hi, __m256i lo) {
  const __m256i low = _mm256_set1_epi64x(0xFFFFFFFFll);
  const __m256i h = _mm256_srli_epi64(hi, 11);
  const __m256i l =
      _mm256_and_si256(_mm256_or_si256(_mm256_slli_epi64(hi, 21), _mm256_srli_epi64(lo, 11)), low);
  const __m256d dh = _mm256_sub_pd(
      _mm256_castsi256_pd(_mm256_or_si256(h, _mm256_set1_epi64x(0x4530000000000000ll))),
      _mm256_set1_pd(0x1p84));
  const __m256d dl = _mm256_sub_pd(
      _mm256_castsi256_pd(_mm256_or_si256(l, _mm256_set1_epi64x(0x4330000000000000ll))),
      _mm256_set1_pd(0x1p52));
  return _mm256_mul_pd(_mm256_add_pd(_mm256_add_pd(dh, dl), _mm256_set1_pd(0.5)),
                       _mm256_set1_pd(0x1p-53));
}

[[gnu::target("avx512f")]] void philox_block_avx512(std::uint64_t seed, std::uint64_t first,
                                                    std::size_t m, int pair, double* even,
                                                    double* odd) {
  alignas(64) std::array<double, kBlock> e, o;
  const __m512i low = _mm512_set1_epi64(0xFFFFFFFFll);
  const __m512i m0 = _mm512_set1_epi64(kPhiloxM0), m1 = _mm512_set1_epi64(kPhiloxM1);
  const __m512i lanes = _mm512_set_epi64(7, 6, 5, 4, 3, 2, 1, 0);

  for (std::size_t i = 0; i < kBlock; i += 8) {
    const __m512i index =
        _mm512_add_epi64(_mm512_set1_epi64(static_cast<long long>(first + i)), lanes);
    __m512i c0 = _mm512_and_si512(index, low);
    __m512i c1 = _mm512_srli_epi64(index, 32);
    __m512i c2 = _mm512_set1_epi64(pair);
    __m512i c3 = _mm512_setzero_si512();
    auto k0 = static_cast<std::uint32_t>(seed);
    auto k1 = static_cast<std::uint32_t>(seed >> 32);
    for (int round = 0; round < 10; ++round) {
      const __m512i p0 = _mm512_mul_epu32(c0, m0);
      const __m512i p1 = _mm512_mul_epu32(c2, m1);
      c0 = _mm512_xor_si512(_mm512_xor_si512(_mm512_srli_epi64(p1, 32), c1), _mm512_set1_epi64(k0));
      c1 = _mm512_and_si512(p1, low);
      c2 = _mm512_xor_si512(_mm512_xor_si512(_mm512_srli_epi64(p0, 32), c3), _mm512_set1_epi64(k1));
      c3 = _mm512_and_si512(p0, low);
      k0 += kPhiloxW0;
      k1 += kPhiloxW1;
    }
    _mm512_store_pd(e.data() + i, unit_avx512(c0, c1));
    _mm512_store_pd(o.data() + i, unit_avx512(c2, c3));
  }
  std::copy_n(e.begin(), m, even);
  std::copy_n(o.begin(), m, odd);
}

[[gnu::target("avx2")]] void philox_block_avx2(std::uint64_t seed, std::uint64_t first,
                                               std::size_t m, int pair, double* even, double* odd) {
  alignas(64) std::array<double, kBlock> e, o;
  const __m256i low = _mm256_set1_epi64x(0xFFFFFFFFll);
  const __m256i m0 = _mm256_set1_epi64x(kPhiloxM0), m1 = _mm256_set1_epi64x(kPhiloxM1);
  const __m256i lanes = _mm256_set_epi64x(3, 2, 1, 0);

  for (std::size_t i = 0; i < kBlock; i += 4) {
    const __m256i index =
        _mm256_add_epi64(_mm256_set1_epi64x(static_cast<long long>(first + i)), lanes);
    __m256i c0 = _mm256_and_si256(index, low);
    __m256i c1 = _mm256_srli_epi64(index, 32);
    __m256i c2 = _mm256_set1_epi64x(pair);
    __m256i c3 = _mm256_setzero_si256();
    auto k0 = static_cast<std::uint32_t>(seed);
    auto k1 = static_cast<std::uint32_t>(seed >> 32);
    for (int round = 0; round < 10; ++round) {
      const __m256i p0 = _mm256_mul_epu32(c0, m0);
      const __m256i p1 = _mm256_mul_epu32(c2, m1);
      c0 =
          _mm256_xor_si256(_mm256_xor_si256(_mm256_srli_epi64(p1, 32), c1), _mm256_set1_epi64x(k0));
      c1 = _mm256_and_si256(p1, low);
      c2 =
          _mm256_xor_si256(_mm256_xor_si256(_mm256_srli_epi64(p0, 32), c3), _mm256_set1_epi64x(k1));
      c3 = _mm256_and_si256(p0, low);
      k0 += kPhiloxW0;
      k1 += kPhiloxW1;
    }
    _mm256_store_pd(e.data() + i, unit_avx2(c0, c1));
    _mm256_store_pd(o.data() + i, unit_avx2(c2, c3));
  }
  std::copy_n(e.begin(), m, even);
  std::copy_n(o.begin(), m, odd);
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#endif

int best_instructions() {
#if defined(PELLUCOR_PHILOX_VECTOR)
  static const int level = __builtin_cpu_supports("avx512f") ? 2
                           : __builtin_cpu_supports("avx2")  ? 1
                                                             : 0;
  return level;
#else
  return 0;
#endif
}

// Philox for a block with the instructions asked for (which the processor has).
void philox_block(std::uint64_t seed, std::uint64_t first, std::size_t m, int pair, double* even,
                  double* odd, VectorInstructions with) {
#if defined(PELLUCOR_PHILOX_VECTOR)
  if (with == VectorInstructions::Avx512) {
    return philox_block_avx512(seed, first, m, pair, even, odd);
  }
  if (with == VectorInstructions::Avx2) return philox_block_avx2(seed, first, m, pair, even, odd);
#endif
  (void)with;
  philox_block_portable(seed, first, m, pair, even, odd);
}

// The fastest the processor runs.
void philox_block(std::uint64_t seed, std::uint64_t first, std::size_t m, int pair, double* even,
                  double* odd) {
  philox_block(seed, first, m, pair, even, odd,
               static_cast<VectorInstructions>(best_instructions()));
}

}  // namespace

bool has_instructions(VectorInstructions with) {
  return static_cast<int>(with) <= best_instructions();
}

void uniform_block(std::uint64_t seed, std::uint64_t first, std::size_t count, int n, double* even,
                   double* odd, std::optional<VectorInstructions> with) {
  if (with && !has_instructions(*with)) {
    throw std::invalid_argument("the processor lacks the vector instructions asked for");
  }
  const VectorInstructions use =
      with.value_or(static_cast<VectorInstructions>(best_instructions()));
  for (std::size_t at = 0; at < count; at += kBlock) {
    const std::size_t m = std::min<std::size_t>(kBlock, count - at);
    philox_block(seed, first + at, m, n >> 1, even + at, odd + at, use);
  }
}

double uniform(std::uint64_t seed, std::uint64_t index, int n) {
  const auto r = philox(seed, index, n >> 1);
  return (n & 1) != 0 ? unit(r[2], r[3]) : unit(r[0], r[1]);
}

Sampler::Sampler(const Problem& problem)
    : module_(problem.module), base_(problem.base), modelUncertainty_(problem.modelUncertainty) {
  const sheet::SheetTable& table = module_->table();
  for (int n : problem.scattering()) {
    const sheet::FieldRow* f = table.field(sheet::text_box(n));
    boxes_.push_back(
        {n, TruncatedLaw::fitted(base_.box(n), problem.scatter[static_cast<std::size_t>(n)], f->lo,
                                 f->hi)});
    boxNumbers_.push_back(n);
  }
  for (int k = 0; k < kTimes; ++k) {
    const double v = modelUncertainty_.cov[static_cast<std::size_t>(k)];
    factorSigma_[static_cast<std::size_t>(k)] = std::sqrt(std::log1p(v * v));
  }
  const auto boxWith = [&table](sheet::BoxRole role) {
    const sheet::FieldRow* f = table.withRole(role);
    return f == nullptr ? 0 : sheet::text_box_number(f->control);
  };
  critical_ = boxWith(sheet::BoxRole::Critical);
  surface_ = boxWith(sheet::BoxRole::Surface);
  age_ = boxWith(sheet::BoxRole::InspectionAge);
  crossing_ = problem.hasVariants() && problem.variant == InitiationVariant::Crossing;
  carbonation_ = table.front == sheet::FrontLaw::Carbonation;
}

const TruncatedLaw* Sampler::law(int n) const {
  for (const Box& b : boxes_) {
    if (b.n == n) return &b.law;
  }
  return nullptr;
}

sheet::SheetInputs Sampler::inputs(std::uint64_t seed, std::uint64_t index) const {
  sheet::SheetInputs in = base_;
  for (const Box& b : boxes_) {
    in.value[static_cast<std::size_t>(b.n)] = b.law.sample(uniform(seed, index, b.n));
  }
  return in;
}

void Sampler::draws(std::uint64_t seed, std::uint64_t index, double* values) const {
  for (const Box& b : boxes_) *values++ = b.law.sample(uniform(seed, index, b.n));
}

double Sampler::modelFactor(std::uint64_t seed, std::uint64_t index, int which) const {
  const double sigma = factorSigma_[static_cast<std::size_t>(which)];
  if (!(sigma > 0)) return 1;
  // Lognormal with mean 1.
  const double z = normal_quantile(uniform(seed, index, kFactorStream + which));
  return std::exp(sigma * z - 0.5 * sigma * sigma);
}

void apply_model_factors(const std::array<double, kTimes>& factors, SampleResult& r) {
  const double ti = r.ti, tc = r.tc, td = r.td;
  const double fi = factors[kInitiation], fc = factors[kCracking], fd = factors[kEnd];
  r.ti = fi * ti;
  if (r.known[kCracking] != TimeKnown::Never) r.tc = r.ti + fc * (tc - ti);
  if (r.known[kEnd] != TimeKnown::Never) {
    r.td = r.known[kCracking] == TimeKnown::Never ? r.ti + fd * (td - ti) : r.tc + fd * (td - tc);
  }
}

void Sampler::applyModelFactors(std::uint64_t seed, std::uint64_t index, SampleResult& r) const {
  if (!modelUncertainty_.any()) return;
  apply_model_factors({modelFactor(seed, index, kInitiation), modelFactor(seed, index, kCracking),
                       modelFactor(seed, index, kEnd)},
                      r);
}

SampleResult Sampler::run(std::uint64_t seed, std::uint64_t index) const {
  SampleResult r = run(inputs(seed, index));
  applyModelFactors(seed, index, r);
  return r;
}

void Sampler::drawBlock(std::uint64_t seed, std::uint64_t first, std::size_t count,
                        double* values) const {
  const std::size_t k = boxes_.size();
  std::array<double, kBlock> u0{}, u1{}, x{};
  for (std::size_t at = 0; at < count; at += kBlock) {
    const std::size_t m = std::min<std::size_t>(kBlock, count - at);
    for (std::size_t j = 0; j < k; ++j) {
      const Box& b = boxes_[j];
      // The box's partner in its pair of streams, when it scatters too: one Philox call
      // serves both.
      const bool paired = (b.n & 1) == 0 && j + 1 < k && boxes_[j + 1].n == b.n + 1;
      // Both streams of the pair come from the same Philox call: the odd one's numbers are
      // those of the box's partner or, for an odd box, the box's own.
      philox_block(seed, first + at, m, b.n >> 1, u0.data(), u1.data());
      b.law.sample((b.n & 1) != 0 ? u1.data() : u0.data(), x.data(), m);
      for (std::size_t i = 0; i < m; ++i) values[(at + i) * k + j] = x[i];
      if (paired) {
        ++j;
        boxes_[j].law.sample(u1.data(), x.data(), m);
        for (std::size_t i = 0; i < m; ++i) values[(at + i) * k + j] = x[i];
      }
    }
  }
}

SampleResult Sampler::run(std::uint64_t seed, std::uint64_t index, sheet::SheetInputs& in,
                          const double* values) const {
  for (const Box& b : boxes_) in.value[static_cast<std::size_t>(b.n)] = *values++;
  SampleResult r = run(in);
  applyModelFactors(seed, index, r);
  return r;
}

SampleResult Sampler::run(const sheet::SheetInputs& in, model::ModelRun* keep) const {
  SampleResult r;
  if (keep != nullptr) *keep = std::monostate{};
  if (const auto failure = module_->check(in)) {
    r.cause.kind = StopCause::Kind::Check;
    r.cause.box = sheet::text_box_number(failure->focus);
    r.t = age_ != 0 ? in.box(age_) : 0;
    // The consistency check refuses a critical concentration at or above the surface one:
    // the chloride at the bar never exceeds the surface concentration, so such a sample never
    // reaches the limit state of initiation, nor the ones after it.
    if (failure->focus == sheet::Control::None && critical_ != 0 && surface_ != 0 &&
        in.box(critical_) >= in.box(surface_)) {
      r.status = SampleStatus::Survived;
      r.known = {TimeKnown::Never, TimeKnown::Never, TimeKnown::Never};
      return r;
    }
    // Any other refusal: nothing is known, the sample may fail at any age.
    r.status = SampleStatus::Rejected;
    r.known = {TimeKnown::Unknown, TimeKnown::Unknown, TimeKnown::Unknown};
    return r;
  }
  if (crossing_) {
    const model::MarineInput mi = modules::MarineSheet::bind(in);
    CrossingRun cr = run_marine_crossing(mi);
    r.t = mi.t;
    if (!cr.out.stop && cr.crossing.kind == Crossing::Kind::NotByLimit) {
      // Below C_cr for as long as the crossing is looked for: initiation, and the limit states
      // after it, can only come later.
      r.cause.kind = StopCause::Kind::NoCrossing;
      r.status = SampleStatus::Stopped;
      r.ti = r.tc = r.td = cr.crossing.age;
      r.known = {TimeKnown::Unknown, TimeKnown::Unknown, TimeKnown::Unknown};
      return r;
    }
    if (!cr.out.stop && cr.crossing.kind == Crossing::Kind::NotFinite) {
      cr.out.stop = model::StopReason::NotFinite;
      cr.out.ti = std::nan("");  // no initiation time is known
    }
    const std::optional<model::StopReason> stop = cr.out.stop;
    model::MarineRun run{mi, std::move(cr.out)};
    finish(run, stop, r);
    if (keep != nullptr) *keep = std::move(run);
    return r;
  }
  if (carbonation_) {
    // The sheet's Calculate without its record: the model on the inputs it binds.
    const model::CarbonationInput ci = modules::CarbonationSheet::bind(in);
    const model::CarbonationRun run{ci, model::run_carbonation(ci)};
    finish(run, run.out.stop, r);
    if (keep != nullptr) *keep = run;
    return r;
  }
  NoSink sink;
  const sheet::CalculationOutcome outcome = module_->calculate(in, sink);
  std::visit([&](const auto& run) { finish(run, outcome.stop, r); }, outcome.run);
  if (keep != nullptr) *keep = outcome.run;
  return r;
}

void run_sample_range(const Sampler& sampler, const RunSettings& settings, std::uint64_t first,
                      std::uint64_t last, Samples& out, RunControl* control) {
  const std::size_t k = sampler.scatteringBoxes().size();
  ParallelOptions options;
  options.threads = std::min(thread_count(settings.threads), kMaxThreads);
  options.chunk = kBlock;
  if (control != nullptr) options.cancel = &control->cancel;
  const ParallelOutcome run = parallel_for(
      last - first,
      [&](std::size_t begin, std::size_t end) {
        if (control != nullptr && control->outerCancel != nullptr && control->outerCancel->load()) {
          control->cancel = true;  // no further block starts; this one does not run
          return;
        }
        const std::uint64_t from = first + begin;
        const std::uint64_t to = first + end;
        sheet::SheetInputs in = sampler.base();      // this block's inputs, changed box by box
        std::vector<double> block((to - from) * k);  // the values drawn for the block
        sampler.drawBlock(settings.seed, from, to - from, block.data());
        for (std::uint64_t i = from; i < to; ++i) {
          const double* values = block.data() + (i - from) * k;
          out.results[i] = sampler.run(settings.seed, i, in, values);
          if (i < kKeptDraws) std::copy(values, values + k, out.draws.begin() + i * k);
        }
        if (control != nullptr) control->done.fetch_add(to - from);
      },
      options);
  // A block that saw the outer flag returned at once: the run is incomplete even when it was
  // the last block parallel_for started.
  if (run.cancelled || (control != nullptr && control->cancel.load())) out.cancelled = true;
  out.threads = std::max(out.threads, run.threads);
  out.refused = std::max(out.refused, run.refused);
}

double target_age(const Samples& samples, const RunSettings& settings) {
  if (settings.targetAge) return *settings.targetAge;
  for (const auto& r : samples.results) {
    if (r.t > 0) return r.t;
  }
  return 0;
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

Samples run_samples(const Problem& problem, const RunSettings& settings, RunControl* control) {
  return run_samples(Sampler(problem), problem, settings, control);
}

Samples run_samples(const Sampler& sampler, const Problem& problem, const RunSettings& settings,
                    RunControl* control) {
  Samples out;
  out.boxes = sampler.scatteringBoxes();
  out.variant = problem.variant;
  out.hasVariants = problem.hasVariants();
  const std::size_t k = out.boxes.size();
  const std::uint64_t n = settings.samples;
  if (!(settings.stopCov > 0)) {
    resize_large(out.results, n);
    out.draws.resize(std::min(n, kKeptDraws) * k);
    run_sample_range(sampler, settings, 0, n, out, control);
    return out;
  }
  // The stopping rule: rounds that double the samples, from 1000, until the CoV of P(t_d <=
  // target age) is below the value asked for. A sample is the same whichever round runs it,
  // so a run that stops at N samples is the run of N samples.
  std::uint64_t done = 0;
  std::uint64_t round = std::min<std::uint64_t>(n, 1000);
  while (done < n) {
    const std::uint64_t last = std::min(n, done + round);
    out.results.resize(last);
    out.draws.resize(std::min(last, kKeptDraws) * k);
    run_sample_range(sampler, settings, done, last, out, control);
    if (out.cancelled) return out;
    done = last;
    if (done < n && stopping_rule_met(out, settings)) {
      out.stoppedByRule = true;
      break;
    }
    round = done;
  }
  return out;
}

}  // namespace pellucor::analysis::mc
