#include "posix/paths.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace pellucor::platform::posix {

namespace {
// Symbolic links followed on the way to a file, as the system itself allows.
constexpr int kMaxLinks = 40;
}  // namespace

int stream_of(std::string_view path) {
  if (path == "-" || path == "/dev/stdout" || path == "/dev/fd/1" || path == "/proc/self/fd/1") {
    return 1;
  }
  if (path == "/dev/stderr" || path == "/dev/fd/2" || path == "/proc/self/fd/2") return 2;
  return 0;
}

std::string folder_of(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string name_of(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

Resolved resolve(const std::string& given) {
  Resolved r;
  r.path = given;
  for (int hop = 0; hop <= kMaxLinks; ++hop) {
    if ((r.stream = stream_of(r.path)) != 0) return r;
    struct stat st {};
    if (::lstat(r.path.c_str(), &st) != 0) {
      if (errno == ENOENT) return r;  // to be created here
      r.failure = failure_of(errno, "lstat " + r.path);
      return r;
    }
    if (!S_ISLNK(st.st_mode)) {
      r.exists = true;
      return r;
    }
    std::vector<char> buffer(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1);
    const ssize_t n = ::readlink(r.path.c_str(), buffer.data(), buffer.size());
    if (n < 0) {
      r.failure = failure_of(errno, "readlink " + r.path);
      return r;
    }
    if (static_cast<std::size_t>(n) >= buffer.size()) {
      r.failure = failure_of(ENAMETOOLONG, "readlink " + r.path);
      return r;
    }
    std::string link(buffer.data(), static_cast<std::size_t>(n));
    r.path = link.starts_with('/') ? link : folder_of(r.path) + "/" + link;
  }
  r.failure = failure_of(ELOOP, "follow " + given);
  return r;
}

}  // namespace pellucor::platform::posix
