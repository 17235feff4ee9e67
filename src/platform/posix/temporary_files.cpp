#include "platform/temporary_files.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>

namespace pellucor::platform {

std::string temporary_folder() {
  const char* dir = std::getenv("TMPDIR");
  return dir != nullptr && *dir != '\0' ? dir : "/tmp";
}

int scratch_file(std::string& error) {
  const std::string folder = temporary_folder();
  // Unnamed where the system offers it: nothing is left behind even when the program is killed.
  int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0) return fd;
  std::string name = folder + "/.pellucor-input-XXXXXX";
  fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) {
    error = "cannot keep the standard input in a temporary file in " + folder + ": " +
            std::error_code(errno, std::generic_category()).message();
    return -1;
  }
  ::unlink(name.c_str());  // gone when closed
  return fd;
}
}  // namespace pellucor::platform
