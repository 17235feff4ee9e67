#include "platform/libraries.hpp"

#include <dlfcn.h>

namespace pellucor::platform {

void* load_library(std::initializer_list<const char*> names) {
  for (const char* name : names) {
    if (void* handle = dlopen(name, RTLD_NOW | RTLD_LOCAL)) return handle;
  }
  return nullptr;
}

void* library_function(void* library, const char* name) {
  return dlsym(library, name);
}

}  // namespace pellucor::platform
