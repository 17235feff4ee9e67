#include "analysis/structure/structure.hpp"

#include <algorithm>
#include <exception>
#include <mutex>

#include "analysis/batch/batch.hpp"
#include "analysis/mc/engine.hpp"
#include "analysis/parallel/parallel_for.hpp"
#include "analysis/timeline.hpp"
#include "sheet/control_names.hpp"
#include "sheet/user_input.hpp"

namespace pellucor::analysis::assess {

namespace {

// A passed limit state ranks before any margin (the earliest first), then the margins.
std::pair<int, double> rank_of(const MemberAssessment& a) {
  const LimitStateMargin& g = a.governingState();
  if (g.passed()) return {0, g.time};
  return {1, *g.margin};
}

int grade_rank(Grade g) {
  return g == Grade::C ? 0 : g == Grade::B ? 1 : 2;
}

}  // namespace

MemberScatter member_scatter(const project::Member& m) {
  MemberScatter s;
  for (const auto& [control, box] : m.scatter) {
    const int n = sheet::text_box_number(control);
    if (n < 1) continue;
    s.boxes[n] = BoxOverride{box.cov, box.law};
  }
  return s;
}

bool worse_than(const MemberResult& a, const MemberResult& b) {
  if (a.assessed() != b.assessed()) return !a.assessed();
  if (!a.assessed()) return false;
  const int ga = grade_rank(a.assessment->grade);
  const int gb = grade_rank(b.assessment->grade);
  if (ga != gb) return ga < gb;
  return rank_of(*a.assessment) < rank_of(*b.assessment);
}

double remaining_life(const MemberResult& m) {
  return m.assessment->governingState().remaining;
}

mc::RunSettings project_run_settings(const project::Project& p) {
  mc::RunSettings s;
  s.samples = p.reliability.samples;
  s.seed = p.reliability.seed;
  s.targetBeta = p.reliability.targetBeta;
  s.targetAge = p.assessment.targetLife;
  return s;
}

MemberResult assess_project_member(const project::Member& m, const Settings& settings,
                                   const std::optional<mc::RunSettings>& reliability,
                                   const std::atomic<bool>* cancel) {
  MemberResult r;
  r.name = m.name;
  r.sheetName = m.sheet;
  r.module = project::module_of(m);
  r.entries = project::member_entries(m);
  if (r.module == nullptr) {
    r.failure = "未知的计算表“" + m.sheet + "”，该构件未计算。";
    r.failureEnglish = "unknown sheet '" + m.sheet + "'; the member was not computed";
    return r;
  }
  // A project's box says a number: a text that is not one is named, never read by its prefix.
  if (const batch::Entry* e = batch::first_not_a_number(r.module->table(), r.entries)) {
    const std::string label(sheet::input_label(r.module->table(), e->control));
    r.failure = label + "：'" + e->text + "' 不是数，该构件未计算。";
    r.failureEnglish = std::string(sheet::control_name(e->control)) + " (" + label + "): '" +
                       e->text + "' is not a number; the member was not computed";
    return r;
  }
  batch::CaseResult run = batch::run_case(*r.module, r.entries);
  if (!run.done) {
    r.failure = run.message ? "计算停在提示：" + run.message->text : std::string("计算未完成。");
    r.failureEnglish = run.message ? "the calculation stopped at a message (" +
                                         std::string(sheet::control_name(run.message->control)) +
                                         "): " + run.message->text
                                   : std::string("the calculation did not complete");
    return r;
  }
  const auto tl = timeline(run.run);
  r.run = std::move(run);
  if (!tl) {
    r.failure = "计算未给出时间进程。";
    r.failureEnglish = "the calculation gave no time course";
    return r;
  }
  auto assessed = assess_member(*tl, settings, m.limitStates, &r.module->table());
  if (!assessed) {
    r.failure = assessed.refusal().text;
    r.failureEnglish = assessed.refusal().message;
    return r;
  }
  r.assessment = *assessed;

  if (!reliability) return r;
  const auto cancelled = [&r] {
    r.reliabilityCancelled = true;
    r.reliabilityFailure = "评估已取消：该构件的可靠度分析未完成，不按可靠指标评级。";
    r.reliabilityFailureEnglish =
        "cancelled during the member's reliability analysis; no grade is read from part of its "
        "samples";
    return r;
  };
  const TypedMember typed = type_member(*r.module, r.entries);
  const mc::Problem problem = member_problem(*r.module, typed.inputs, member_scatter(m));
  if (auto e = mc::validate(problem, *reliability)) {
    r.reliabilityFailure = "可靠度分析未能运行：" + e->text;
    r.reliabilityFailureEnglish = "the reliability analysis cannot run: " + e->message;
    return r;
  }
  // The run reads the assessment's flag at each block of samples.
  mc::RunControl control;
  control.outerCancel = cancel;
  const mc::Samples samples = mc::run_samples(problem, *reliability, &control);
  if (samples.cancelled) return cancelled();
  mc::Report report = mc::make_report(problem, *reliability, mc::summarize(samples, *reliability));
  auto graded =
      assess_reliability(report.summary, settings, tl->t, m.limitStates, &r.module->table());
  if (!graded) {
    r.reliabilityFailure = graded.refusal().text;
    r.reliabilityFailureEnglish = graded.refusal().message;
  } else {
    r.reliability = *graded;
  }
  r.reliabilityReport = std::move(report);
  return r;
}

std::optional<Refusal<AssessRefusal>> check_opened(const project::Project& p,
                                                   const std::vector<project::Skipped>& skipped,
                                                   bool reliability) {
  using Refused = Refusal<AssessRefusal>;
  if (const auto repeated = project::repeated_names(p.members); !repeated.empty()) {
    const project::Skipped& first = repeated.front();
    return Refused{AssessRefusal::RepeatedNames,
                   std::to_string(repeated.size()) + " 个构件与前面的构件同名（" + first.where +
                       "：" + first.text + "）；评估与报告按名称区分构件，请先改用不同的名称。",
                   std::to_string(repeated.size()) +
                       " member(s) share a name with an earlier one (" + first.where + ": " +
                       first.message + "); give each member a name of its own"};
  }
  if (p.members.empty()) {
    return Refused{AssessRefusal::NoMembers, "工程中没有可评估的构件。",
                   "the project holds no member to assess"};
  }
  for (const char* section : {"/assessment", "/reliability"}) {
    if (!reliability && std::string_view(section) == "/reliability") continue;
    std::vector<const project::Skipped*> under;
    for (const auto& k : skipped) {
      if (k.where == section || k.where.starts_with(std::string(section) + "/"))
        under.push_back(&k);
    }
    if (under.empty()) continue;
    const bool assessment = std::string_view(section) == "/assessment";
    return Refused{
        AssessRefusal::NotAsWritten,
        std::string(assessment ? "评估设置" : "可靠度设置") + "未能按文件读入（" +
            under.front()->where + "：" + under.front()->text +
            "），不能按默认值代替评定；请先在工程中改正。",
        std::string(assessment ? "the assessment settings" : "the reliability settings") +
            " could not be read as the file gives them (" + under.front()->where + ": " +
            under.front()->message + "); no grade is made on defaults in their place"};
  }
  return std::nullopt;
}

GradeSummary summarize_grades(const std::vector<MemberResult>& members) {
  GradeSummary s;
  std::vector<std::size_t> order;
  for (std::size_t i = 0; i < members.size(); ++i) {
    const MemberResult& m = members[i];
    if (!m.assessed()) {
      ++s.notAssessed;
    } else {
      ++s.counts[static_cast<std::size_t>(m.assessment->grade)];
    }
    if (m.reliability) {
      ++s.reliabilityCounts[static_cast<std::size_t>(m.reliability->grade)];
    } else {
      ++s.withoutReliability;
    }
    order.push_back(i);
  }
  std::stable_sort(order.begin(), order.end(), [&members](std::size_t a, std::size_t b) {
    return worse_than(members[a], members[b]);
  });
  for (std::size_t i : order) {
    if (s.worst.size() == kWorstMembers) break;
    if (members[i].assessed()) s.worst.push_back(i);
  }
  return s;
}

Outcome<StructureAssessment, AssessRefusal> assess_structure(const project::Project& p,
                                                             const StructureOptions& options) {
  // Without an age of assessment, t0 against the target life waits for each member's
  // inspection age; the target must lie above 0 whatever it is.
  Settings check = p.assessment;
  if (!check.assessmentAge) check.assessmentAge = 0;
  if (auto r = check_settings(check)) return *r;
  if (options.reliability) {
    if (auto r = project::check_reliability_settings(p.reliability)) return *r;
  }

  StructureAssessment out;
  out.structure = p.structure;
  out.settings = p.assessment;
  out.reliability = options.reliability;
  out.mcSettings = project_run_settings(p);
  out.members.resize(p.members.size());
  std::vector<char> reached(p.members.size(), 0);  // one byte per member: no shared words
  const std::size_t n = p.members.size();
  std::mutex progressLock;
  std::size_t done = 0;
  const auto tell = [&](std::size_t count) {
    if (!options.progress) return;
    std::lock_guard lock(progressLock);
    done += count;
    options.progress(done, n);
  };

  // The calculations are short: the members run side by side. A reliability run uses every
  // core itself, so with runs the members go one after the other.
  const auto one = [&](std::size_t i, bool withRuns) {
    out.members[i] = assess_project_member(
        p.members[i], p.assessment,
        withRuns ? std::optional<mc::RunSettings>(out.mcSettings) : std::nullopt, options.cancel);
    reached[i] = 1;
  };
  if (!options.reliability) {
    ParallelOptions parallel;
    parallel.threads = options.threads;
    parallel.chunk = 8;
    parallel.cancel = options.cancel;
    parallel_for(
        n,
        [&](std::size_t begin, std::size_t end) {
          for (std::size_t i = begin; i < end; ++i) one(i, false);
          tell(end - begin);
        },
        parallel);
  } else {
    out.mcSettings.threads = options.threads;
    for (std::size_t i = 0; i < n; ++i) {
      if (options.cancel != nullptr && options.cancel->load()) break;
      one(i, true);
      if (out.members[i].reliabilityCancelled) out.cancelled = true;
      tell(1);
    }
  }
  for (std::size_t i = 0; i < n; ++i) {
    if (reached[i] != 0) continue;
    out.cancelled = true;
    MemberResult& r = out.members[i];
    r.name = p.members[i].name;
    r.sheetName = p.members[i].sheet;
    r.module = project::module_of(p.members[i]);
    r.failure = "已取消，该构件未计算。";
    r.failureEnglish = "cancelled before this member";
  }
  out.summary = summarize_grades(out.members);
  return out;
}

}  // namespace pellucor::analysis::assess
