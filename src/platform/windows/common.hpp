// What the Windows parts share: names in UTF-16, failures from the system's error codes.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/files.hpp"
#include "platform/write_failure.hpp"

namespace pellucor::platform::windows {

// UTF-8 to UTF-16 and back (the program's text is UTF-8 on every system).
std::wstring wide(std::string_view utf8);
std::string narrow(std::wstring_view utf16);

// The error number (errno) closest to a system error code.
int errno_of(DWORD code);
// A failure for a system error code; an open file of another program is said as such.
WriteFailure failure_of_code(DWORD code, const std::string& what);

// The full form of a path (the system's calls that replace and move files want one).
std::wstring full_path(const std::wstring& path);

// The standard stream a name stands for: 1 or 2, 0 for none.
int stream_of(std::string_view path);
// The folder of a path and its last name; both separators count.
std::string folder_of(const std::string& path);
std::string name_of(const std::string& path);

// A name that names no file to write: one that ends in a separator (a folder), or whose last
// part is longer than Windows' file systems take.
std::optional<WriteFailure> unwritable_name(const std::string& path);

// The identity of an open handle: volume serial number and file index.
std::optional<FileKey> key_of_handle(HANDLE h);

// An owned handle, closed when it goes.
class Handle {
 public:
  Handle() = default;
  explicit Handle(HANDLE h) : h_(h) {}
  ~Handle() { reset(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  Handle(Handle&& o) noexcept : h_(o.release()) {}
  Handle& operator=(Handle&& o) noexcept {
    if (this != &o) {
      reset();
      h_ = o.release();
    }
    return *this;
  }
  HANDLE get() const { return h_; }
  bool valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
  HANDLE release() {
    HANDLE h = h_;
    h_ = INVALID_HANDLE_VALUE;
    return h;
  }
  void reset() {
    if (valid()) CloseHandle(h_);
    h_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE h_ = INVALID_HANDLE_VALUE;
};

}  // namespace pellucor::platform::windows
