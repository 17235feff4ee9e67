#include "analysis/update/member_update.hpp"

#include "analysis/assess/reliability_grade.hpp"
#include "analysis/structure/structure.hpp"

namespace pellucor::analysis::update {

Measurements measurements_of(const project::Inspection& inspection, const TypedErrors& errors) {
  Measurements m;
  for (const auto& p : inspection.profiles) {
    m.cores.push_back({p.name, p.input, errors.profileSd});
  }
  if (inspection.carbonation) {
    m.depths.push_back(
        {inspection.carbonation->depthMm, inspection.carbonation->ageYears, errors.depthCov});
  }
  if (inspection.cover) m.coverMm = inspection.cover->readingsMm;
  return m;
}

Measurements measurements_of(const project::Member& member, const TypedErrors& errors) {
  TypedErrors e = errors;
  if (const auto& u = member.update) {
    if (!e.depthCov) e.depthCov = u->depthCov;
    if (!e.profileSd) e.profileSd = u->profileSd;
  }
  Measurements m = measurements_of(member.inspection, e);
  if (const auto& u = member.update) {
    if (u->corrosionDepth)
      m.corrosionDepth = AtInspection{u->corrosionDepth->value, u->corrosionDepth->sd};
    if (u->crackWidth) m.crackWidth = AtInspection{u->crackWidth->value, u->crackWidth->sd};
    if (const auto& t = u->typedDepths) m.depths.push_back({t->depthMm, t->ageYears, e.depthCov});
  }
  return m;
}

project::UpdateOutcome outcome_record(const UpdateResult& r) {
  project::UpdateOutcome o;
  o.samples = r.prior.settings.samples;
  o.seed = r.prior.settings.seed;
  o.targetAge = r.posterior.atTarget.age;
  switch (r.diagnostics.method) {
    case Method::Prior:
      o.method = project::kUpdateMethods[0];
      break;
    case Method::LikelihoodWeighting:
      o.method = project::kUpdateMethods[1];
      break;
    case Method::TemperedImportance:
      o.method = project::kUpdateMethods[2];
      break;
  }
  o.draws = r.diagnostics.draws;
  o.effective = r.diagnostics.effective;
  o.paretoK = r.diagnostics.paretoK;
  o.passed = r.diagnostics.passed;
  for (std::size_t k = 0; k < 3; ++k) {
    o.priorP[k] = r.prior.summary.atTarget.p[k];
    o.posteriorP[k] = r.posterior.atTarget.p[k];
    o.posteriorSe[k] = r.posterior.atTarget.se[k];
    o.priorBeta[k] = mc::index_text(r.prior.summary.atTarget.index[k]);
    o.posteriorBeta[k] = mc::index_text(r.posterior.atTarget.index[k]);
  }
  return o;
}

Outcome<MemberUpdate, MemberRefusal> member_update(const project::Member& member,
                                                   const TypedErrors& errors, mc::Binder binder) {
  const sheet::Module* module = project::module_of(member);
  if (module == nullptr) {
    return Refusal<MemberRefusal>{MemberRefusal::UnknownSheet,
                                  "未知的计算表“" + member.sheet + "”。",
                                  "unknown sheet '" + member.sheet + "'"};
  }
  const assess::TypedMember typed = assess::type_member(*module, project::member_entries(member));
  if (typed.message) {
    return Refusal<MemberRefusal>{
        MemberRefusal::Typing, "构件“" + member.name + "”的输入提示：" + typed.message->text,
        "member '" + member.name + "': typing its texts brings up: " + typed.message->text};
  }
  MemberUpdate u;
  assess::MemberScatter scatter = assess::member_scatter(member);
  scatter.binder = binder;
  u.problem = assess::member_problem(*module, typed.inputs, scatter);
  u.measurements = measurements_of(member, errors);
  return u;
}

}  // namespace pellucor::analysis::update
