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
  u.measurements = measurements_of(member.inspection, errors);
  return u;
}

}  // namespace pellucor::analysis::update
