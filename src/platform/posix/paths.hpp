// Names of files on POSIX systems: folders, standard streams, symbolic links followed.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/write_failure.hpp"

namespace pellucor::platform::posix {

// The standard stream a name stands for: 1 or 2, 0 for none.
int stream_of(std::string_view path);
std::string folder_of(const std::string& path);
std::string name_of(const std::string& path);

// Where a path leads after its symbolic links: the path of the file (existing or not), or why
// it cannot be followed.
struct Resolved {
  std::string path;
  bool exists = false;
  int stream = 0;  // the links led to a standard stream
  std::optional<WriteFailure> failure;
};
Resolved resolve(const std::string& given);

}  // namespace pellucor::platform::posix
