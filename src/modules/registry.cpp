#include "modules/registry.hpp"

#include <string>

#include "modules/admixed/admixed_sheet.hpp"
#include "modules/carbonation/carbonation_sheet.hpp"
#include "modules/chloride_constant/chloride_constant_sheet.hpp"
#include "modules/chloride_variable/chloride_variable_sheet.hpp"
#include "modules/marine/marine_sheet.hpp"

namespace pellucor::modules {

const std::vector<const sheet::Module*>& all_modules() {
  static const CarbonationSheet carbonation;
  static const ChlorideConstantSheet chlorideConstant;
  static const ChlorideVariableSheet chlorideVariable;
  static const MarineSheet marine;
  static const AdmixedSheet admixed;
  static const std::vector<const sheet::Module*> modules = {&carbonation, &chlorideConstant,
                                                            &chlorideVariable, &marine, &admixed};
  return modules;
}

const sheet::Module* find_module(std::string_view name) {
  for (const sheet::Module* m : all_modules()) {
    const auto& s = m->table();
    if (name == s.cliName || name == std::to_string(s.number)) return m;
  }
  return nullptr;
}

}  // namespace pellucor::modules
