#include "analysis/update/update.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <numeric>

#include "analysis/parallel/parallel_for.hpp"
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

std::string num(double v, int digits = 4) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%.*g", digits, v);
  return buf;
}

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

// The draws one evaluates: coordinates, values and weights, and the workspace of a thread.
struct Draws {
  std::vector<double> z, x, ell, logWeight, weight;
};

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
    for (const auto& f : table.fields) {
      if (f.alias != "cover") continue;
      coverBox = sheet::text_box_number(f.control);
      out.cover = update_cover(pm.coverMm, problem.base.box(coverBox),
                               problem.scatter[static_cast<std::size_t>(coverBox)], f.lo, f.hi);
      coverLaw = out.cover->law;
    }
  }

  // The prior: the reliability analysis itself.
  const mc::Samples prior = mc::run_samples(problem, run, control);
  if (prior.cancelled || cancelled(control)) {
    return Refused{UpdateRefusal::Cancelled, "已取消。", "cancelled"};
  }
  out.prior = mc::make_report(problem, run, mc::summarize(prior, run));
  std::vector<double> ages;
  for (const auto& p : out.prior.summary.curve) ages.push_back(p.age);

  const LatentSpace space(problem, coverLaw, coverBox);
  const mc::Sampler runner(problem);
  const Likelihood likelihood(*problem.module, pm, &runner);
  const std::size_t d = space.size();
  const std::size_t n = run.samples;
  const std::size_t nObs = likelihood.observables();
  out.priorDraws = n;

  // The sequential sampler, where it runs, starts from the first prior draws.
  SmcSettings smc = settings.smc;
  smc.particles = std::min<std::size_t>(smc.particles, n / std::max(1u, smc.islands));
  const std::size_t smcStart = static_cast<std::size_t>(smc.islands) * smc.particles;

  // The prior draws, their likelihoods and the model values they give the measurements.
  Draws priorDraws;
  priorDraws.z.resize(smcStart * d);
  priorDraws.x.resize(n * d);
  {
    std::vector<double> scratch(d);
    for (std::size_t i = 0; i < smcStart; ++i) {
      space.prior(run.seed, i, priorDraws.z.data() + i * d, scratch.data());
    }
  }
  priorDraws.ell.assign(n, 0.0);
  for_blocks(n, run.threads, control, [&](std::size_t begin, std::size_t end) {
    space.priorBlock(runner, run.seed, begin, end - begin, priorDraws.x.data() + begin * d);
  });
  // The likelihoods of prior draws [from, to), with the samples that cannot give the
  // measurements counted by reason and the range of the model's values.
  std::vector<double> low(nObs, INFINITY), high(nObs, -INFINITY);
  std::uint64_t examined = 0;
  auto evaluate = [&](std::size_t from, std::size_t to) {
    const std::size_t blocks = (to - from + kBlock - 1) / kBlock;
    std::vector<std::array<std::uint64_t, kImpossibleKinds>> impossible(blocks);
    std::vector<double> lowest(blocks * nObs, INFINITY), highest(blocks * nObs, -INFINITY);
    for_blocks(to - from, run.threads, control, [&](std::size_t begin, std::size_t end) {
      const std::size_t b = begin / kBlock;
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
    examined += to - from;
  };
  // A pilot first: where its weights already say that weighting the prior samples cannot
  // serve, the others are not weighed.
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
  }
  out.priorDraws = examined;
  if (cancelled(control)) return Refused{UpdateRefusal::Cancelled, "已取消。", "cancelled"};
  std::uint64_t impossibleAll = 0;
  for (int k = 1; k < kImpossibleKinds; ++k)
    impossibleAll += out.impossible[static_cast<std::size_t>(k)];
  if (likelihood.active() && impossibleAll == examined) {
    std::string text = "没有一个先验样本能给出这些测量值：",
                english = "no prior sample can give the measurements:";
    for (int k = 1; k < kImpossibleKinds; ++k) {
      if (out.impossible[static_cast<std::size_t>(k)] == 0) continue;
      text += " " + std::to_string(out.impossible[static_cast<std::size_t>(k)]) + " 个，" +
              impossible_text(static_cast<Impossible>(k)) + "；";
      english += " " + std::to_string(out.impossible[static_cast<std::size_t>(k)]) + " " +
                 impossible_english(static_cast<Impossible>(k)) + ";";
    }
    return Refused{UpdateRefusal::NoPosterior, text + "请检查计算表的输入与测量数据。",
                   english + " check the sheet's inputs and the measurements"};
  }

  // Measurements beyond every prior sample's model value, named.
  {
    std::size_t k = 0;
    for (const auto& dset : pm.depths) {
      const std::string which = "第 " + std::to_string(dset.set + 1) + " 组碳化深度";
      if (std::isfinite(high[k]) && dset.largest > high[k]) {
        out.outOfReach.push_back(
            {which + "的最大读数 " + num(dset.largest) + " mm 超过 " + std::to_string(examined) +
                 " 个先验样本在 " + num(dset.ageYears) + " a 时的模型碳化深度（最大 " +
                 num(high[k]) + " mm）。",
             "carbonation depths " + std::to_string(dset.set + 1) + ": the largest reading, " +
                 num(dset.largest) + " mm, exceeds the model's depth at " + num(dset.ageYears) +
                 " a of " + std::to_string(examined) + " prior samples (at most " + num(high[k]) +
                 " mm)"});
      }
      ++k;
    }
    for (const auto& core : pm.cores) {
      for (std::size_t i = 0; i < core.content.size(); ++i, ++k) {
        if (!core.used[i] || !std::isfinite(high[k]) || !(core.content[i] > high[k])) continue;
        out.outOfReach.push_back(
            {"芯样“" + core.name + "”深度 " + num(core.depthMm[i]) + " mm 处的含量 " +
                 num(core.content[i]) + " kg/m^3 高于 " + std::to_string(examined) +
                 " 个先验样本的模型含量（最大 " + num(high[k]) + " kg/m^3）。",
             "core '" + core.name + "': the content " + num(core.content[i]) + " kg/m3 at " +
                 num(core.depthMm[i]) + " mm is above the model's of " + std::to_string(examined) +
                 " prior samples (at most " + num(high[k]) + " kg/m3)"});
      }
    }
    const std::optional<AtInspection> at[2] = {pm.corrosionDepth, pm.crackWidth};
    const char* names[2] = {"检测时钢筋锈蚀深度", "检测时锈胀裂缝宽度"};
    const char* english[2] = {"the corrosion depth", "the crack width"};
    for (int j = 0; j < 2; ++j, ++k) {
      if (!at[j] || !std::isfinite(high[k]) || !(at[j]->value > high[k])) continue;
      out.outOfReach.push_back({std::string(names[j]) + "实测 " + num(at[j]->value) + " mm 超过 " +
                                    std::to_string(examined) + " 个先验样本的模型值（最大 " +
                                    num(high[k]) + " mm）。",
                                std::string(english[j]) + " measured, " + num(at[j]->value) +
                                    " mm, exceeds the model's of " + std::to_string(examined) +
                                    " prior samples (at most " + num(high[k]) + " mm)"});
    }
  }

  // The weights of the prior draws (where they were all weighed).
  double top = -std::numeric_limits<double>::infinity();
  for (double l : priorDraws.ell) top = std::max(top, l);
  priorDraws.logWeight.resize(n);
  priorDraws.weight.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    priorDraws.logWeight[i] = priorDraws.ell[i] - top;
    priorDraws.weight[i] = std::exp(priorDraws.logWeight[i]);
  }
  const double priorEffective =
      likelihood.active() && !weighAll ? 0.0 : effective_samples(priorDraws.weight);

  Diagnostics& diag = out.diagnostics;
  diag.draws = n;
  Draws post;
  mc::Samples posteriorSamples;
  posteriorSamples.variant = prior.variant;
  posteriorSamples.hasVariants = prior.hasVariants;
  bool samePriorInputs = !coverLaw.has_value();
  if (!likelihood.active()) {
    diag.method = Method::Prior;
  } else if (priorEffective >= kWeightingShare * static_cast<double>(n)) {
    diag.method = Method::LikelihoodWeighting;
  } else {
    diag.method = Method::TemperedImportance;
  }
  if (diag.method != Method::TemperedImportance) {
    post = priorDraws;
  } else {
    samePriorInputs = false;
    const std::vector<double> ell0(priorDraws.ell.begin(),
                                   priorDraws.ell.begin() + static_cast<std::ptrdiff_t>(smcStart));
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
    const SmcRun smcRun = temper(d, evaluators, priorDraws.z, ell0, run.seed, smc, run.threads,
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
      for (const auto& s : island) diag.minAcceptance = std::min(diag.minAcceptance, s.acceptance);
      if (!island.empty())
        diag.lastCorrelation = std::max(diag.lastCorrelation, island.back().correlation);
    }
    for (double r : smcRun.rHat) diag.maxRHat = std::max(diag.maxRHat, r);
    if (!smcRun.reached) {
      diag.failures.push_back("调温序贯蒙特卡罗未在 " + std::to_string(kMaxStages) +
                              " 步内到达后验。");
      diag.failuresEnglish.push_back("the tempered sampler did not reach the posterior within " +
                                     std::to_string(kMaxStages) + " stages");
    }
    // The final draws from a Student t fitted to the particles, with the prior's share.
    const Proposal proposal = Proposal::fitted(smcRun.z, d);
    post.z.resize(n * d);
    post.x.resize(n * d);
    post.ell.resize(n);
    post.logWeight.resize(n);
    for_blocks(n, run.threads, control, [&](std::size_t begin, std::size_t end) {
      sheet::SheetInputs in = space.base();
      std::array<double, mc::kTimes> factors{};
      proposal.draw(run.seed, begin, end - begin, post.z.data() + begin * d);
      space.values(post.z.data() + begin * d, post.x.data() + begin * d, end - begin);
      for (std::size_t i = begin; i < end; ++i) {
        double* zi = post.z.data() + i * d;
        double* xi = post.x.data() + i * d;
        space.apply(xi, in, factors);
        post.ell[i] = likelihood(in, factors, nullptr, nullptr);
        post.logWeight[i] = log_standard_normal(zi, d) + post.ell[i] - proposal.logDensity(zi);
      }
    });
    if (cancelled(control)) return Refused{UpdateRefusal::Cancelled, "已取消。", "cancelled"};
    double most = -std::numeric_limits<double>::infinity();
    for (double l : post.logWeight) most = std::max(most, l);
    post.weight.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
      post.logWeight[i] -= most;
      post.weight[i] = std::exp(post.logWeight[i]);
    }
  }

  // The model's times of the posterior draws: the prior samples themselves where their inputs
  // are the reliability analysis's, else the sheet's calculation on each draw.
  if (samePriorInputs) {
    posteriorSamples.results = prior.results;
  } else {
    posteriorSamples.results.resize(n);
    for_blocks(n, run.threads, control, [&](std::size_t begin, std::size_t end) {
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
  const double needed = std::max(kMinEffective, kMinEffectiveShare * static_cast<double>(n));
  if (diag.effective < needed) {
    diag.failures.push_back("有效样本数 " + num(diag.effective, 6) + " 低于 " + num(needed, 6) +
                            "（样本数 " + std::to_string(n) + "）：后验由少数样本决定。");
    diag.failuresEnglish.push_back("effective samples " + num(diag.effective, 6) + " below " +
                                   num(needed, 6) + " (of " + std::to_string(n) +
                                   " draws): a few samples decide the posterior");
  }
  if (diag.paretoK && *diag.paretoK > kMaxParetoK) {
    diag.failures.push_back("最大权重的 Pareto k = " + num(*diag.paretoK, 3) + " 大于 " +
                            num(kMaxParetoK) + "：权重的尾部过重，估计不可靠。");
    diag.failuresEnglish.push_back("Pareto k of the largest weights " + num(*diag.paretoK, 3) +
                                   " above " + num(kMaxParetoK) +
                                   ": the weights' tail is too heavy for reliable estimates");
  }
  if (diag.method == Method::TemperedImportance) {
    if (diag.maxRHat > kMaxRHat || std::isnan(diag.maxRHat)) {
      diag.failures.push_back("各岛的粒子不一致：R̂ 最大 " + num(diag.maxRHat, 4) + "，超过 " +
                              num(kMaxRHat) + "（后验可能有多个峰或未收敛）。");
      diag.failuresEnglish.push_back("the islands disagree: largest R-hat " + num(diag.maxRHat, 4) +
                                     " above " + num(kMaxRHat) +
                                     " (several modes, or not converged)");
    }
    if (diag.minAcceptance < kMinAcceptance) {
      diag.failures.push_back("移动步的接受率最低 " + num(diag.minAcceptance, 3) + "，低于 " +
                              num(kMinAcceptance) + "：粒子几乎未移动。");
      diag.failuresEnglish.push_back("lowest acceptance of the moves " +
                                     num(diag.minAcceptance, 3) + " below " + num(kMinAcceptance) +
                                     ": the particles hardly moved");
    }
  }
  diag.passed = diag.failures.empty();

  // The posterior summary on the prior's ages.
  out.posterior = summarize_weighted(posteriorSamples, post.weight, run, ages);

  // The inputs, prior and posterior.
  const std::vector<double> unit(n, 1.0);
  for (std::size_t j = 0; j < d; ++j) {
    const Dimension& dim = space.dimensions()[j];
    InputStatistics s;
    s.box = dim.box;
    s.factor = dim.factor;
    if (dim.box != 0) {
      const sheet::FieldRow* f = table.field(sheet::text_box(dim.box));
      s.name = std::string(sheet::control_name(f->control)) + " (" + std::string(f->alias) + ")";
      s.label = std::string(f->label);
    } else {
      s.name = factor_name(dim.factor);
      s.label = factor_label(dim.factor);
    }
    if (coverLaw && dim.box == coverBox) {
      // The cover before its readings: the reliability analysis's law of the box (its moments
      // and points in closed form), or the sheet's value where it does not scatter.
      const double mean = problem.base.box(coverBox);
      const mc::Scatter& sc = problem.scatter[static_cast<std::size_t>(coverBox)];
      if (sc.scatters()) {
        const sheet::FieldRow* f = table.field(sheet::text_box(coverBox));
        const auto law = mc::TruncatedLaw::fitted(mean, sc, f->lo, f->hi);
        s.mean[0] = law.mean();
        s.cov[0] = law.cov();
        s.p5[0] = law.sample(0.05);
        s.p95[0] = law.sample(0.95);
      } else {
        s.mean[0] = s.p5[0] = s.p95[0] = mean;
      }
    } else {
      statistics(priorDraws.x, d, j, unit, s.mean[0], s.cov[0], s.p5[0], s.p95[0]);
    }
    statistics(post.x, d, j, post.weight, s.mean[1], s.cov[1], s.p5[1], s.p95[1]);
    out.inputs.push_back(std::move(s));
  }
  out.correlation.assign(d * d, 0.0);
  {
    double sw = 0;
    std::vector<double> mean(d, 0.0);
    for (std::size_t i = 0; i < n; ++i) {
      if (!(post.weight[i] > 0)) continue;
      sw += post.weight[i];
      for (std::size_t j = 0; j < d; ++j) mean[j] += post.weight[i] * post.x[i * d + j];
    }
    for (double& m : mean) m /= sw;
    std::vector<double> c(d * d, 0.0);
    for (std::size_t i = 0; i < n; ++i) {
      if (!(post.weight[i] > 0)) continue;
      for (std::size_t a = 0; a < d; ++a) {
        for (std::size_t b = 0; b < d; ++b) {
          c[a * d + b] +=
              post.weight[i] * (post.x[i * d + a] - mean[a]) * (post.x[i * d + b] - mean[b]);
        }
      }
    }
    for (std::size_t a = 0; a < d; ++a) {
      for (std::size_t b = 0; b < d; ++b) {
        const double den = std::sqrt(c[a * d + a] * c[b * d + b]);
        out.correlation[a * d + b] = den > 0 ? c[a * d + b] / den : (a == b ? 1.0 : 0.0);
      }
    }
  }

  // The posterior predictive curves, from the first draws of weight above 0.
  auto firstDraws = [&](const std::vector<double>& w) {
    std::vector<std::size_t> idx;
    for (std::size_t i = 0; i < n && idx.size() < settings.curveDraws; ++i) {
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
          const double z = mc::normal_quantile(mc::uniform(run.seed, i, kPredictiveStream));
          v *= std::exp(first.sigma * z - 0.5 * first.sigma * first.sigma);
        }
        k.push_back(v);
        kw.push_back(w[i]);
      }
      return five_fifty_ninetyfive(k, kw);
    };
    const auto kPrior = points(priorDraws, unit, priorIdx, false);
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
            withError ? mc::normal_quantile(mc::uniform(run.seed, i, kPredictiveStream + 1)) : 0.0;
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
    const auto cPrior = profile(priorDraws, unit, priorIdx, false);
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
