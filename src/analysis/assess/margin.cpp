#include "analysis/assess/margin.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace pellucor::analysis::assess {

namespace {

using Refused = Refusal<AssessRefusal>;

std::string num(double v) {
  return assessment_digits(v);
}

}  // namespace

Grade grade_for(double margin, const Settings& s) {
  if (margin >= s.thresholdA) return Grade::A;
  if (margin >= s.thresholdB) return Grade::B;
  return Grade::C;
}

std::string assessment_digits(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.4g", v);
  return buf;
}

const LimitStateEntry& limit_state(LimitState s) {
  for (const auto& e : kLimitStates) {
    if (e.state == s) return e;
  }
  throw std::invalid_argument("a limit state without an entry in the table");
}

std::string_view limit_state_key(LimitState s) {
  return limit_state(s).key;
}

std::string_view limit_state_name(LimitState s) {
  return limit_state(s).chinese;
}

std::string_view limit_state_english(LimitState s) {
  return limit_state(s).english;
}

std::size_t governing_index(const std::vector<Standing>& standings) {
  std::size_t worst = 0;
  for (std::size_t i = 1; i < standings.size(); ++i) {
    const Standing& m = standings[i];
    const Standing& w = standings[worst];
    if (m.kind < w.kind || (m.kind == w.kind && m.value < w.value)) worst = i;
  }
  return worst;
}

std::optional<LimitState> limit_state_from_key(std::string_view key) {
  for (LimitState s : kAllLimitStates) {
    if (key == limit_state_key(s) || key == limit_state_english(s)) return s;
  }
  return std::nullopt;
}

std::string_view grade_name(Grade g) {
  switch (g) {
    case Grade::A:
      return "a";
    case Grade::B:
      return "b";
    case Grade::C:
      break;
  }
  return "c";
}

std::optional<LimitStateTimes> limit_state_times(const sheet::ResultRecord& record) {
  LimitStateTimes times;
  for (const auto& e : kLimitStates) {
    const auto v = record.value(e.key);
    if (!v) return std::nullopt;
    times.*e.time = *v;
  }
  const auto age = record.value("age");
  if (!age) return std::nullopt;
  times.age = *age;
  return times;
}

LimitStateTimes limit_state_times(const Timeline& timeline) {
  return {timeline.ti, timeline.prop.tc, timeline.prop.td, timeline.t};
}

double limit_state_time(const LimitStateTimes& times, LimitState s) {
  return times.*limit_state(s).time;
}

double limit_state_time(const Timeline& timeline, LimitState s) {
  return limit_state_time(limit_state_times(timeline), s);
}

std::vector<std::string> settings_lines(const Settings& s) {
  std::vector<std::string> lines;
  lines.push_back(s.assessmentAge ? "评估龄期 t0 = " + num(*s.assessmentAge) + " a"
                                  : "评估龄期 t0：各构件的检测龄期");
  lines.push_back("目标使用年限 T = " + num(s.targetLife) + " a");
  lines.push_back("剩余目标年限系数 γ = " + num(s.gamma));
  lines.push_back("裕度 ξ = (t_lim - t0) / (γ·(T - t0))；ξ ≥ " + num(s.thresholdA) + " 为 a 级，" +
                  num(s.thresholdB) + " ≤ ξ < " + num(s.thresholdA) + " 为 b 级，ξ < " +
                  num(s.thresholdB) + " 为 c 级；已超过的极限状态为 c 级");
  std::string states = "计入的极限状态：";
  for (std::size_t i = 0; i < s.limitStates.size(); ++i) {
    if (i > 0) states += "、";
    states += limit_state_name(s.limitStates[i]);
  }
  lines.push_back(states);
  return lines;
}

std::optional<Refusal<AssessRefusal>> check_settings(const Settings& s) {
  const std::string most = num(kMaxAgeYears);
  if (s.assessmentAge && !(std::isfinite(*s.assessmentAge) && *s.assessmentAge >= 0)) {
    return Refused{AssessRefusal::BadAssessmentAge, "评估龄期 t0 须为不小于 0 的数。",
                   "the age at assessment t0 must be a number of 0 or more"};
  }
  if (s.assessmentAge && *s.assessmentAge > kMaxAgeYears) {
    return Refused{AssessRefusal::BadAssessmentAge, "评估龄期 t0 须在 0 至 " + most + " a 之间。",
                   "the age at assessment t0 must lie between 0 and " + most + " a"};
  }
  if (!std::isfinite(s.targetLife) || (s.assessmentAge && !(s.targetLife > *s.assessmentAge))) {
    return Refused{AssessRefusal::TargetNotAfterT0, "目标使用年限须大于评估龄期 t0。",
                   "the target service life must exceed the age at assessment t0"};
  }
  if (s.targetLife > kMaxAgeYears) {
    return Refused{AssessRefusal::TargetNotAfterT0, "目标使用年限须不超过 " + most + " a。",
                   "the target service life must be at most " + most + " a"};
  }
  if (!std::isfinite(s.gamma) || !(s.gamma > 0)) {
    return Refused{AssessRefusal::BadGamma, "系数 γ 须为大于 0 的数。",
                   "the factor gamma must be a number above 0"};
  }
  if (s.gamma < kMinGamma || s.gamma > kMaxGamma) {
    return Refused{
        AssessRefusal::BadGamma,
        "系数 γ 须在 " + num(kMinGamma) + " 至 " + num(kMaxGamma) + " 之间。",
        "the factor gamma must lie between " + num(kMinGamma) + " and " + num(kMaxGamma)};
  }
  if (!std::isfinite(s.thresholdA) || !std::isfinite(s.thresholdB) || !(s.thresholdB > 0) ||
      !(s.thresholdA > s.thresholdB)) {
    return Refused{AssessRefusal::BadThresholds, "等级界限须满足 0 < b 级界限 < a 级界限。",
                   "the grade thresholds must satisfy 0 < b threshold < a threshold"};
  }
  if (s.thresholdA > kMaxThreshold) {
    return Refused{AssessRefusal::BadThresholds, "a 级界限须不超过 " + num(kMaxThreshold) + "。",
                   "the a threshold must be at most " + num(kMaxThreshold)};
  }
  std::vector<LimitState> states = s.limitStates;
  std::sort(states.begin(), states.end());
  if (states.empty() || std::adjacent_find(states.begin(), states.end()) != states.end()) {
    return Refused{AssessRefusal::NoLimitStates, "请选择要计入的极限状态（每种至多一次）。",
                   "choose the limit states that count (each at most once)"};
  }
  return std::nullopt;
}

const LimitStateMargin& MemberAssessment::governingState() const {
  for (const auto& s : states) {
    if (s.state == governing) return s;
  }
  return states.front();
}

std::string MemberAssessment::summary() const {
  const LimitStateMargin& g = governingState();
  std::string line = std::string(grade_name(grade)) + " 级，控制极限状态：" +
                     std::string(limit_state_name(governing)) + "，";
  if (g.passed()) {
    line += "已于 " + num(g.time) + " a 超过（评估龄期 " + num(t0) + " a" +
            (g.byConstruction.empty() ? std::string() : "；" + g.byConstruction) + "）";
  } else {
    line += "剩余寿命 " + num(g.remaining) + " a，裕度 ξ = " + num(*g.margin);
  }
  return line;
}

std::optional<Refusal<AssessRefusal>> check_limit_state_time(double time, LimitState s) {
  if (std::isfinite(time)) return std::nullopt;
  // A time with no number compares false with t0 and would read as a limit state passed long
  // ago; an infinite one as a margin without end. Neither is a property of the member.
  return Refused{AssessRefusal::BadLimitStateTime,
                 "“" + std::string(limit_state_name(s)) + "”的时间不是有限的数（" + num(time) +
                     "），不能据以评定。",
                 "the time of " + std::string(limit_state_english(s)) +
                     " is not a finite number (" + num(time) + "); no grade is read from it"};
}

std::string by_construction(const sheet::SheetTable* sheet, LimitState s) {
  if (sheet == nullptr) return {};
  for (const auto& z : sheet->zeroByConstruction) {
    if (z.key == limit_state_key(s)) return std::string(z.reason);
  }
  return {};
}

Outcome<std::vector<LimitState>, AssessRefusal> counted_limit_states(
    const Settings& settings, const std::optional<std::vector<LimitState>>& limitStates,
    const sheet::SheetTable* sheet, std::vector<LimitState>* leftOut) {
  if (limitStates) return *limitStates;
  std::vector<LimitState> counted;
  std::vector<LimitState> out;
  for (LimitState s : settings.limitStates) {
    (by_construction(sheet, s).empty() ? counted : out).push_back(s);
  }
  if (leftOut != nullptr) *leftOut = out;
  if (counted.empty() && !out.empty()) {
    const std::string name(limit_state_name(out.front()));
    return Refused{AssessRefusal::OnlyByConstruction,
                   "项目只计入“" + name + "”，而本计算表的该极限状态按定义出现于 0 a（" +
                       by_construction(sheet, out.front()) +
                       "），不能据以评定；请为此构件选择其他极限状态。",
                   "the project counts only " + std::string(limit_state_english(out.front())) +
                       ", which this member's sheet reaches at 0 a whatever its inputs; choose "
                       "other limit states for the member"};
  }
  return counted;
}

Outcome<MemberAssessment, AssessRefusal> assess_member(
    const Timeline& timeline, const Settings& settings,
    const std::optional<std::vector<LimitState>>& limitStates, const sheet::SheetTable* sheet) {
  return assess_member(limit_state_times(timeline), settings, limitStates, sheet);
}

Outcome<MemberAssessment, AssessRefusal> assess_member(
    const LimitStateTimes& times, const Settings& settings,
    const std::optional<std::vector<LimitState>>& limitStates, const sheet::SheetTable* sheet) {
  Settings s = settings;
  std::vector<LimitState> leftOut;
  const auto counted = counted_limit_states(settings, limitStates, sheet, &leftOut);
  if (!counted) return counted.refusal();
  s.limitStates = *counted;
  if (!s.assessmentAge) s.assessmentAge = times.age;
  if (auto r = check_settings(s)) return *r;

  MemberAssessment a;
  a.t0 = *s.assessmentAge;
  a.targetLife = s.targetLife;
  a.gamma = s.gamma;
  const double remainingTarget = s.gamma * (s.targetLife - a.t0);
  for (LimitState state : s.limitStates) {
    if (auto r = check_limit_state_time(limit_state_time(times, state), state)) return *r;
  }
  for (LimitState state : s.limitStates) {
    LimitStateMargin m;
    m.state = state;
    m.time = limit_state_time(times, state);
    m.remaining = m.time - a.t0;
    m.byConstruction = by_construction(sheet, state);
    if (m.remaining > 0) {
      m.margin = m.remaining / remainingTarget;
      m.grade = grade_for(*m.margin, s);
    } else {
      m.grade = Grade::C;
    }
    a.states.push_back(m);
  }
  std::vector<Standing> standings;
  for (const auto& m : a.states) {
    standings.push_back(m.passed() ? Standing{Standing::Passed, m.time}
                                   : Standing{Standing::Margin, *m.margin});
  }
  const LimitStateMargin* worst = &a.states[governing_index(standings)];
  a.grade = worst->grade;
  a.governing = worst->state;
  if (times.ti == 0 && std::find(s.limitStates.begin(), s.limitStates.end(),
                                 LimitState::Initiation) != s.limitStates.end()) {
    a.notes.push_back("氯盐自浇筑起即在钢筋处：无锈蚀开始阶段（t_i = 0），钢筋开始锈蚀已超过。");
  }
  for (LimitState state : leftOut) {
    a.notes.push_back("“" + std::string(limit_state_name(state)) + "”按本计算表的定义出现于 0 a（" +
                      by_construction(sheet, state) +
                      "），不计入评定；如需计入，可为此构件单独选择极限状态。");
  }
  return a;
}

}  // namespace pellucor::analysis::assess
