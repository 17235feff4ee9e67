#include "analysis/update/update.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <numeric>

#include "analysis/normal_law.hpp"
#include "analysis/parallel/parallel_for.hpp"
#include "analysis/update/digits.hpp"
#include "analysis/update/importance.hpp"
#include "analysis/update/latent.hpp"
#include "analysis/update/weighted_summary.hpp"
#include "sheet/control_names.hpp"

namespace pellucor::analysis::update {

namespace {

using Refused = Refusal<UpdateRefusal>;

constexpr std::size_t kBlock = 256;
constexpr std::size_t kCurvePoints = 31;
// The 5 % and 95 % points of the inputs are taken over the first draws of weight above 0, at
// most this many (their means and CoVs over all).
constexpr std::size_t kStatisticsDraws = 20000;
// The prior draws weighed first, and the share of them their effective sample size must reach
// for the others to be weighed too.
constexpr std::size_t kPilotDraws = 4000;
constexpr double kPilotShare = 0.3;
// The uniform stream of the errors of the predictive measurements.
constexpr int kPredictiveStream = 3000;

void for_blocks(std::size_t n, unsigned threads, mc::RunControl* control,
                const std::function<void(std::size_t, std::size_t)>& body) {
  ParallelOptions options;
  options.threads = threads;
  options.chunk = kBlock;
  if (control != nullptr) options.cancel = &control->cancel;
  parallel_for(n, body, options);
}

bool cancelled(const mc::RunControl* control) {
  return control != nullptr && control->cancel.load();
}

// The smallest value at which the weight of the values at or below it reaches `target`, by
// selection (Hoare's, with the weights carried): the pairs are reordered.
double weighted_select(std::vector<std::pair<double, double>>& pairs, double target) {
  std::size_t lo = 0, hi = pairs.size();
  while (hi - lo > 1) {
    // The median of three as the pivot; the pairs below it, equal to it, above it.
    const double a = pairs[lo].first, b = pairs[lo + (hi - lo) / 2].first, c = pairs[hi - 1].first;
    const double pivot = std::max(std::min(a, b), std::min(std::max(a, b), c));
    const auto lessEnd = std::partition(pairs.begin() + static_cast<std::ptrdiff_t>(lo),
                                        pairs.begin() + static_cast<std::ptrdiff_t>(hi),
                                        [pivot](const auto& p) { return p.first < pivot; });
    const auto equalEnd = std::partition(lessEnd, pairs.begin() + static_cast<std::ptrdiff_t>(hi),
                                         [pivot](const auto& p) { return p.first == pivot; });
    double below = 0, equal = 0;
    for (auto it = pairs.begin() + static_cast<std::ptrdiff_t>(lo); it != lessEnd; ++it) {
      below += it->second;
    }
    for (auto it = lessEnd; it != equalEnd; ++it) equal += it->second;
    if (below >= target && lessEnd != pairs.begin() + static_cast<std::ptrdiff_t>(lo)) {
      hi = static_cast<std::size_t>(lessEnd - pairs.begin());
    } else if (below + equal >= target) {
      return pivot;
    } else {
      target -= below + equal;
      lo = static_cast<std::size_t>(equalEnd - pairs.begin());
    }
  }
  return lo < pairs.size() ? pairs[lo].first : pairs.back().first;
}

// The 5, 50 and 95 % points of weighted values: the first value at which the weight at or
// below it reaches each share of the total.
std::array<double, 3> five_fifty_ninetyfive(const std::vector<double>& values,
                                            const std::vector<double>& weights) {
  std::array<double, 3> out{};
  out.fill(std::nan(""));
  if (values.empty()) return out;
  std::vector<std::pair<double, double>> pairs(values.size());
  double total = 0;
  for (std::size_t i = 0; i < values.size(); ++i) {
    pairs[i] = {values[i], weights[i]};
    total += weights[i];
  }
  const double shares[3] = {0.05, 0.50, 0.95};
  for (std::size_t q = 0; q < 3; ++q) out[q] = weighted_select(pairs, shares[q] * total);
  return out;
}

// Mean and coefficient of variation of column j of weighted rows, and its 5 % and 95 % points.
void statistics(const std::vector<double>& x, std::size_t d, std::size_t j,
                const std::vector<double>& w, double& mean, double& cov, double& p5, double& p95) {
  double sw = 0, sx = 0;
  std::vector<double> values, weights;
  for (std::size_t i = 0; i < w.size(); ++i) {
    if (!(w[i] > 0)) continue;
    sw += w[i];
    sx += w[i] * x[i * d + j];
    if (values.size() == kStatisticsDraws) continue;
    values.push_back(x[i * d + j]);
    weights.push_back(w[i]);
  }
  mean = sx / sw;
  double sv = 0;
  for (std::size_t i = 0; i < w.size(); ++i) {
    if (w[i] > 0) sv += w[i] * (x[i * d + j] - mean) * (x[i * d + j] - mean);
  }
  cov = mean != 0 ? std::sqrt(sv / sw) / std::fabs(mean) : 0;
  const auto q = five_fifty_ninetyfive(values, weights);
  p5 = q[0];
  p95 = q[2];
}

std::string factor_name(int k) {
  return k == mc::kInitiation ? "factor t_i" : k == mc::kCracking ? "factor t_c" : "factor t_d";
}

std::string factor_label(int k) {
  return k == mc::kInitiation ? "t_i 模型不确定性系数"
         : k == mc::kCracking ? "t_c 模型不确定性系数"
                              : "t_d 模型不确定性系数";
}

// Draws: coordinates, values, log-likelihoods; their log weights as computed (prior times
// likelihood over the proposal, up to a constant), and the same shifted to a largest of 0 with
// the weights themselves.
struct Draws {
  std::vector<double> z, x, ell, rawLogWeight, logWeight, weight;
};

// Measurements beyond the model's value of every prior draw weighed, named.
std::vector<OutOfReach> out_of_reach(const PreparedMeasurements& pm,
                                     const std::vector<double>& high, std::uint64_t examined) {
  std::vector<OutOfReach> out;
  const std::string count = std::to_string(examined);
  std::size_t k = 0;
  for (const auto& dset : pm.depths) {
    const std::string which = "第 " + std::to_string(dset.set + 1) + " 组碳化深度";
    if (std::isfinite(high[k]) && dset.largest > high[k]) {
      out.push_back(
          {which + "的最大读数 " + num(dset.largest) + " mm 超过 " + count + " 个先验样本在 " +
               num(dset.ageYears) + " a 时的模型碳化深度（最大 " + num(high[k]) + " mm）。",
           "carbonation depths " + std::to_string(dset.set + 1) + ": the largest reading, " +
               num(dset.largest) + " mm, exceeds the model's depth at " + num(dset.ageYears) +
               " a of " + count + " prior samples (at most " + num(high[k]) + " mm)"});
    }
    ++k;
  }
  for (const auto& core : pm.cores) {
    for (std::size_t i = 0; i < core.content.size(); ++i, ++k) {
      if (!core.used[i] || !std::isfinite(high[k]) || !(core.content[i] > high[k])) continue;
      out.push_back({"芯样“" + core.name + "”深度 " + num(core.depthMm[i]) + " mm 处的含量 " +
                         num(core.content[i]) + " kg/m^3 高于 " + count +
                         " 个先验样本的模型含量（最大 " + num(high[k]) + " kg/m^3）。",
                     "core '" + core.name + "': the content " + num(core.content[i]) +
                         " kg/m3 at " + num(core.depthMm[i]) + " mm is above the model's of " +
                         count + " prior samples (at most " + num(high[k]) + " kg/m3)"});
    }
  }
  const std::optional<AtInspection> at[2] = {pm.corrosionDepth, pm.crackWidth};
  const char* names[2] = {"检测时钢筋锈蚀深度", "检测时锈胀裂缝宽度"};
  const char* english[2] = {"the corrosion depth", "the crack width"};
  for (std::size_t j = 0; j < 2; ++j, ++k) {
    if (!at[j] || !std::isfinite(high[k]) || !(at[j]->value > high[k])) continue;
    out.push_back({std::string(names[j]) + "实测 " + num(at[j]->value) + " mm 超过 " + count +
                       " 个先验样本的模型值（最大 " + num(high[k]) + " mm）。",
                   std::string(english[j]) + " measured, " + num(at[j]->value) +
                       " mm, exceeds the model's of " + count + " prior samples (at most " +
                       num(high[k]) + " mm)"});
  }
  return out;
}

// Draws [first, first + count) from `proposal` into `post`: coordinates, values, likelihoods
// and log weights (prior times likelihood over the proposal).
void draw_from(const Proposal& proposal, const LatentSpace& space, const Likelihood& likelihood,
               const mc::RunSettings& run, mc::RunControl* control, std::size_t first,
               std::size_t count, Draws& post) {
  const std::size_t d = space.size();
  post.z.resize((first + count) * d);
  post.x.resize((first + count) * d);
  post.ell.resize(first + count);
  post.rawLogWeight.resize(first + count);
  for_blocks(count, run.threads, control, [&](std::size_t begin, std::size_t end) {
    const std::size_t at = first + begin, m = end - begin;
    proposal.draw(run.seed, at, m, post.z.data() + at * d);
    space.values(post.z.data() + at * d, post.x.data() + at * d, m);
    sheet::SheetInputs in = space.base();
    std::array<double, mc::kTimes> factors{};
    for (std::size_t i = at; i < at + m; ++i) {
      const double* zi = post.z.data() + i * d;
      space.apply(post.x.data() + i * d, in, factors);
      post.ell[i] = likelihood(in, factors, nullptr, nullptr);
      post.rawLogWeight[i] = log_standard_normal(zi, d) + post.ell[i] - proposal.logDensity(zi);
    }
  });
}

// The weights of the draws so far from their log weights as computed (the largest 1).
void normalise(Draws& post) {
  double most = -std::numeric_limits<double>::infinity();
  for (double l : post.rawLogWeight) most = std::max(most, l);
  const std::size_t n = post.rawLogWeight.size();
  post.logWeight.resize(n);
  post.weight.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    post.logWeight[i] = post.rawLogWeight[i] - most;
    post.weight[i] = std::exp(post.logWeight[i]);
  }
}

// Importance sampling after the tempered sampler: a fifth of the draws asked for from a Student
// t fitted to its particles, then the t fitted again to those weighted draws (population Monte
// Carlo, Cappé et al., J. Comput. Graph. Stat. 13, 2004) and draws from it until the effective
// sample size reaches the draws asked for, or three times them are drawn. Every draw keeps the
// weight of the proposal it came from. False when cancelled.
bool importance_draws(const LatentSpace& space, const Likelihood& likelihood, const SmcRun& smc,
                      const mc::RunSettings& run, mc::RunControl* control, Draws& post,
                      Diagnostics& diag) {
  const std::size_t d = space.size();
  const std::size_t n = run.samples;
  const std::size_t most = std::min<std::size_t>(3 * n, kMaxUpdateDraws);
  const std::size_t first = std::max<std::size_t>(std::min<std::size_t>(n, 2000), n / 5);
  const Proposal fitted = Proposal::fitted(smc.z, d);
  draw_from(fitted, space, likelihood, run, control, 0, first, post);
  if (cancelled(control)) return false;
  normalise(post);
  const Proposal refined = Proposal::fitted(post.z, d, &post.weight);
  std::size_t drawn = first;
  for (int round = 0; round < 4 && drawn < most; ++round) {
    const double effective = effective_samples(post.weight);
    if (effective >= static_cast<double>(n)) break;
    // As many as the share seen so far says are missing, a little more.
    const double share = std::max(effective / static_cast<double>(drawn), 0.05);
    const auto more =
        static_cast<std::size_t>(std::ceil(1.05 * (static_cast<double>(n) - effective) / share));
    const std::size_t count = std::min(std::max<std::size_t>(more, 1000), most - drawn);
    draw_from(refined, space, likelihood, run, control, drawn, count, post);
    if (cancelled(control)) return false;
    drawn += count;
    normalise(post);
  }
  diag.proposalRounds = drawn > first ? 2 : 1;
  post.z.clear();
  post.z.shrink_to_fit();
  return true;
}

// The mean, CoV and 5 % and 95 % points of an input before the measurements: its law as the
// reliability analysis draws it (the box's own law for a cover its readings updated).
void prior_statistics(const mc::Problem& problem, const Dimension& dim, InputStatistics& st) {
  if (const auto* sigma = std::get_if<double>(&dim.law)) {
    // A model-uncertainty factor: lognormal, mean 1.
    st.mean[0] = 1;
    st.cov[0] = std::sqrt(std::expm1(*sigma * *sigma));
    st.p5[0] = std::exp(*sigma * normal_quantile(0.05) - 0.5 * *sigma * *sigma);
    st.p95[0] = std::exp(*sigma * normal_quantile(0.95) - 0.5 * *sigma * *sigma);
    return;
  }
  const double mean = problem.base.box(dim.box);
  const mc::Scatter& sc = problem.scatter[static_cast<std::size_t>(dim.box)];
  if (!sc.scatters()) {
    st.mean[0] = st.p5[0] = st.p95[0] = mean;
    st.cov[0] = 0;
    return;
  }
  const sheet::FieldRow* f = problem.module->table().field(sheet::text_box(dim.box));
  const auto law = mc::TruncatedLaw::fitted(mean, sc, f->lo, f->hi);
  st.mean[0] = law.mean();
  st.cov[0] = law.cov();
  st.p5[0] = law.sample(0.05);
  st.p95[0] = law.sample(0.95);
}

// The correlations of weighted rows (the identity where nothing was weighed or updated: the
// boxes scatter independently).
std::vector<double> correlations(const std::vector<double>& x, std::size_t d,
                                 const std::vector<double>& w, bool independent) {
  std::vector<double> out(d * d, 0.0);
  for (std::size_t a = 0; a < d; ++a) out[a * d + a] = 1;
  if (independent) return out;
  double sw = 0;
  std::vector<double> mean(d, 0.0);
  for (std::size_t i = 0; i < w.size(); ++i) {
    if (!(w[i] > 0)) continue;
    sw += w[i];
    for (std::size_t j = 0; j < d; ++j) mean[j] += w[i] * x[i * d + j];
  }
  for (double& m : mean) m /= sw;
  std::vector<double> c(d * d, 0.0);
  for (std::size_t i = 0; i < w.size(); ++i) {
    if (!(w[i] > 0)) continue;
    for (std::size_t a = 0; a < d; ++a) {
      const double da = w[i] * (x[i * d + a] - mean[a]);
      for (std::size_t b = 0; b <= a; ++b) c[a * d + b] += da * (x[i * d + b] - mean[b]);
    }
  }
  for (std::size_t a = 0; a < d; ++a) {
    for (std::size_t b = 0; b < a; ++b) {
      const double den = std::sqrt(c[a * d + a] * c[b * d + b]);
      out[a * d + b] = out[b * d + a] = den > 0 ? c[a * d + b] / den : 0.0;
    }
  }
  return out;
}

}  // namespace

std::string_view method_text(Method m) {
  switch (m) {
    case Method::LikelihoodWeighting:
      return "先验样本按似然加权";
    case Method::TemperedImportance:
      return "调温序贯蒙特卡罗定位后验，再以重要性抽样取样";
    case Method::Prior:
      break;
  }
  return "无进入似然的测量：后验样本即先验样本";
}

std::string_view method_english(Method m) {
  switch (m) {
    case Method::LikelihoodWeighting:
      return "likelihood weighting of the prior samples";
    case Method::TemperedImportance:
      return "tempered sequential Monte Carlo to find the posterior, then importance sampling";
    case Method::Prior:
      break;
  }
  return "no measurement enters a likelihood: the prior samples themselves";
}

Outcome<UpdateResult, UpdateRefusal> run_update(const mc::Problem& problem,
                                                const Measurements& measurements,
                                                const UpdateSettings& settings,
                                                mc::RunControl* control) {
  const mc::RunSettings& run = settings.run;
  if (auto e = mc::validate(problem, run)) {
    return Refused{UpdateRefusal::Problem, e->text, e->message};
  }
  if (run.stopCov > 0) {
    return Refused{UpdateRefusal::SampleCount,
                   "按检测数据更新不用停止准则：样本数即先验的样本数和后验要达到的有效样本数。",
                   "an update takes no stopping rule: its samples are the prior's and the "
                   "effective samples its posterior aims at"};
  }
  if (run.samples > kMaxUpdateSamples) {
    return Refused{UpdateRefusal::SampleCount,
                   "按检测数据更新时样本数不能超过 " + std::to_string(kMaxUpdateSamples) + "。",
                   "an update takes at most " + std::to_string(kMaxUpdateSamples) + " samples"};
  }
  auto prepared = prepare(*problem.module, problem.base, measurements);
  if (!prepared) {
    return Refused{UpdateRefusal::Measurements, prepared.refusal().text,
                   prepared.refusal().message};
  }
  UpdateResult out;
  out.measurements = *prepared;
  const PreparedMeasurements& pm = out.measurements;
  const sheet::SheetTable& table = problem.module->table();

  // The cover readings give the cover its own law.
  int coverBox = 0;
  std::optional<TruncatedStudent> coverLaw;
  if (!pm.coverMm.empty()) {
    if (const sheet::FieldRow* f = table.withRole(sheet::BoxRole::Cover)) {
      coverBox = sheet::text_box_number(f->control);
      out.cover = update_cover(pm.coverMm, problem.base.box(coverBox),
                               problem.scatter[static_cast<std::size_t>(coverBox)], f->lo, f->hi);
      coverLaw = out.cover->law;
    }
  }

  // The prior: the reliability analysis itself, with the sampler whose laws the update's
  // latent space and model runs share.
  const mc::Sampler runner(problem);
  const mc::Samples prior = mc::run_samples(runner, problem, run, control);
  if (prior.cancelled || cancelled(control)) {
    return Refused{UpdateRefusal::Cancelled, "已取消。", "cancelled"};
  }
  out.prior = mc::make_report(problem, run, mc::summarize(prior, run));
  std::vector<double> ages;
  for (const auto& p : out.prior.summary.curve) ages.push_back(p.age);

  const LatentSpace space(problem, coverLaw, coverBox, &runner);
  const Likelihood likelihood(*problem.module, pm, &runner);
  const std::size_t d = space.size();
  const std::size_t n = run.samples;
  const std::size_t nObs = likelihood.observables();
  out.priorDraws = n;

  // The sequential sampler, where it runs, starts from the first prior draws.
  SmcSettings smc = settings.smc;
  smc.particles = std::min<std::size_t>(smc.particles, n / std::max(1u, smc.islands));
  const std::size_t smcStart = static_cast<std::size_t>(smc.islands) * smc.particles;

  // The prior draws whose likelihood is weighed: a pilot first, all of them where the pilot's
  // weights say that weighting them may serve. Their values as the reliability analysis draws
  // them, the likelihoods, the samples that cannot give the measurements by reason and the
  // range of the model's values.
  Draws priorDraws;
  priorDraws.x.resize(n * d);
  priorDraws.ell.assign(n, 0.0);
  std::vector<double> low(nObs, INFINITY), high(nObs, -INFINITY);
  std::uint64_t examined = 0;
  auto evaluate = [&](std::size_t from, std::size_t to) {
    const std::size_t blocks = (to - from + kBlock - 1) / kBlock;
    std::vector<std::array<std::uint64_t, kImpossibleKinds>> impossible(blocks);
    std::vector<double> lowest(blocks * nObs, INFINITY), highest(blocks * nObs, -INFINITY);
    for_blocks(to - from, run.threads, control, [&](std::size_t begin, std::size_t end) {
      const std::size_t b = begin / kBlock;
      space.priorBlock(runner, run.seed, from + begin, end - begin,
                       priorDraws.x.data() + (from + begin) * d);
      if (!likelihood.active()) return;
      sheet::SheetInputs in = space.base();
      std::array<double, mc::kTimes> factors{};
      std::vector<double> obs(nObs);
      for (std::size_t i = from + begin; i < from + end; ++i) {
        space.apply(priorDraws.x.data() + i * d, in, factors);
        Impossible why = Impossible::None;
        priorDraws.ell[i] = likelihood(in, factors, obs.data(), &why);
        ++impossible[b][static_cast<std::size_t>(why)];
        for (std::size_t k = 0; k < nObs; ++k) {
          if (!std::isfinite(obs[k])) continue;
          lowest[b * nObs + k] = std::min(lowest[b * nObs + k], obs[k]);
          highest[b * nObs + k] = std::max(highest[b * nObs + k], obs[k]);
        }
      }
    });
    for (std::size_t b = 0; b < blocks; ++b) {
      for (std::size_t k = 1; k < kImpossibleKinds; ++k) out.impossible[k] += impossible[b][k];
      for (std::size_t k = 0; k < nObs; ++k) {
        low[k] = std::min(low[k], lowest[b * nObs + k]);
        high[k] = std::max(high[k], highest[b * nObs + k]);
      }
    }
    if (likelihood.active()) examined += to - from;
  };
  const std::size_t pilot = std::min(n, std::max(kPilotDraws, smcStart));
  bool weighAll = false;
  if (likelihood.active()) {
    evaluate(0, pilot);
    std::vector<double> w(pilot);
    double most = -std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < pilot; ++i) most = std::max(most, priorDraws.ell[i]);
    for (std::size_t i = 0; i < pilot; ++i) w[i] = std::exp(priorDraws.ell[i] - most);
    weighAll = effective_samples(w) >= kPilotShare * static_cast<double>(pilot);
    if (weighAll && pilot < n) evaluate(pilot, n);
  } else if (coverLaw) {
    evaluate(0, n);  // the values only: the cover's law has changed
  }
  out.priorDraws = examined;
  if (cancelled(control)) return Refused{UpdateRefusal::Cancelled, "已取消。", "cancelled"};
  std::uint64_t impossibleAll = 0;
  for (std::size_t k = 1; k < kImpossibleKinds; ++k) impossibleAll += out.impossible[k];
  if (likelihood.active() && impossibleAll == examined) {
    std::string text = "没有一个先验样本能给出这些测量值：",
                english = "no prior sample can give the measurements:";
    for (std::size_t k = 1; k < kImpossibleKinds; ++k) {
      if (out.impossible[k] == 0) continue;
      text += " " + std::to_string(out.impossible[k]) + " 个，" +
              impossible_text(static_cast<Impossible>(k)) + "；";
      english += " " + std::to_string(out.impossible[k]) + " " +
                 impossible_english(static_cast<Impossible>(k)) + ";";
    }
    return Refused{UpdateRefusal::NoPosterior, text + "请检查计算表的输入与测量数据。",
                   english + " check the sheet's inputs and the measurements"};
  }
  out.outOfReach = out_of_reach(pm, high, examined);

  Diagnostics& diag = out.diagnostics;
  double priorEffective = 0;
  if (!likelihood.active()) {
    diag.method = Method::Prior;
  } else {
    if (weighAll) {
      double top = -std::numeric_limits<double>::infinity();
      for (double l : priorDraws.ell) top = std::max(top, l);
      std::vector<double> w(n);
      for (std::size_t i = 0; i < n; ++i) w[i] = std::exp(priorDraws.ell[i] - top);
      priorEffective = effective_samples(w);
    }
    diag.method = priorEffective >= kWeightingShare * static_cast<double>(n)
                      ? Method::LikelihoodWeighting
                      : Method::TemperedImportance;
  }

  // The posterior draws: the prior's, weighted by their likelihood (all 1 where nothing is
  // weighed), or fresh draws by importance sampling.
  Draws post;
  mc::Samples posteriorSamples;
  posteriorSamples.variant = prior.variant;
  posteriorSamples.hasVariants = prior.hasVariants;
  if (diag.method != Method::TemperedImportance) {
    post.x = std::move(priorDraws.x);
    post.rawLogWeight = priorDraws.ell;
    normalise(post);  // without a likelihood every weight is exp(0) = 1
    if (!coverLaw) {
      // The inputs are the reliability analysis's: so are their times.
      posteriorSamples.results = prior.results;
    }
  } else {
    std::vector<double> z0(smcStart * d), scratch(d);
    for (std::size_t i = 0; i < smcStart; ++i) {
      space.prior(run.seed, i, z0.data() + i * d, scratch.data());
    }
    const std::vector<double> ell0(priorDraws.ell.begin(),
                                   priorDraws.ell.begin() + static_cast<std::ptrdiff_t>(smcStart));
    priorDraws = Draws{};
    const Evaluators evaluators = [&]() -> LogLikelihood {
      auto in = std::make_shared<sheet::SheetInputs>(space.base());
      auto x = std::make_shared<std::vector<double>>(d);
      return [&, in, x](const double* z) {
        std::array<double, mc::kTimes> factors{};
        space.values(z, x->data());
        space.apply(x->data(), *in, factors);
        return likelihood(*in, factors, nullptr, nullptr);
      };
    };
    const SmcRun smcRun = temper(d, evaluators, z0, ell0, run.seed, smc, run.threads,
                                 control != nullptr ? &control->cancel : nullptr);
    if (smcRun.cancelled || cancelled(control)) {
      return Refused{UpdateRefusal::Cancelled, "已取消。", "cancelled"};
    }
    if (smcRun.stuck) {
      return Refused{
          UpdateRefusal::NoPosterior,
          "调温序贯蒙特卡罗的粒子中没有能给出这些测量值的样本；请检查计算表的输入与测量数据。",
          "no particle of the tempered sampler can give the measurements; check the "
          "sheet's inputs and the measurements"};
    }
    diag.islands = smc.islands;
    diag.particles = smc.particles;
    diag.stages = smcRun.stages;
    diag.rHat = smcRun.rHat;
    diag.minAcceptance = 1;
    for (const auto& island : smcRun.stages) {
      for (const auto& st : island)
        diag.minAcceptance = std::min(diag.minAcceptance, st.acceptance);
      if (!island.empty()) {
        diag.lastCorrelation = std::max(diag.lastCorrelation, island.back().correlation);
      }
    }
    for (double r : smcRun.rHat) diag.maxRHat = std::max(diag.maxRHat, r);
    if (!smcRun.reached) {
      diag.failures.push_back(
          {"调温序贯蒙特卡罗未在 " + std::to_string(kMaxStages) + " 步内到达后验。",
           "the tempered sampler did not reach the posterior within " + std::to_string(kMaxStages) +
               " stages"});
    }
    if (!importance_draws(space, likelihood, smcRun, run, control, post, diag)) {
      return Refused{UpdateRefusal::Cancelled, "已取消。", "cancelled"};
    }
  }
  const std::size_t draws = post.weight.size();
  diag.draws = draws;

  // The model's times of the posterior draws (where they are not the reliability analysis's).
  if (posteriorSamples.results.empty()) {
    posteriorSamples.results.resize(draws);
    for_blocks(draws, run.threads, control, [&](std::size_t begin, std::size_t end) {
      sheet::SheetInputs in = space.base();
      std::array<double, mc::kTimes> factors{};
      for (std::size_t i = begin; i < end; ++i) {
        space.apply(post.x.data() + i * d, in, factors);
        mc::SampleResult r = runner.run(in);
        if (space.hasFactors()) mc::apply_model_factors(factors, r);
        posteriorSamples.results[i] = r;
      }
    });
    if (cancelled(control)) return Refused{UpdateRefusal::Cancelled, "已取消。", "cancelled"};
  }

  // Diagnostics.
  diag.effective = effective_samples(post.weight);
  if (diag.method != Method::Prior) diag.paretoK = pareto_k(post.logWeight);
  const double needed = std::max(kMinEffective, kMinEffectiveShare * static_cast<double>(draws));
  if (diag.effective < needed) {
    diag.failures.push_back({"有效样本数 " + num(diag.effective, 6) + " 低于 " + num(needed, 6) +
                                 "（样本数 " + std::to_string(draws) + "）：后验由少数样本决定。",
                             "effective samples " + num(diag.effective, 6) + " below " +
                                 num(needed, 6) + " (of " + std::to_string(draws) +
                                 " draws): a few samples decide the posterior"});
  }
  if (diag.paretoK && *diag.paretoK > kMaxParetoK) {
    diag.failures.push_back({"最大权重的 Pareto k = " + num(*diag.paretoK, 3) + " 大于 " +
                                 num(kMaxParetoK) + "：权重的尾部过重，估计不可靠。",
                             "Pareto k of the largest weights " + num(*diag.paretoK, 3) +
                                 " above " + num(kMaxParetoK) +
                                 ": the weights' tail is too heavy for reliable estimates"});
  }
  if (diag.method == Method::TemperedImportance) {
    if (diag.maxRHat > kMaxRHat || std::isnan(diag.maxRHat)) {
      diag.failures.push_back({"各岛的粒子不一致：R̂ 最大 " + num(diag.maxRHat, 4) + "，超过 " +
                                   num(kMaxRHat) + "（后验可能有多个峰或未收敛）。",
                               "the islands disagree: largest R-hat " + num(diag.maxRHat, 4) +
                                   " above " + num(kMaxRHat) +
                                   " (several modes, or not converged)"});
    }
    if (diag.minAcceptance < kMinAcceptance) {
      diag.failures.push_back({"移动步的接受率最低 " + num(diag.minAcceptance, 3) + "，低于 " +
                                   num(kMinAcceptance) + "：粒子几乎未移动。",
                               "lowest acceptance of the moves " + num(diag.minAcceptance, 3) +
                                   " below " + num(kMinAcceptance) +
                                   ": the particles hardly moved"});
    }
  }
  diag.passed = diag.failures.empty();

  // The posterior summary on the prior's ages.
  out.posterior = summarize_weighted(posteriorSamples, post.weight, run, ages);

  // The inputs: their laws before the measurements, and the weighted posterior draws (the
  // prior's own figures where nothing changed them).
  const bool unchanged = diag.method == Method::Prior && !coverLaw;
  for (std::size_t j = 0; j < d; ++j) {
    const Dimension& dim = space.dimensions()[j];
    InputStatistics st;
    st.box = dim.box;
    st.factor = dim.factor;
    if (dim.box != 0) {
      const sheet::FieldRow* f = table.field(sheet::text_box(dim.box));
      st.name = std::string(sheet::control_name(f->control)) + " (" + std::string(f->alias) + ")";
      st.label = std::string(f->label);
    } else {
      st.name = factor_name(dim.factor);
      st.label = factor_label(dim.factor);
    }
    prior_statistics(problem, dim, st);
    if (unchanged) {
      st.mean[1] = st.mean[0];
      st.cov[1] = st.cov[0];
      st.p5[1] = st.p5[0];
      st.p95[1] = st.p95[0];
    } else {
      statistics(post.x, d, j, post.weight, st.mean[1], st.cov[1], st.p5[1], st.p95[1]);
    }
    out.inputs.push_back(std::move(st));
  }
  out.correlation = correlations(post.x, d, post.weight, unchanged);

  // The posterior predictive curves, from the first draws of weight above 0; the prior's from
  // the first prior draws.
  const std::size_t curvePrior = std::min<std::size_t>(settings.curveDraws, n);
  Draws curveDraws;
  curveDraws.x.resize(curvePrior * d);
  space.priorBlock(runner, run.seed, 0, curvePrior, curveDraws.x.data());
  const std::vector<double> unit(curvePrior, 1.0);
  auto firstDraws = [&](const std::vector<double>& w) {
    std::vector<std::size_t> idx;
    for (std::size_t i = 0; i < w.size() && idx.size() < settings.curveDraws; ++i) {
      if (w[i] > 0) idx.push_back(i);
    }
    return idx;
  };
  const std::vector<std::size_t> priorIdx = firstDraws(unit);
  const std::vector<std::size_t> postIdx = firstDraws(post.weight);
  const SheetLaw law(*problem.module);
  sheet::SheetInputs in = space.base();
  std::array<double, mc::kTimes> factors{};
  if (!pm.depths.empty()) {
    // The model's depth k sqrt(t) rises with k: its points are sqrt(t) times those of k, and
    // those of a new reading sqrt(t) times those of k times the error.
    const PreparedDepths& first = pm.depths.front();
    auto points = [&](const Draws& draws, const std::vector<double>& w,
                      const std::vector<std::size_t>& idx, bool withError) {
      std::vector<double> k, kw;
      for (std::size_t i : idx) {
        space.apply(draws.x.data() + i * d, in, factors);
        double v = law.carbonationCoefficient(in);
        if (withError) {
          const double z = normal_quantile(mc::uniform(run.seed, i, kPredictiveStream));
          v *= std::exp(first.sigma * z - 0.5 * first.sigma * first.sigma);
        }
        k.push_back(v);
        kw.push_back(w[i]);
      }
      return five_fifty_ninetyfive(k, kw);
    };
    const auto kPrior = points(curveDraws, unit, priorIdx, false);
    const auto kPost = points(post, post.weight, postIdx, false);
    const auto kMeasured = points(post, post.weight, postIdx, true);
    double last = 0;
    for (const auto& dset : pm.depths) last = std::max(last, dset.ageYears);
    last = std::max({1.5 * last, mc::target_age(prior, run), 1.0});
    PredictiveCurve c;
    c.kind = PredictiveCurve::Kind::DepthAgainstAge;
    for (std::size_t g = 0; g < kCurvePoints; ++g) {
      PredictivePoint p;
      p.at = last * static_cast<double>(g) / static_cast<double>(kCurvePoints - 1);
      const double r = std::sqrt(p.at);
      for (int q = 0; q < 3; ++q) {
        p.prior[q] = r * kPrior[q];
        p.posterior[q] = r * kPost[q];
        p.measured[q] = r * kMeasured[q];
      }
      c.points.push_back(p);
    }
    for (std::size_t s = 0; s < measurements.depths.size(); ++s) {
      for (double v : measurements.depths[s].depthMm) {
        c.measured.push_back({measurements.depths[s].ageYears, v});
        c.used.push_back(true);
      }
    }
    out.curves.push_back(std::move(c));
  }
  for (const auto& core : pm.cores) {
    double deepest = 0;
    for (double x : core.depthMm) deepest = std::max(deepest, x);
    const double lastDepth = 1.25 * deepest;
    auto profile = [&](const Draws& draws, const std::vector<double>& w,
                       const std::vector<std::size_t>& idx, bool withError) {
      std::vector<std::vector<double>> at(kCurvePoints);
      std::vector<double> aw;
      for (std::size_t i : idx) {
        space.apply(draws.x.data() + i * d, in, factors);
        const auto l = law.chlorideLaw(in);
        if (!std::holds_alternative<ChlorideLaw>(l)) continue;
        const ChlorideLaw& cl = std::get<ChlorideLaw>(l);
        const double z =
            withError ? normal_quantile(mc::uniform(run.seed, i, kPredictiveStream + 1)) : 0.0;
        for (std::size_t g = 0; g < kCurvePoints; ++g) {
          const double depth = lastDepth * static_cast<double>(g) / (kCurvePoints - 1);
          at[g].push_back(cl.at(depth / 1000, core.ageYears) + core.background + core.sd * z);
        }
        aw.push_back(w[i]);
      }
      std::vector<std::array<double, 3>> q(kCurvePoints);
      for (std::size_t g = 0; g < kCurvePoints; ++g) q[g] = five_fifty_ninetyfive(at[g], aw);
      return q;
    };
    const auto cPrior = profile(curveDraws, unit, priorIdx, false);
    const auto cPost = profile(post, post.weight, postIdx, false);
    const auto cMeasured = profile(post, post.weight, postIdx, true);
    PredictiveCurve c;
    c.kind = PredictiveCurve::Kind::ProfileAtAge;
    c.name = core.name;
    c.age = core.ageYears;
    for (std::size_t g = 0; g < kCurvePoints; ++g) {
      PredictivePoint p;
      p.at = lastDepth * static_cast<double>(g) / (kCurvePoints - 1);
      p.prior = cPrior[g];
      p.posterior = cPost[g];
      p.measured = cMeasured[g];
      c.points.push_back(p);
    }
    for (std::size_t i = 0; i < core.depthMm.size(); ++i) {
      c.measured.push_back({core.depthMm[i], core.content[i]});
      c.used.push_back(core.used[i]);
    }
    out.curves.push_back(std::move(c));
  }
  return out;
}

}  // namespace pellucor::analysis::update
