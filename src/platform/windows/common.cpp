#include "windows/common.hpp"

#include <cerrno>
#include <system_error>

namespace pellucor::platform::windows {

std::wstring wide(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int n =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  if (n <= 0) return {};
  std::wstring w(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), n);
  return w;
}

std::string narrow(std::wstring_view utf16) {
  if (utf16.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()),
                                    nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string s(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()), s.data(), n,
                      nullptr, nullptr);
  return s;
}

int errno_of(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
      return ENOENT;
    case ERROR_DIRECTORY:
      return ENOTDIR;
    case ERROR_ACCESS_DENIED:
    case ERROR_INVALID_ACCESS:
    case ERROR_PRIVILEGE_NOT_HELD:
      return EACCES;
    case ERROR_WRITE_PROTECT:
      return EROFS;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE:
    case ERROR_UNABLE_TO_REMOVE_REPLACED:
    case ERROR_UNABLE_TO_MOVE_REPLACEMENT:
    case ERROR_UNABLE_TO_MOVE_REPLACEMENT_2:
      return EBUSY;
    case ERROR_INVALID_NAME:
      return EINVAL;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    default:
      return EIO;
  }
}

WriteFailure failure_of_code(DWORD code, const std::string& what) {
  const int err = errno_of(code);
  WriteFailure f = failure_of(err, what);
  f.detail += " (Windows error " + std::to_string(code) + ")";
  if (err == EBUSY) f.reason = WriteFailure::Reason::InUse;
  return f;
}

std::wstring full_path(const std::wstring& path) {
  const DWORD need = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (need == 0) return path;
  std::wstring full(need, L'\0');
  const DWORD got = GetFullPathNameW(path.c_str(), need, full.data(), nullptr);
  if (got == 0 || got >= need) return path;
  full.resize(got);
  return full;
}

int stream_of(std::string_view path) {
  if (path == "-" || path == "/dev/stdout" || path == "CONOUT$") return 1;
  if (path == "/dev/stderr") return 2;
  return 0;
}

std::string folder_of(const std::string& path) {
  const auto sep = path.find_last_of("/\\");
  if (sep == std::string::npos) {
    // "C:name" is in the current folder of drive C.
    if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2);
    return ".";
  }
  if (sep == 0) return path.substr(0, 1);
  if (sep == 2 && path[1] == ':') return path.substr(0, 3);  // "C:\"
  return path.substr(0, sep);
}

std::string name_of(const std::string& path) {
  auto sep = path.find_last_of("/\\");
  if (sep == std::string::npos && path.size() >= 2 && path[1] == ':') sep = 1;
  return sep == std::string::npos ? path : path.substr(sep + 1);
}

std::optional<WriteFailure> unwritable_name(const std::string& path) {
  if (!path.empty() && (path.back() == '/' || path.back() == '\\')) {
    return failure_for(WriteFailure::Reason::Folder, "a folder: " + path);
  }
  if (wide(name_of(path)).size() > 255) return failure_of(ENAMETOOLONG, "name " + path);
  return std::nullopt;
}

std::optional<FileKey> key_of_handle(HANDLE h) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileType(h) != FILE_TYPE_DISK) {
    // A console, a pipe, a device: a stream, never a file.
    return FileKey{0, reinterpret_cast<std::uintptr_t>(h), {}, false};
  }
  if (!GetFileInformationByHandle(h, &info)) return std::nullopt;
  FileKey key;
  key.volume = info.dwVolumeSerialNumber;
  key.index = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  key.regular = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  return key;
}

}  // namespace pellucor::platform::windows
