#include "analysis/mc/engine.hpp"

#include <Random123/philox.h>

#include <algorithm>

#include "analysis/parallel/parallel_for.hpp"
#include "analysis/timeline.hpp"

namespace pellucor::analysis::mc {

namespace {

class NoSink final : public sheet::CalculationSink {
 public:
  void passStarted(double) override {}
  void passFinished(const std::vector<std::string>&) override {}
  bool wantsReport() const override { return false; }  // the numbers are all a sample needs
};

// The uniform number in (0, 1) of box n in sample `index`: Philox 4x32-10 keyed by the seed,
// with the counter made of the sample index and the box number, so that a box draws the same
// numbers whichever other boxes scatter. 53 random bits, centred in their interval.
double uniform(std::uint64_t seed, std::uint64_t index, int n) {
  using Philox = r123::Philox4x32;
  const Philox::key_type key = {
      {static_cast<std::uint32_t>(seed), static_cast<std::uint32_t>(seed >> 32)}};
  const Philox::ctr_type ctr = {{static_cast<std::uint32_t>(index),
                                 static_cast<std::uint32_t>(index >> 32),
                                 static_cast<std::uint32_t>(n), 0}};
  const Philox::ctr_type r = Philox()(ctr, key);
  const std::uint64_t bits = (static_cast<std::uint64_t>(r[0]) << 32 | r[1]) >> 11;
  return (static_cast<double>(bits) + 0.5) * 0x1p-53;
}

constexpr std::uint64_t kBlock = 256;
// More threads than this only add switching; the samples are the same with any count.
constexpr unsigned kMaxThreads = 64;

}  // namespace

Sampler::Sampler(const Problem& problem) : module_(problem.module), base_(problem.base) {
  const sheet::SheetTable& table = module_->table();
  for (int n : problem.scattering()) {
    const sheet::FieldRow* f = table.field(sheet::text_box(n));
    boxes_.push_back({n, TruncatedLaw(base_.box(n), problem.scatter[static_cast<std::size_t>(n)],
                                      f->lo, f->hi)});
  }
}

sheet::SheetInputs Sampler::inputs(std::uint64_t seed, std::uint64_t index) const {
  sheet::SheetInputs in = base_;
  for (const Box& b : boxes_) {
    in.value[static_cast<std::size_t>(b.n)] = b.law.sample(uniform(seed, index, b.n));
  }
  return in;
}

SampleResult Sampler::run(std::uint64_t seed, std::uint64_t index) const {
  return run(inputs(seed, index));
}

SampleResult Sampler::run(const sheet::SheetInputs& in) const {
  SampleResult r;
  if (module_->check(in)) {
    r.status = SampleStatus::Rejected;
    return r;
  }
  NoSink sink;
  const sheet::CalculationOutcome outcome = module_->calculate(in, sink);
  const auto tl = timeline(outcome.run);
  if (outcome.stop || !tl) {
    r.status = SampleStatus::Stopped;
    return r;
  }
  r.ti = tl->ti;
  r.tc = tl->prop.tc;
  r.td = tl->prop.td;
  r.t = tl->t;
  return r;
}

Samples run_samples(const Problem& problem, const RunSettings& settings, RunControl* control) {
  const Sampler sampler(problem);
  Samples out;
  out.results.resize(settings.samples);
  ParallelOptions options;
  options.threads = std::min(thread_count(settings.threads), kMaxThreads);
  options.chunk = kBlock;
  if (control != nullptr) options.cancel = &control->cancel;
  const ParallelOutcome run = parallel_for(
      settings.samples,
      [&](std::size_t first, std::size_t last) {
        for (std::size_t i = first; i < last; ++i) out.results[i] = sampler.run(settings.seed, i);
        if (control != nullptr) control->done.fetch_add(last - first);
      },
      options);
  out.cancelled = run.cancelled;
  out.threads = run.threads;
  out.refused = run.refused;
  return out;
}

}  // namespace pellucor::analysis::mc
