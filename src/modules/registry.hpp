// The five calculation modules, in the order of the main menu.
#pragma once

#include <string_view>
#include <vector>

#include "sheet/sheet_table.hpp"

namespace pellucor::modules {

// Sheets 1 to 5 in order.
const std::vector<const sheet::Module*>& all_modules();
// A module by its number ("1".."5") or its console name; nullptr when there is none.
const sheet::Module* find_module(std::string_view name);

}  // namespace pellucor::modules
