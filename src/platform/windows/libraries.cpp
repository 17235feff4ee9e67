#include "platform/libraries.hpp"

#include "windows/common.hpp"

namespace pellucor::platform {

void* load_library(std::initializer_list<const char*> names) {
  for (const char* name : names) {
    // The program's own folder, then the system's: never the current folder.
    const HMODULE h =
        LoadLibraryExW(windows::wide(name).c_str(), nullptr,
                       LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    if (h != nullptr) return reinterpret_cast<void*>(h);
  }
  return nullptr;
}

void* library_function(void* library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

}  // namespace pellucor::platform
