#include "analysis/assess/reliability_design.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <optional>
#include <stdexcept>

#include "analysis/normal_law.hpp"
#include "analysis/text/digits.hpp"
#include "sheet/control_names.hpp"
#include "sheet/number_form.hpp"

namespace pellucor::analysis::assess {

namespace {

using Refused = Refusal<DesignRefusal>;

std::string num(double v) {
  return text::num(v, 5);
}

std::string num2(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2g", v);
  return buf;
}

std::string num3(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.3g", v);
  return buf;
}

// The kinds of problem errors that hold whatever value the solved box takes.
bool whole_problem_error(const mc::ProblemError& e, int box) {
  using Kind = mc::ProblemError::Kind;
  switch (e.kind) {
    case Kind::SheetCheck:
      return false;  // the sheet's own check: each value is tried
    case Kind::OutOfRange:
    case Kind::BadDistribution:
    case Kind::EmptyBox:
    case Kind::NegativeCov:
      return e.box != box;
    default:
      return true;
  }
}

}  // namespace

Outcome<BetaResponse, DesignRefusal> BetaResponse::make(const ReliabilityDesignRequest& r) {
  if (r.module == nullptr) throw std::invalid_argument("a design needs a sheet");
  const sheet::SheetTable& table = r.module->table();
  const auto checked = design_box(table, r.box, r.limitState, r.targetLife);
  if (!checked) return checked.refusal();
  const sheet::FieldRow* row = *checked;
  if (!std::isfinite(r.targetBeta)) {
    return Refused{DesignRefusal::BadTarget, "目标可靠指标须为数。",
                   "the target reliability index must be a number"};
  }

  // The member typed with the box at the middle of its range: what Calculate would read.
  std::vector<batch::Entry> entries;
  for (const auto& e : r.member) {
    if (e.control != row->control) entries.push_back(e);
  }
  const double middle = (row->lo + row->hi) / 2;
  entries.push_back({row->control, sheet::general_digits(middle, 15)});
  const TypedMember typed = type_member(*r.module, entries);
  if (std::find(typed.disabled.begin(), typed.disabled.end(), row->control) !=
      typed.disabled.end()) {
    return Refused{
        DesignRefusal::DisabledBox,
        "“" + std::string(row->label) + "”该框被构件的另一输入禁用（二选一），其值未能输入。",
        std::string(row->alias) +
            ": the box is disabled by another input of the member (either-or)"};
  }
  if (typed.message) {
    return Refused{DesignRefusal::NoResult, "构件的输入未被表格接受：" + typed.message->text,
                   "the sheet refuses the member's input (" +
                       std::string(sheet::control_name(typed.message->control)) +
                       "): " + typed.message->text};
  }

  BetaResponse f;
  f.module_ = r.module;
  f.row_ = row;
  f.limitState_ = r.limitState;
  f.scatter_ = r.scatter;
  f.base_ = typed.inputs;
  f.control_ = r.control;
  f.settings_.samples = r.samples;
  f.settings_.seed = r.seed;
  f.settings_.threads = r.threads;
  f.settings_.targetAge = r.targetLife;
  f.settings_.*limit_state(r.limitState).runTarget = r.targetBeta;
  sheet::SheetInputs probe = f.base_;
  const int n = sheet::text_box_number(row->control);
  probe.value[static_cast<std::size_t>(n)] = middle;
  if (auto e = mc::validate(member_problem(*r.module, probe, f.scatter_), f.settings_);
      e && whole_problem_error(*e, n)) {
    return Refused{DesignRefusal::BadScatter, e->text, e->message};
  }
  return f;
}

BetaEvaluation BetaResponse::evaluate(double value) const {
  BetaEvaluation b;
  b.evaluation.value = value;
  sheet::SheetInputs in = base_;
  in.value[static_cast<std::size_t>(sheet::text_box_number(row_->control))] = value;
  const mc::Problem problem = member_problem(*module_, in, scatter_);
  if (auto e = mc::validate(problem, settings_)) {
    b.evaluation.failure = e->text;
    b.evaluation.failureEnglish = e->message;
    return b;
  }
  const mc::Samples samples = mc::run_samples(problem, settings_, control_);
  if (samples.cancelled) {
    cancelled_ = true;
    b.evaluation.failure = "已取消";
    b.evaluation.failureEnglish = "cancelled";
    return b;
  }
  const mc::Summary summary = mc::summarize(samples, settings_);
  const auto k = static_cast<std::size_t>(mc_time(limitState_));
  b.index = summary.atTarget.index[k];
  b.p = summary.atTarget.p[k];
  b.failures = summary.atTarget.failures[k];
  b.samples = summary.samples;
  b.evaluation.result = b.index.value;
  return b;
}

MonteCarloError answer_error(const std::vector<Evaluation>& exact, double answer, double span,
                             double p, std::uint64_t samples, double beta) {
  MonteCarloError e;
  e.p = p;
  if (!(p > 0 && p < 1) || samples == 0) {
    e.why =
        "答案处" + std::string(p > 0 ? "全部" : "无") + "样本失效，其 Monte Carlo 误差无法估计。";
    e.whyEnglish = std::string(p > 0 ? "every" : "no") +
                   " sample fails at the answer: its Monte Carlo error cannot be told";
    return e;
  }
  e.betaSe = std::sqrt(p * (1 - p) / static_cast<double>(samples)) / normal_density(beta);
  const Evaluation* left = nullptr;
  const Evaluation* right = nullptr;
  for (const auto& x : exact) {
    if (!x.result) continue;
    if (x.value <= answer - span / 2 && (!left || x.value > left->value)) left = &x;
    if (x.value >= answer + span / 2 && (!right || x.value < right->value)) right = &x;
  }
  // The answer's own evaluation stands in for a side without one (an answer at an end).
  Evaluation at{answer, beta, {}, {}};
  for (const auto& x : exact) {
    if (x.value == answer && x.result) at = x;
  }
  if (!left) left = &at;
  if (!right) right = &at;
  if (left == right) {
    e.why = "答案两侧没有可用于估计斜率的计算值。";
    e.whyEnglish = "no evaluations on either side of the answer give the slope";
    return e;
  }
  e.slope = (*right->result - *left->result) / (right->value - left->value);
  if (*e.slope == 0) {
    e.why = "答案附近 β 不随该值变化，答案的 Monte Carlo 误差无法估计。";
    e.whyEnglish = "beta does not change with the value about the answer";
    return e;
  }
  e.answerSe = e.betaSe / std::fabs(*e.slope);
  return e;
}

Outcome<ReliabilityDesignResult, DesignRefusal> design_for_target_beta(
    const ReliabilityDesignRequest& r) {
  const auto made = BetaResponse::make(r);
  if (!made) return made.refusal();
  const BetaResponse& response = *made;
  const sheet::FieldRow& row = response.box();

  SolveSettings s;
  s.lo = row.lo;
  s.hi = row.hi;
  s.target = r.targetBeta;
  s.scanIntervals = r.scanIntervals;
  // The index changes in steps of one sample. The bisection stops once its bracket holds a
  // single sample's change (the failures at its ends differ by one): the answer's jump lies
  // inside, and the bracket is no wider than the answer's Monte Carlo standard error, which is
  // SE(β) / slope with SE(β) = sqrt(n p (1 - p)) single steps, over a slope of at least one step
  // across the bracket (whenever n p (1 - p) >= 1). The deterministic default of a millionth of
  // the range bounds it where the failures jump by more than one at once.
  // Three samples' worth of the index at the target: smaller turns are the cracking-time
  // iteration's tolerance moving a sample or two across the target life.
  s.reversalTolerance = 3 / (static_cast<double>(std::max<std::uint64_t>(r.samples, 1)) *
                             normal_density(r.targetBeta));
  const int expected = std::max(2, r.scanIntervals) + 1 + 15;

  std::vector<BetaEvaluation> runs;
  const auto failures_at = [&runs](double v) -> std::optional<std::uint64_t> {
    for (const auto& b : runs) {
      if (b.evaluation.value == v && b.evaluation.result) return b.failures;
    }
    return std::nullopt;
  };
  s.fineEnough = [&](const Evaluation& out, const Evaluation& in) {
    const auto a = failures_at(out.value);
    const auto b = failures_at(in.value);
    return a && b && (*a > *b ? *a - *b : *b - *a) <= 1;
  };
  const Response f = [&](double v) {
    BetaEvaluation b = response.evaluate(v);
    runs.push_back(b);
    // Searches between the scan's values where the index turns take more evaluations than
    // expected: the count expected grows with them, never below those done.
    if (r.progress) {
      r.progress(static_cast<int>(runs.size()), std::max(expected, static_cast<int>(runs.size())));
    }
    return b.evaluation;
  };
  auto solved = solve_for_target(f, s);
  if (response.cancelled()) {
    return Refused{DesignRefusal::Cancelled, "设计计算已取消。", "the design search was cancelled"};
  }
  if (!solved) {
    Refusal<DesignRefusal> refusal = solved.refusal();
    refusal.text = "“" + std::string(row.label) + "”：" + refusal.text;
    refusal.message = std::string(row.alias) + ": " + refusal.message;
    return refusal;
  }

  ReliabilityDesignResult out;
  DesignResult& d = out.design;
  d.box = row.control;
  d.label = row.label;
  d.alias = row.alias;
  d.limitState = r.limitState;
  d.targetLife = r.targetLife;
  d.solve = *solved;
  SolveResult& sr = d.solve;
  ReliabilityDesign& rd = out.reliability;
  rd.targetBeta = r.targetBeta;
  rd.samples = r.samples;
  rd.seed = r.seed;

  const auto run_at = [&runs](double v) -> const BetaEvaluation* {
    for (const auto& b : runs) {
      if (b.evaluation.value == v && b.evaluation.result) return &b;
    }
    return nullptr;
  };
  std::vector<Evaluation> exact;
  for (const auto& b : runs) {
    if (!b.evaluation.result) continue;
    if (b.index.kind == mc::IndexValue::Kind::Exact) {
      exact.push_back(b.evaluation);
    } else {
      ++rd.boundedEvaluations;
    }
  }
  std::sort(exact.begin(), exact.end(),
            [](const Evaluation& a, const Evaluation& b) { return a.value < b.value; });
  if (sr.answer) {
    if (const BetaEvaluation* at = run_at(*sr.answer)) {
      rd.indexAtAnswer = at->index;
      if (sr.status == SolveStatus::Solved) {
        rd.error = answer_error(exact, *sr.answer, (row.hi - row.lo) / std::max(2, r.scanIntervals),
                                at->p, at->samples, at->index.value);
      }
    }
  }

  const std::string unit(row.typed.unit);
  const std::string state(limit_state_name(r.limitState));
  const std::string stateEn(limit_state_english(r.limitState));
  const bool partial = computed_range_partial(sr, row.lo, row.hi);
  const std::string range = computed_range_text(sr, row.lo, row.hi);
  const std::string at = "目标使用年限 " + num(r.targetLife) + " a 时" + state + "的可靠指标 β";
  const std::string atEn =
      "the reliability index of " + stateEn + " at the target life of " + num(r.targetLife) + " a";
  const std::string beta = "目标 " + num(r.targetBeta);
  const std::string run = "（样本 " + std::to_string(r.samples) + "，种子 " +
                          std::to_string(r.seed) + "，各值用同一组随机数）";
  const std::string runEn = " (" + std::to_string(r.samples) + " samples, seed " +
                            std::to_string(r.seed) + ", the same random numbers for every value)";
  const auto index_at = [&]() {
    return rd.indexAtAnswer ? mc::index_text(*rd.indexAtAnswer, 3) : num(*sr.resultAtAnswer);
  };
  switch (sr.status) {
    case SolveStatus::Solved: {
      const bool up = sr.direction == Direction::Increasing;
      std::string error;
      std::string errorEn;
      if (rd.error && rd.error->answerSe) {
        const std::string se =
            num2(*rd.error->answerSe) + (unit.empty() ? std::string() : " " + unit);
        error = "；答案的 Monte Carlo 标准误约 " + se + "（β 的标准误 " + num2(rd.error->betaSe) +
                " 除以 β 随该值的斜率 " + num3(*rd.error->slope) + "）";
        errorEn = "; Monte Carlo standard error of the answer about " + se +
                  " (the index's standard error " + num2(rd.error->betaSe) + " over its slope " +
                  num3(*rd.error->slope) + ")";
      } else if (rd.error) {
        error = "；" + rd.error->why;
        errorEn = "; " + rd.error->whyEnglish;
      }
      const auto [w, atWritten] = written_answer(f, sr, row.lo, row.hi, r.targetBeta);
      d.written = w;
      d.resultAtWritten = atWritten;
      const BetaEvaluation* there = run_at(w);
      const std::string index = there ? mc::index_text(there->index, 3) : num(*d.resultAtWritten);
      const std::string value = value_text(w) + (unit.empty() ? "" : " " + unit);
      d.summary = d.label + (up ? "不小于 " : "不大于 ") + value + " 时，" + at + "达到" + beta +
                  "（该值处 β = " + index + "）" + error + "。" + run;
      d.summaryEnglish = d.alias + (up ? " of at least " : " of at most ") + value + " brings " +
                         atEn + " to its target " + num(r.targetBeta) + " (" + index + " there)" +
                         errorEn + runEn;
      break;
    }
    case SolveStatus::WholeRangeMeets: {
      const bool end = at_computed_end(sr, *sr.answer);
      d.summary = d.label + (partial ? "在可计算的范围 " : "在整个范围 ") + range + " 内" + at +
                  "均不低于" + beta + "；最不利" + (end ? "端 " : "值 ") + num(*sr.answer) +
                  " 处 β = " + index_at() + "。" + run;
      d.summaryEnglish =
          "every " + d.alias + " in " + range + (partial ? " (where the problem can be run)" : "") +
          " keeps " + atEn + " at or above " + num(r.targetBeta) + "; the least favourable " +
          (end ? "end " : "value ") + num(*sr.answer) + " gives " + index_at() + runEn;
      break;
    }
    case SolveStatus::NoneMeets: {
      const bool end = at_computed_end(sr, *sr.closestEnd);
      d.summary = d.label + (partial ? "在可计算的范围 " : "在范围 ") + range + " 内" + at +
                  "均达不到" + beta + "；最接近的是 " + num(*sr.closestEnd) +
                  (end ? " 端" : " 处") + "，β 差 " + num(sr.shortfall) + "。" + run;
      d.summaryEnglish =
          "no " + d.alias + " in " + range + (partial ? " (where the problem can be run)" : "") +
          " brings " + atEn + " to " + num(r.targetBeta) + "; the " + (end ? "end " : "value ") +
          num(*sr.closestEnd) + " comes closest, " + num(sr.shortfall) + " short" + runEn;
      break;
    }
    case SolveStatus::NotMonotone: {
      std::string where;
      for (double c : sr.crossings) where += (where.empty() ? "" : "、") + num(c);
      d.summary = at + "随" + d.label + "不单调，无唯一解" +
                  (where.empty() ? std::string("。") : "；所算各值中恰达目标处：" + where + "。") +
                  "请看图。" + run;
      d.summaryEnglish =
          atEn + " is not monotone in " + d.alias + ": no single answer" +
          (where.empty() ? std::string()
                         : "; among the values computed the target is met at " + where) +
          runEn;
      break;
    }
  }
  if (rd.boundedEvaluations > 0) {
    sr.notes.push_back({std::to_string(rd.boundedEvaluations) +
                            " 个取值处无样本失效或全部样本失效，β 仅为界限值（图中未画出）。",
                        std::to_string(rd.boundedEvaluations) +
                            " values had no failed sample or only failed ones: beta is a bound "
                            "there (left out of the chart)"});
  }

  curves::Chart& c = d.chart;
  c.title = "可靠度设计：" + d.label;
  c.xName = d.label;
  c.xUnit = unit;
  c.yName = num(r.targetLife) + " a 时" + state + "的可靠指标 β";
  curves::Series s1{
      "Monte Carlo（" + std::to_string(r.samples) + " 样本，种子 " + std::to_string(r.seed) + "）",
      {}};
  for (const auto& e : exact) s1.points.push_back({e.value, *e.result});
  c.series.push_back(std::move(s1));
  c.guides.push_back(
      {curves::Guide::Orientation::Horizontal, r.targetBeta, "目标可靠指标 " + num(r.targetBeta)});
  if (sr.answer) {
    const double shown = d.written.value_or(*sr.answer);
    std::string label = "解 " + value_text(shown);
    if (rd.error && rd.error->answerSe) label += " ± " + num2(*rd.error->answerSe);
    c.guides.push_back({curves::Guide::Orientation::Vertical, shown, label});
  }
  for (double x : sr.crossings) {
    c.guides.push_back({curves::Guide::Orientation::Vertical, x, "恰达目标 " + num(x)});
  }
  c.notes = text::chinese(sr.notes);
  return out;
}

}  // namespace pellucor::analysis::assess
