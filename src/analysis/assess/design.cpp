#include "analysis/assess/design.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string_view>

#include "analysis/assess/margin.hpp"
#include "analysis/text/digits.hpp"
#include "analysis/timeline.hpp"
#include "model/stop.hpp"
#include "sheet/control_names.hpp"
#include "sheet/number_form.hpp"

namespace pellucor::analysis::assess {

namespace {

using Refused = Refusal<DesignRefusal>;

std::string num(double v) {
  return text::num(v, 5);
}

bool meets(const Evaluation& e, double target) {
  return e.result && *e.result >= target;
}

// The failure of a value that could not be typed because another input disables its box.
constexpr std::string_view kDisabled = "该框被构件的另一输入禁用（二选一），其值未能输入";
constexpr std::string_view kDisabledEnglish =
    "the box is disabled by another input of the member (either-or)";

// Boxes that hold the starting value of one of the model's own iterations or searches: the
// result does not depend on them beyond the iteration's tolerance.
// Turns searched between the scan's values at the most: each costs up to maxBisections
// evaluations, and a result that turns more often than this over sixteen scan steps is noise,
// not a design curve (the notes then say how many were left).
constexpr std::size_t kMaxRefinedTurns = 8;

class Solver {
 public:
  Solver(const Response& f, const SolveSettings& s) : f_(f), s_(s) {
    tolerance_ = s.tolerance > 0 ? s.tolerance : (s.hi - s.lo) * 1e-6;
  }

  Evaluation evaluate(double v) {
    Evaluation e = f_(v);
    e.value = v;
    if (e.result && !std::isfinite(*e.result)) {
      e.result.reset();
      e.failure = "结果不是有限数";
      e.failureEnglish = "the result is not a finite number";
    }
    if (!e.result) {
      if (result_.failures == 0) firstFailure_ = e;
      ++result_.failures;
    }
    result_.evaluations.push_back(e);
    return e;
  }

  // Halves [infeasible, feasible] until it is narrower than the tolerance; returns the last
  // feasible end (evaluated). Watches that every new result lies between those of the ends.
  Evaluation bisect(Evaluation out, Evaluation in) {
    int halvings = 0;
    while (std::fabs(in.value - out.value) > tolerance_ && halvings < s_.maxBisections &&
           !(s_.fineEnough && s_.fineEnough(out, in))) {
      const Evaluation m = evaluate((in.value + out.value) / 2);
      ++halvings;
      if (!m.result) {
        note("在 " + num(m.value) + " 处表格未给出结果（" + m.failure + "），二分止于宽度 " +
                 num(std::fabs(in.value - out.value)) + "。",
             "no result at " + num(m.value) + " (" + m.failureEnglish +
                 "); the bisection stopped at a width of " + num(std::fabs(in.value - out.value)));
        break;
      }
      const double lo = std::min(*in.result, *out.result) - s_.reversalTolerance;
      const double hi = std::max(*in.result, *out.result) + s_.reversalTolerance;
      if (*m.result < lo || *m.result > hi) {
        result_.monotone = false;
        note("在 " + num(m.value) + " 处结果 " + num(*m.result) +
                 " 不在两端结果之间：结果随该值不单调。",
             "at " + num(m.value) + " the result " + num(*m.result) +
                 " lies outside those of the bracket's ends: the result is not monotone");
      }
      (meets(m, s_.target) ? in : out) = m;
    }
    if (halvings == s_.maxBisections && std::fabs(in.value - out.value) > tolerance_ &&
        !(s_.fineEnough && s_.fineEnough(out, in))) {
      note("二分在 " + std::to_string(s_.maxBisections) + " 次后停止，区间宽度 " +
               num(std::fabs(in.value - out.value)) + "。",
           "the bisection stopped after " + std::to_string(s_.maxBisections) +
               " halvings at a width of " + num(std::fabs(in.value - out.value)));
    }
    return in;
  }

  // Halves [no result, result] down to the tolerance; returns the value with a result.
  Evaluation edge(Evaluation fail, Evaluation ok) {
    for (int halvings = 0;
         std::fabs(ok.value - fail.value) > tolerance_ && halvings < s_.maxBisections; ++halvings) {
      const Evaluation m = evaluate((ok.value + fail.value) / 2);
      (m.result ? ok : fail) = m;
    }
    return ok;
  }

  void note(std::string zh, std::string en) {
    result_.notes.push_back({std::move(zh), std::move(en)});
  }

  // Every evaluation with a result inside the range computed, sorted by value (the last of
  // equal values kept).
  std::vector<Evaluation> known_results() const {
    std::vector<Evaluation> k;
    for (const auto& e : result_.evaluations) {
      if (e.result && e.value >= result_.computedLo && e.value <= result_.computedHi) {
        k.push_back(e);
      }
    }
    std::stable_sort(k.begin(), k.end(),
                     [](const Evaluation& a, const Evaluation& b) { return a.value < b.value; });
    k.erase(
        std::unique(k.begin(), k.end(),
                    [](const Evaluation& a, const Evaluation& b) { return a.value == b.value; }),
        k.end());
    return k;
  }

  // Where the result turns, the scan alone cannot tell what lies between its points: a dip
  // below the target between two values that meet it, or a peak above it between two that do
  // not. Each turn that could hide such a crossing (a local minimum that meets the target, a
  // local maximum that falls short) is searched between its neighbours by golden sections,
  // until a value on the other side of the target turns up or the bracket is as narrow as the
  // bisection's tolerance. The turns nearest the target come first, at most kMaxRefinedTurns.
  void refine_turns() {
    const std::vector<Evaluation> k = known_results();
    struct Turn {
      double lo, hi;  // the neighbours
      bool minimum;
      double distance;  // of its result from the target
    };
    std::vector<Turn> turns;
    for (std::size_t i = 1; i + 1 < k.size(); ++i) {
      const double r = *k[i].result;
      const double left = *k[i - 1].result;
      const double right = *k[i + 1].result;
      if (r <= left && r <= right && r >= s_.target && (r < left || r < right)) {
        turns.push_back({k[i - 1].value, k[i + 1].value, true, r - s_.target});
      } else if (r >= left && r >= right && r < s_.target && (r > left || r > right)) {
        turns.push_back({k[i - 1].value, k[i + 1].value, false, s_.target - r});
      }
    }
    std::stable_sort(turns.begin(), turns.end(),
                     [](const Turn& a, const Turn& b) { return a.distance < b.distance; });
    const std::size_t searched = std::min<std::size_t>(turns.size(), kMaxRefinedTurns);
    for (std::size_t i = 0; i < searched; ++i) refine(turns[i].lo, turns[i].hi, turns[i].minimum);
    result_.refinedTurns = static_cast<int>(searched);
    result_.unrefinedTurns = static_cast<int>(turns.size() - searched);
    if (searched > 0) {
      note("结果在 " + std::to_string(searched) + " 处转折，已在扫描点之间细化其" +
               (searched == 1 ? "极值" : "各极值") + "。",
           "the result turns at " + std::to_string(searched) +
               (searched == 1 ? " place; the turn was" : " places; each turn was") +
               " searched between the scan's values");
    }
    if (result_.unrefinedTurns > 0) {
      note("另有 " + std::to_string(result_.unrefinedTurns) +
               " 处转折未细化（离目标较远）：其间可能还有未见的达到或未达到目标的值。",
           std::to_string(result_.unrefinedTurns) +
               " more turns, further from the target, were not searched: values between the "
               "scan's points there may still cross the target unseen");
    }
  }

  // Golden-section search for the least (or greatest) result in (lo, hi); stops once a value
  // on the other side of the target is found.
  void refine(double lo, double hi, bool minimum) {
    const double g = (std::sqrt(5.0) - 1) / 2;
    const auto worse = [&](const Evaluation& a, const Evaluation& b) {
      // Whether a is further from the side the turn could cross to than b; no result counts
      // as the worst.
      if (!a.result) return true;
      if (!b.result) return false;
      return minimum ? *a.result > *b.result : *a.result < *b.result;
    };
    const auto crossed = [&](const Evaluation& e) {
      return e.result && (minimum ? !meets(e, s_.target) : meets(e, s_.target));
    };
    double a = lo, b = hi;
    Evaluation c = evaluate(b - g * (b - a));
    Evaluation d = evaluate(a + g * (b - a));
    for (int i = 0; i < s_.maxBisections && b - a > tolerance_; ++i) {
      if (crossed(c) || crossed(d)) return;
      if (worse(d, c)) {
        b = d.value;
        d = c;
        c = evaluate(b - g * (b - a));
      } else {
        a = c.value;
        c = d;
        d = evaluate(a + g * (b - a));
      }
    }
  }

  // The scan over the range, evenly spaced: the values with a result, in order. Where results
  // stop before an end of the range, that end moves to the last value that still gives one.
  // Empty when no value gave a result.
  std::vector<Evaluation> scan() {
    const int n = std::max(2, s_.scanIntervals);
    std::vector<Evaluation> points;
    for (int k = 0; k <= n; ++k) {
      points.push_back(evaluate(k == n ? s_.hi : s_.lo + (s_.hi - s_.lo) * k / n));
    }
    const int scanFailures = result_.failures;
    std::vector<Evaluation> valid;
    for (const auto& e : points) {
      if (e.result) valid.push_back(e);
    }
    if (valid.empty()) return valid;
    if (scanFailures > 0) {
      note(std::to_string(scanFailures) + " 个扫描值未给出结果（首个在 " +
               num(firstFailure_.value) + "：" + firstFailure_.failure + "）。",
           std::to_string(scanFailures) + " scanned values gave no result (the first at " +
               num(firstFailure_.value) + ": " + firstFailure_.failureEnglish + ")");
      // Where results stop before an end of the range, that end is moved to the last value
      // that still gives one, so that the search covers every value with a result.
      const auto firstOk = std::find_if(points.begin(), points.end(),
                                        [](const auto& e) { return e.result.has_value(); });
      const auto lastOk = std::find_if(points.rbegin(), points.rend(),
                                       [](const auto& e) { return e.result.has_value(); });
      if (firstOk != points.begin()) valid.front() = edge(*std::prev(firstOk), *firstOk);
      if (lastOk != points.rbegin()) valid.back() = edge(*std::prev(lastOk), *lastOk);
      result_.computedLo = valid.front().value;
      result_.computedHi = valid.back().value;
      const std::string computed = computed_range_text(result_, s_.lo, s_.hi);
      note("表格仅在 " + computed + " 内给出结果。",
           "the sheet gives results from " + computed + " only");
    }
    return valid;
  }

  // The result's direction from one end of the values with a result to the other, and whether
  // the scan turns against it.
  Direction direction_of(const std::vector<Evaluation>& valid) {
    const double delta = *valid.back().result - *valid.front().result;
    Direction dir = Direction::Flat;
    if (delta > s_.reversalTolerance) dir = Direction::Increasing;
    if (delta < -s_.reversalTolerance) dir = Direction::Decreasing;
    result_.direction = dir;
    for (std::size_t k = 1; k < valid.size(); ++k) {
      const double step = *valid[k].result - *valid[k - 1].result;
      const bool reversal = dir == Direction::Increasing   ? step < -s_.reversalTolerance
                            : dir == Direction::Decreasing ? step > s_.reversalTolerance
                                                           : std::fabs(step) > s_.reversalTolerance;
      if (reversal) result_.monotone = false;
    }
    if (!result_.monotone) {
      note("结果随该值不单调（扫描中出现反向变化）。",
           "the result is not monotone in the value (the scan turns)");
    }
    return dir;
  }

  // The answer from every value with a result: the whole range meets the target, none does,
  // one crossing (bisected to the tolerance) or several.
  void decide(const std::vector<Evaluation>& known, Direction dir) {
    const bool all = std::all_of(known.begin(), known.end(),
                                 [&](const Evaluation& e) { return meets(e, s_.target); });
    const bool none = std::none_of(known.begin(), known.end(),
                                   [&](const Evaluation& e) { return meets(e, s_.target); });
    // Where the result goes from short of the target to meeting it along its direction:
    // (the value that falls short, the value that meets it).
    std::vector<std::pair<std::size_t, std::size_t>> changes;
    std::size_t flips = 0;
    for (std::size_t k = 1; k < known.size(); ++k) {
      const bool a = meets(known[k - 1], s_.target);
      const bool b = meets(known[k], s_.target);
      if (a != b) ++flips;
      if (dir == Direction::Increasing && !a && b) changes.emplace_back(k - 1, k);
      if (dir == Direction::Decreasing && a && !b) changes.emplace_back(k, k - 1);
    }
    if (result_.monotone && !all && !none && changes.empty()) {
      result_.monotone = false;
      note("结果在目标附近随该值反向变化。", "the result turns near the target");
    }
    const auto byResult = [](const Evaluation& x, const Evaluation& y) {
      return *x.result < *y.result;
    };
    if (all) {
      // Every value meets the target: the least favourable one is the answer.
      const auto low = std::min_element(known.begin(), known.end(), byResult);
      result_.status = SolveStatus::WholeRangeMeets;
      result_.answer = low->value;
      result_.resultAtAnswer = low->result;
    } else if (none) {
      const auto top = std::max_element(known.begin(), known.end(), byResult);
      result_.status = SolveStatus::NoneMeets;
      result_.closestEnd = top->value;
      result_.shortfall = s_.target - *top->result;
    } else if (result_.monotone && dir != Direction::Flat && flips == changes.size()) {
      // Beyond the last change (increasing) or before the first (decreasing) every value
      // tried meets the target.
      if (changes.size() > 1) {
        note("结果在目标附近的波动不超过迭代的容差，取" +
                 std::string(dir == Direction::Increasing ? "最后" : "最先") + "一次达到目标处。",
             "near the target the result wobbles within the iterations' tolerance; the " +
                 std::string(dir == Direction::Increasing ? "last" : "first") +
                 " change to meeting it is taken");
      }
      const auto [out, in] = dir == Direction::Increasing ? changes.back() : changes.front();
      const Evaluation hit = bisect(known[out], known[in]);
      result_.status = SolveStatus::Solved;
      result_.answer = hit.value;
      result_.resultAtAnswer = hit.result;
    } else {
      std::vector<Evaluation> hits;
      for (std::size_t k = 1; k < known.size(); ++k) {
        const bool a = meets(known[k - 1], s_.target);
        if (a != meets(known[k], s_.target)) {
          hits.push_back(a ? bisect(known[k], known[k - 1]) : bisect(known[k - 1], known[k]));
        }
      }
      if (hits.size() == 1) {
        // A single crossing still parts the values tried into those that meet the target
        // and those that do not: it is the answer, with the warning that the result turns.
        result_.status = SolveStatus::Solved;
        result_.direction =
            meets(known.back(), s_.target) ? Direction::Increasing : Direction::Decreasing;
        result_.answer = hits[0].value;
        result_.resultAtAnswer = hits[0].result;
      } else {
        result_.status = SolveStatus::NotMonotone;
        for (const auto& h : hits) result_.crossings.push_back(h.value);
      }
    }
  }

  Outcome<SolveResult, DesignRefusal> run() {
    const std::vector<Evaluation> valid = scan();
    if (valid.empty()) {
      return Refused{DesignRefusal::NoResult,
                     "在 " + num(s_.lo) + "--" + num(s_.hi) + " 范围内没有一个值给出结果：" +
                         firstFailure_.failure,
                     "no value in " + num(s_.lo) + " to " + num(s_.hi) +
                         " gave a result: " + firstFailure_.failureEnglish};
    }
    const Direction dir = direction_of(valid);
    result_.computedLo = valid.front().value;
    result_.computedHi = valid.back().value;
    refine_turns();
    // Every value with a result, the scan's, the edges' and the refinements', decides.
    decide(known_results(), dir);
    std::stable_sort(result_.evaluations.begin(), result_.evaluations.end(),
                     [](const Evaluation& a, const Evaluation& b) { return a.value < b.value; });
    return result_;
  }

 private:
  const Response& f_;
  const SolveSettings& s_;
  double tolerance_ = 0;
  SolveResult result_;
  Evaluation firstFailure_;
};

}  // namespace

Outcome<SolveResult, DesignRefusal> solve_for_target(const Response& f, const SolveSettings& s) {
  if (!std::isfinite(s.lo) || !std::isfinite(s.hi) || !(s.lo < s.hi)) {
    return Refused{DesignRefusal::BadRange, "取值范围须满足 下限 < 上限。",
                   "the range must have its lower end below its upper end"};
  }
  if (!std::isfinite(s.target)) {
    return Refused{DesignRefusal::BadTarget, "目标值须为数。", "the target must be a number"};
  }
  return Solver(f, s).run();
}

Evaluation evaluate_life(const sheet::Module& module, const std::vector<batch::Entry>& member,
                         sheet::Control box, LimitState limitState, double value) {
  Evaluation e;
  e.value = value;
  std::vector<batch::Entry> entries;
  for (const auto& m : member) {
    if (m.control != box) entries.push_back(m);
  }
  entries.push_back({box, sheet::general_digits(value, 15)});
  batch::MemoryView view(module.table());
  bool disabled = false;
  batch::CaseRunner::Options options;
  options.skippedDisabled = [&](sheet::Control c) { disabled = disabled || c == box; };
  batch::CaseRunner runner(module, view, options);
  runner.type(entries);
  if (disabled) {
    e.failure = kDisabled;
    e.failureEnglish = kDisabledEnglish;
    return e;
  }
  // The limit-state times are read from the record: no report text is wanted.
  runner.controller().setReportWanted(false);
  const sheet::CalculateOutcome outcome = runner.calculate();
  if (const auto& m = runner.firstMessage()) {
    e.failure = m->text;
    e.failureEnglish = outcome.reason ? std::string(model::describe(*outcome.reason))
                                      : "the sheet refused the input (" +
                                            std::string(sheet::control_name(m->control)) + ")";
    return e;
  }
  const auto& record = runner.controller().lastRecord();
  const auto times = record ? limit_state_times(*record) : std::nullopt;
  if (!outcome.done() || !times) {
    e.failure = "计算未完成";
    e.failureEnglish = "the calculation did not run to its end";
    return e;
  }
  e.result = limit_state_time(*times, limitState);
  return e;
}

std::string value_text(double v) {
  const std::string five = num(v);
  if (std::strtod(five.c_str(), nullptr) == v) return five;
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.15g", v);
  return buf;
}

namespace {

// v rounded to five significant digits, up or down, as the summaries print it.
double rounded(double v, bool up) {
  if (v == 0 || !std::isfinite(v)) return v;
  const double scale = std::pow(10.0, std::floor(std::log10(std::fabs(v))) - 4);
  const double r = (up ? std::ceil(v / scale) : std::floor(v / scale)) * scale;
  return std::strtod(num(r).c_str(), nullptr);
}

}  // namespace

bool computed_range_partial(const SolveResult& s, double lo, double hi) {
  return s.computedLo > lo || s.computedHi < hi;
}

std::string computed_range_text(const SolveResult& s, double lo, double hi) {
  const double a = s.computedLo > lo ? rounded(s.computedLo, true) : lo;
  const double b = s.computedHi < hi ? rounded(s.computedHi, false) : hi;
  return num(a) + "--" + num(b);
}

bool at_computed_end(const SolveResult& s, double v) {
  return v == s.computedLo || v == s.computedHi;
}

std::pair<double, std::optional<double>> written_answer(const Response& f, const SolveResult& s,
                                                        double lo, double hi, double target) {
  const double answer = *s.answer;
  if (answer == 0 || !std::isfinite(answer)) return {answer, s.resultAtAnswer};
  // Rounded towards the values that meet the target; the digits as printed, read back, so
  // that the value written is the value evaluated.
  double w = rounded(answer, s.direction == Direction::Increasing);
  w = std::clamp(w, lo, hi);
  if (w == answer) return {answer, s.resultAtAnswer};
  const Evaluation e = f(w);
  if (e.result && *e.result >= target) return {w, e.result};
  return {answer, s.resultAtAnswer};
}

Outcome<const sheet::FieldRow*, DesignRefusal> design_box(const sheet::SheetTable& table,
                                                          const std::string& name,
                                                          LimitState limitState,
                                                          double targetLife) {
  const sheet::Control box = batch::control_by_name(table, name);
  const sheet::FieldRow* row = table.field(box);
  if (row == nullptr) {
    return Refused{DesignRefusal::UnknownBox, "表格上没有名为“" + name + "”的输入框。",
                   "the sheet has no numeric box named " + name};
  }
  if (row->role == sheet::BoxRole::IterationStart) {
    return Refused{
        DesignRefusal::NotADesignValue,
        "“" + std::string(row->label) + "”是迭代的初值，不是构件的性质，不能作为设计变量。",
        std::string(row->alias) +
            " is the starting value of an iteration, not a property of the member"};
  }
  if (!std::isfinite(targetLife) || !(targetLife > 0)) {
    return Refused{DesignRefusal::BadTarget, "目标使用年限须为大于 0 的数。",
                   "the target life must be a number of years above 0"};
  }
  // A limit state the sheet reaches at 0 whatever the member (chloride admixed at casting
  // corrodes from the start) has nothing to design for.
  if (!by_construction(&table, limitState).empty()) {
    return Refused{DesignRefusal::NoInitiationStage,
                   "掺氯盐构件无锈蚀开始阶段（t_i = 0），请选择保护层开裂或耐久性终结。",
                   "chloride admixed at casting has no initiation stage; choose cover cracking "
                   "or the end of the durable life"};
  }
  return row;
}

Outcome<DesignResult, DesignRefusal> design_for_target_life(const DesignRequest& r) {
  const sheet::SheetTable& table = r.module->table();
  const auto checked = design_box(table, r.box, r.limitState, r.targetLife);
  if (!checked) return checked.refusal();
  const sheet::FieldRow* row = *checked;
  const sheet::Control box = row->control;
  const Response f = [&](double v) {
    return evaluate_life(*r.module, r.member, box, r.limitState, v);
  };
  if (const Evaluation probe = f((row->lo + row->hi) / 2);
      !probe.result && probe.failure == kDisabled) {
    return Refused{DesignRefusal::DisabledBox,
                   "“" + std::string(row->label) + "”" + probe.failure + "。",
                   std::string(row->alias) + ": " + probe.failureEnglish};
  }
  SolveSettings s;
  s.lo = row->lo;
  s.hi = row->hi;
  s.target = r.targetLife;
  s.scanIntervals = r.scanIntervals;
  auto solved = solve_for_target(f, s);
  if (!solved) {
    Refusal<DesignRefusal> refusal = solved.refusal();
    refusal.text = "“" + std::string(row->label) + "”：" + refusal.text;
    refusal.message = std::string(row->alias) + ": " + refusal.message;
    return refusal;
  }

  DesignResult d;
  d.box = box;
  d.label = row->label;
  d.alias = row->alias;
  d.limitState = r.limitState;
  d.targetLife = r.targetLife;
  d.solve = *solved;
  const SolveResult& sr = d.solve;
  const std::string state(limit_state_name(r.limitState));
  const std::string stateEn(limit_state_english(r.limitState));
  const bool partial = computed_range_partial(sr, row->lo, row->hi);
  const std::string range = computed_range_text(sr, row->lo, row->hi);
  const std::string unit = row->typed.unit.empty() ? "" : " " + std::string(row->typed.unit);
  switch (sr.status) {
    case SolveStatus::Solved: {
      const bool up = sr.direction == Direction::Increasing;
      const auto [w, at] = written_answer(f, sr, row->lo, row->hi, r.targetLife);
      d.written = w;
      d.resultAtWritten = at;
      const std::string value = value_text(w) + unit;
      d.summary = d.label + (up ? "不小于 " : "不大于 ") + value + " 时，" + state +
                  "龄期达到目标 " + num(r.targetLife) + " a（该值处为 " + num(*at) + " a）。";
      d.summaryEnglish = d.alias + (up ? " of at least " : " of at most ") + value + " reaches " +
                         stateEn + " at the target age of " + num(r.targetLife) + " a (" +
                         num(*at) + " a there)";
      break;
    }
    case SolveStatus::WholeRangeMeets: {
      const bool end = at_computed_end(sr, *sr.answer);
      d.summary = d.label + (partial ? "在表格给出结果的范围 " : "在整个范围 ") + range + " 内" +
                  state + "龄期均达到目标 " + num(r.targetLife) + " a；最不利" +
                  (end ? "端 " : "值 ") + num(*sr.answer) + " 处为 " + num(*sr.resultAtAnswer) +
                  " a。";
      d.summaryEnglish = "every " + d.alias + " in " + range +
                         (partial ? " (where the sheet gives results)" : "") + " reaches " +
                         stateEn + " at " + num(r.targetLife) +
                         " a or later; the least favourable " + (end ? "end " : "value ") +
                         num(*sr.answer) + " gives " + num(*sr.resultAtAnswer) + " a";
      break;
    }
    case SolveStatus::NoneMeets: {
      const bool end = at_computed_end(sr, *sr.closestEnd);
      d.summary = d.label + (partial ? "在表格给出结果的范围 " : "在范围 ") + range + " 内" +
                  state + "龄期均达不到目标 " + num(r.targetLife) + " a；最接近的是 " +
                  num(*sr.closestEnd) + (end ? " 端" : " 处") + "，差 " + num(sr.shortfall) +
                  " a。";
      d.summaryEnglish = "no " + d.alias + " in " + range +
                         (partial ? " (where the sheet gives results)" : "") + " reaches " +
                         stateEn + " at " + num(r.targetLife) + " a; the " +
                         (end ? "end " : "value ") + num(*sr.closestEnd) + " comes closest, " +
                         num(sr.shortfall) + " a short";
      break;
    }
    case SolveStatus::NotMonotone: {
      std::string at;
      for (double c : sr.crossings) at += (at.empty() ? "" : "、") + num(c);
      d.summary = state + "龄期随" + d.label + "不单调，无唯一解" +
                  (at.empty() ? std::string("。") : "；所算各值中恰达目标处：" + at + "。") +
                  "请看图。";
      d.summaryEnglish =
          stateEn + " is not monotone in " + d.alias + ": no single answer" +
          (at.empty() ? std::string()
                      : "; among the values computed the target is met exactly at " + at);
      break;
    }
  }

  curves::Chart& c = d.chart;
  c.title = "设计：" + d.label;
  c.xName = d.label;
  c.xUnit = row->typed.unit;
  c.yName = state + "龄期";
  c.yUnit = "a";
  curves::Series s1{"按表格计算", {}};
  for (const auto& e : sr.evaluations) {
    if (e.result) s1.points.push_back({e.value, *e.result});
  }
  c.series.push_back(std::move(s1));
  c.guides.push_back({curves::Guide::Orientation::Horizontal, r.targetLife,
                      "目标使用年限 " + num(r.targetLife) + " a"});
  if (sr.answer) {
    const double shown = d.written.value_or(*sr.answer);
    c.guides.push_back({curves::Guide::Orientation::Vertical, shown, "解 " + value_text(shown)});
  }
  for (double x : sr.crossings) {
    c.guides.push_back({curves::Guide::Orientation::Vertical, x, "恰达目标 " + num(x)});
  }
  c.notes = text::chinese(sr.notes);
  return d;
}

}  // namespace pellucor::analysis::assess
