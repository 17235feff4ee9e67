#include "platform/write_failure.hpp"

#include <cerrno>
#include <system_error>

namespace pellucor::platform {

WriteFailure::Reason reason_of_error(int error) {
  using R = WriteFailure::Reason;
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return R::MissingFolder;
    case EACCES:
    case EPERM:
      return R::NoPermission;
    case EROFS:
      return R::ReadOnlyDisk;
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
      return R::DiskFull;
    case EFBIG:
      return R::FileTooLarge;
    case ENXIO:  // a pipe or socket without a reader, a device without its driver
    case ENODEV:
      return R::NotRegularFile;
    case EISDIR:
      return R::Folder;
    case ENAMETOOLONG:
      return R::NameTooLong;
    case ELOOP:
      return R::LinkLoop;
    default:
      return R::Other;
  }
}

WriteFailure failure_of(int error, const std::string& what) {
  WriteFailure f;
  f.reason = reason_of_error(error);
  f.error = error;
  f.detail = what + ": " + std::error_code(error, std::generic_category()).message();
  return f;
}

WriteFailure failure_for(WriteFailure::Reason reason, std::string detail) {
  WriteFailure f;
  f.reason = reason;
  f.detail = std::move(detail);
  return f;
}

}  // namespace pellucor::platform
