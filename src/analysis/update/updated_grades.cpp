#include "analysis/update/updated_grades.hpp"

#include "analysis/assess/reliability_grade.hpp"
#include "analysis/timeline.hpp"

namespace pellucor::analysis::update {

UpdatedGrades grade_updated(const project::Project& p, const TypedErrors& errors,
                            assess::StructureAssessment& s, const std::atomic<bool>* cancel) {
  UpdatedGrades out;
  out.results.resize(s.members.size());
  UpdateSettings settings;
  settings.run = s.mcSettings;
  std::vector<std::string> details;
  for (std::size_t i = 0; i < s.members.size() && i < p.members.size(); ++i) {
    if (cancel != nullptr && cancel->load()) {
      out.cancelled = true;
      break;
    }
    assess::MemberResult& r = s.members[i];
    const project::Member& m = p.members[i];
    if (!r.assessed() || !r.run) continue;
    if (measurements_of(m, errors).empty()) {
      ++out.withoutData;
      continue;
    }
    auto refuse = [&](const std::string& text, const std::string& english) {
      r.reliability.reset();
      r.reliabilityFailure = text;
      r.reliabilityFailureEnglish = english;
      ++out.notGraded;
      details.push_back("  " + m.name + "：" + text);
    };
    auto input = member_update(m, errors);
    if (!input) {
      refuse("按检测数据更新未能运行：" + input.refusal().text,
             "the update cannot run: " + input.refusal().message);
      continue;
    }
    mc::RunControl control;
    if (cancel != nullptr && cancel->load()) control.cancel = true;
    const auto result = run_update(input->problem, input->measurements, settings, &control);
    if (!result) {
      if (result.refusal().kind == UpdateRefusal::Cancelled) {
        out.cancelled = true;
        break;
      }
      refuse("按检测数据更新未能运行：" + result.refusal().text,
             "the update cannot run: " + result.refusal().message);
      continue;
    }
    out.results[i] = *result;
    const Diagnostics& d = result->diagnostics;
    if (!d.passed) {
      std::string why;
      for (const auto& f : d.failures) why += f.zh;
      refuse("按检测数据更新的诊断未通过，不评级：" + why,
             "the update does not meet its diagnostics, not graded");
      continue;
    }
    const auto tl = analysis::timeline(r.run->run);
    auto grade =
        assess::assess_reliability(result->posterior, s.settings, tl ? tl->t : 0, m.limitStates);
    if (!grade) {
      refuse(grade.refusal().text, grade.refusal().message);
      continue;
    }
    ++out.graded;
    const std::string prior =
        r.reliability ? std::string(assess::grade_name(r.reliability->grade)) : std::string("-");
    r.reliability = *grade;
    r.reliabilityFailure.clear();
    r.reliabilityFailureEnglish.clear();
    details.push_back("  " + m.name + "：先验 " + prior + " 级 → 后验 " +
                      std::string(assess::grade_name(grade->grade)) + " 级；" + grade->summary() +
                      "；有效样本数 " + std::to_string(static_cast<long long>(d.effective)) +
                      " / " + std::to_string(d.draws) + "，诊断通过");
  }
  s.summary = assess::summarize_grades(s.members);
  out.lines.push_back("按 β 的等级：有检测数据的 " + std::to_string(out.graded) +
                      " 个构件按检测数据更新后的后验 β 评级，" + std::to_string(out.notGraded) +
                      " 个更新后未评级，" + std::to_string(out.withoutData) +
                      " 个无检测数据，按先验 β 评级：");
  out.lines.insert(out.lines.end(), details.begin(), details.end());
  out.lines.push_back(
      "graded by the posterior beta of the members' updated analyses: " +
      std::to_string(out.graded) +
      ", not graded after their update: " + std::to_string(out.notGraded) +
      ", without inspection data (the prior beta): " + std::to_string(out.withoutData));
  return out;
}

}  // namespace pellucor::analysis::update
