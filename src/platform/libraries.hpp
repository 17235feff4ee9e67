// Libraries loaded while the program runs (the workbook libraries: only when a workbook is
// written or read, not at every start).
#pragma once

#include <initializer_list>

namespace pellucor::platform {

// The first of `names` that loads (a path, or a name the system finds: on Windows the folder
// of the program first); nullptr when none does. Stays loaded for the life of the process.
void* load_library(std::initializer_list<const char*> names);
// A function of a loaded library; nullptr when it has none of that name.
void* library_function(void* library, const char* name);

}  // namespace pellucor::platform
