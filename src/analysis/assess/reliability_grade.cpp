#include "analysis/assess/reliability_grade.hpp"

#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "sheet/numeric.hpp"

namespace pellucor::analysis::assess {

TypedMember type_member(const sheet::Module& module, const std::vector<batch::Entry>& entries) {
  TypedMember out;
  batch::MemoryView view(module.table(), false);
  batch::CaseRunner::Options options;
  options.skippedDisabled = [&out](sheet::Control c) { out.disabled.push_back(c); };
  batch::CaseRunner runner(module, view, options);
  runner.type(entries);
  // Leaving the last box runs its check, as Calculate's click would.
  runner.moveFocus(sheet::Control::CmdCal);
  out.message = runner.firstMessage();
  out.inputs = mc::inputs_of(module.table(), view);
  return out;
}

mc::Problem member_problem(const sheet::Module& module, const sheet::SheetInputs& inputs,
                           const MemberScatter& scatter) {
  mc::Problem p = mc::with_defaults(module, inputs, scatter.binder);
  for (const auto& [box, o] : scatter.boxes) {
    if (box < 1 || box > sheet::kMaxTextBoxes) continue;
    mc::Scatter& s = p.scatter[static_cast<std::size_t>(box)];
    if (o.cov) {
      s.cov = *o.cov;
      s.sd = 0;  // a coefficient of variation replaces an absolute deviation
    }
    if (o.law) s.dist = *o.law;
  }
  p.modelUncertainty = scatter.modelUncertainty;
  return p;
}

int mc_time(LimitState s) {
  return limit_state(s).runTime;
}

const ReliabilityMargin& ReliabilityAssessment::governingState() const {
  for (const auto& s : states) {
    if (s.state == governing) return s;
  }
  return states.front();
}

std::string ReliabilityAssessment::summary() const {
  const ReliabilityMargin& g = governingState();
  std::string line = std::string(grade_name(grade)) + " 级（按可靠指标），控制极限状态：" +
                     std::string(limit_state_name(governing)) + "，目标使用年限 " +
                     assessment_digits(targetLife) +
                     " a 时 β = " + mc::index_text(g.betaAtTarget, 2) + "（目标 " +
                     assessment_digits(g.targetBeta) + "）";
  if (g.passed()) {
    line += "，β 已于 " + assessment_digits(*g.ageBelow) + " a 低于目标（评估龄期 " +
            assessment_digits(t0) + " a）";
  } else if (g.never()) {
    line += "，β 在全部样本中始终不低于目标";
  } else {
    line += "，β 于 " + assessment_digits(*g.ageBelow) +
            " a 降至目标以下，裕度 ξ_β = " + assessment_digits(*g.margin);
  }
  return line;
}

Outcome<ReliabilityAssessment, AssessRefusal> assess_reliability(
    const mc::Summary& summary, const Settings& settings, double inspectionAge,
    const std::optional<std::vector<LimitState>>& limitStates, const sheet::SheetTable* sheet) {
  Settings s = settings;
  const auto counted = counted_limit_states(settings, limitStates, sheet);
  if (!counted) return counted.refusal();
  s.limitStates = *counted;
  if (!s.assessmentAge) s.assessmentAge = inspectionAge;
  if (auto r = check_settings(s)) return *r;
  if (summary.atTarget.age != s.targetLife) {
    throw std::invalid_argument("the run was summarised at another age than the target life");
  }

  ReliabilityAssessment a;
  a.t0 = *s.assessmentAge;
  a.targetLife = s.targetLife;
  a.gamma = s.gamma;
  a.samples = summary.samples;
  const double remainingTarget = s.gamma * (s.targetLife - a.t0);
  for (LimitState state : s.limitStates) {
    const auto& age = summary.targetAge[static_cast<std::size_t>(mc_time(state))];
    if (age) {
      if (auto r = check_limit_state_time(*age, state)) return *r;
    }
  }
  bool bounded = false;
  for (LimitState state : s.limitStates) {
    const auto k = static_cast<std::size_t>(mc_time(state));
    ReliabilityMargin m;
    m.state = state;
    m.targetBeta = summary.targets[k];
    m.betaAtTarget = summary.atTarget.index[k];
    m.pAtTarget = summary.atTarget.p[k];
    m.seAtTarget = summary.atTarget.se[k];
    m.ageBelow = summary.targetAge[k];
    m.ageBelowLow = summary.targetAgeLow[k];
    if (m.never()) {
      m.grade = Grade::A;
    } else if (*m.ageBelow - a.t0 > 0) {
      m.margin = (*m.ageBelow - a.t0) / remainingTarget;
      m.grade = grade_for(*m.margin, s);
    } else {
      m.grade = Grade::C;
    }
    bounded = bounded || m.ageBelow != m.ageBelowLow;
    a.states.push_back(m);
  }
  std::vector<Standing> standings;
  for (const auto& m : a.states) {
    standings.push_back(m.passed()  ? Standing{Standing::Passed, *m.ageBelow}
                        : m.never() ? Standing{Standing::Never, 0}
                                    : Standing{Standing::Margin, *m.margin});
  }
  const ReliabilityMargin* worst = &a.states[governing_index(standings)];
  a.grade = worst->grade;
  a.governing = worst->state;
  if (bounded) {
    a.notes.push_back("部分样本模型未能算完（按最早可能失效计）；β 降至目标以下的龄期取保守值。");
  }
  return a;
}

}  // namespace pellucor::analysis::assess
