#include "analysis/mc/problem.hpp"

#include <cmath>

#include "sheet/control_names.hpp"
#include "sheet/number_form.hpp"
#include "sheet/numeric.hpp"

namespace pellucor::analysis::mc {

namespace {

std::string number(double v) {
  std::string s = v < 0 ? "-" : "";
  s += sheet::general_digits(std::fabs(v), 15);
  return s;
}

std::string box_name(const sheet::FieldRow& f) {
  std::string s(sheet::control_name(f.control));
  if (!f.alias.empty()) s += " (" + std::string(f.alias) + ")";
  return s;
}

}  // namespace

std::vector<int> Problem::scattering() const {
  std::vector<int> boxes;
  for (int n = 1; n <= sheet::kMaxTextBoxes; ++n) {
    if (scatter[static_cast<std::size_t>(n)].scatters()) boxes.push_back(n);
  }
  return boxes;
}

bool Problem::hasVariants() const {
  return module != nullptr && module->table().cliName == "marine";
}

sheet::SheetInputs inputs_of(const sheet::SheetTable& table, const sheet::SheetView& view) {
  sheet::SheetInputs in;
  for (const auto& f : table.fields) {
    in.value[static_cast<std::size_t>(sheet::text_box_number(f.control))] =
        sheet::numeric_prefix(view.text(f.control));
  }
  for (const auto& g : table.groups) {
    for (const auto& o : g.options) {
      in.selected[static_cast<std::size_t>(sheet::option_number(o.control))] =
          view.isSelected(o.control);
    }
  }
  in.steelText = view.text(sheet::Control::Combo1);
  in.steelKind = sheet::steel_kind(in.steelText);
  in.steelName = sheet::steel_name(in.steelText);
  return in;
}

bool Problem::hasBinder() const {
  return module != nullptr && module->table().withRole(sheet::BoxRole::AgeingExponent) != nullptr;
}

bool Problem::defaultScatter(int n) const {
  const sheet::FieldRow* f = module->table().field(sheet::text_box(n));
  if (f == nullptr) return false;
  const Scatter d = default_scatter(f->alias, base.box(n), binder).scatter;
  const Scatter& s = scatter[static_cast<std::size_t>(n)];
  if (!s.scatters() && !d.scatters()) return true;
  // An absolute deviation sets the scatter (the CoV beside it is only its equivalent).
  if (s.sd > 0 || d.sd > 0) return s.dist == d.dist && s.sd == d.sd;
  return s.dist == d.dist && s.cov == d.cov;
}

Problem with_defaults(const sheet::Module& module, const sheet::SheetInputs& base, Binder binder) {
  Problem p;
  p.module = &module;
  p.base = base;
  p.binder = binder;
  for (const auto& f : module.table().fields) {
    const int n = sheet::text_box_number(f.control);
    if (base.box(n) != 0) {
      p.scatter[static_cast<std::size_t>(n)] =
          default_scatter(f.alias, base.box(n), binder).scatter;
    }
  }
  return p;
}

const sheet::FieldRow* find_box(const sheet::SheetTable& table, std::string_view name) {
  return table.field(sheet::find_control(table, name, sheet::NameKinds::Console));
}

std::optional<ProblemError> validate(const Problem& problem, const RunSettings& settings) {
  using Kind = ProblemError::Kind;
  const sheet::SheetTable& table = problem.module->table();
  for (const auto& f : table.fields) {
    const int n = sheet::text_box_number(f.control);
    const Scatter& s = problem.scatter[static_cast<std::size_t>(n)];
    const double mean = problem.base.box(n);
    const std::string label(f.label);
    if (!(s.cov >= 0) || !std::isfinite(s.cov) || !(s.sd >= 0) || !std::isfinite(s.sd)) {
      return ProblemError{
          Kind::NegativeCov, n,
          "the coefficient of variation of " + box_name(f) + " must be a number of 0 or more",
          label + "的变异系数必须是不小于 0 的数!"};
    }
    if (mean == 0) {
      if (s.scatters()) {
        return ProblemError{Kind::EmptyBox, n,
                            box_name(f) +
                                " holds no value (0 means not entered), so it cannot "
                                "scatter; give it a value or a CoV of 0",
                            label + "没有输入数值，不能取变异系数!"};
      }
      continue;
    }
    const bool outside = !(f.lo <= mean && mean <= f.hi);
    if (outside && range_checked(f)) {
      return ProblemError{Kind::OutOfRange, n, std::string(f.rangeMessage),
                          std::string(f.rangeMessage)};
    }
    if (outside && s.scatters()) {
      const std::string range = number(f.lo) + "--" + number(f.hi);
      return ProblemError{Kind::OutOfRange, n,
                          "the mean " + number(mean) + " of " + box_name(f) +
                              " lies outside the range " + range + " its samples are truncated to",
                          label + "的均值不在 " + range + " 之间，不能取变异系数!"};
    }
    if (s.scatters()) {
      if (auto why = scatter_problem(mean, s)) {
        return ProblemError{Kind::BadDistribution, n, box_name(f) + ": " + std::string(*why),
                            label +
                                "的 Beta 分布要求均值在 0～1 之间、标准差小于 "
                                "sqrt(均值×(1－均值))!"};
      }
    }
  }
  if (auto failure = problem.module->check(problem.base)) {
    const int n = sheet::text_box_number(failure->focus);
    return ProblemError{Kind::SheetCheck, n, std::string(failure->message),
                        std::string(failure->message)};
  }
  if (settings.samples == 0 || settings.samples > kMaxSamples) {
    return ProblemError{Kind::SampleCount, 0,
                        "the sample count must lie between 1 and 10000000 (10^7)",
                        "样本数必须在 1--10000000 之间!"};
  }
  for (double b : settings.targets()) {
    if (!std::isfinite(b)) {
      return ProblemError{Kind::TargetBeta, 0, "the target reliability index must be a number",
                          "目标可靠指标必须是一个数!"};
    }
  }
  if (settings.targetAge && !(*settings.targetAge > 0 && std::isfinite(*settings.targetAge))) {
    return ProblemError{Kind::TargetAge, 0, "the target age must be a number above 0",
                        "目标年龄必须是大于 0 的数!"};
  }
  if (!(settings.stopCov >= 0) || !std::isfinite(settings.stopCov)) {
    return ProblemError{Kind::StopCov, 0,
                        "the coefficient of variation of the stopping rule must be a number of 0 "
                        "or more",
                        "停止准则的变异系数必须是不小于 0 的数!"};
  }
  for (double c : problem.modelUncertainty.cov) {
    if (!(c >= 0) || !std::isfinite(c)) {
      return ProblemError{Kind::ModelFactor, 0,
                          "the coefficient of variation of a model-uncertainty factor must be a "
                          "number of 0 or more",
                          "模型不确定性系数的变异系数必须是不小于 0 的数!"};
    }
  }
  return std::nullopt;
}

}  // namespace pellucor::analysis::mc
