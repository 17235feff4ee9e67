// Safe outputs with Windows' own means: the new content is written to a hidden file beside the
// target, closed (Windows renames no open file), and then put in place whole: ReplaceFileW for
// an existing file (which keeps the replaced file's security descriptor, attributes and
// creation time), MoveFileExW without replacing for a new one; both write through.
#include "platform/safe_output.hpp"

#include <io.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "windows/common.hpp"

namespace pellucor::platform {

using windows::Handle;
using windows::wide;

namespace {

constexpr int kMaxNameTries = 100;
constexpr std::size_t kSuffixLength = 8;
// The longest name Windows' file systems take.
constexpr std::size_t kNameMax = 255;

std::string random_suffix() {
  static std::atomic<unsigned long long> counter{0};
  unsigned long long x =
      static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
      (static_cast<unsigned long long>(GetCurrentProcessId()) << 32) ^
      (counter.fetch_add(1) * 0x9E3779B97F4A7C15ULL);
  static constexpr char kDigits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string s;
  for (std::size_t i = 0; i < kSuffixLength; ++i) {
    x ^= x >> 29;
    x *= 0xBF58476D1CE4E5B9ULL;
    s += kDigits[x % 36];
  }
  return s;
}

std::string join(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  const char last = folder.back();
  if (last == '/' || last == '\\' || (folder.size() == 2 && folder[1] == ':')) return folder + name;
  return folder + "\\" + name;
}

// Temporary names for the console's Ctrl+C handler: fixed buffers of UTF-16, claimed and
// released with atomic flags.
constexpr std::size_t kSlots = 16;
constexpr std::size_t kSlotSize = 4096;
std::array<std::array<wchar_t, kSlotSize>, kSlots> pendingNames{};
std::array<std::atomic<bool>, kSlots> pendingUsed{};

int claim_slot(const std::wstring& name) {
  if (name.size() + 1 > kSlotSize) return -1;
  for (std::size_t i = 0; i < kSlots; ++i) {
    bool expected = false;
    if (pendingUsed[i].compare_exchange_strong(expected, true)) {
      std::memcpy(pendingNames[i].data(), name.c_str(), (name.size() + 1) * sizeof(wchar_t));
      return static_cast<int>(i);
    }
  }
  return -1;
}

void release_slot(int& slot) {
  if (slot >= 0) pendingUsed[static_cast<std::size_t>(slot)].store(false);
  slot = -1;
}

}  // namespace

struct SafeOutput::Impl {
  Handle file;             // the new content's file, or an owned device
  int stream = 0;          // 1 or 2: the program's own standard output or error
  std::wstring temporary;  // the new content's hidden name
  std::string temporaryUtf8;
  int pendingSlot = -1;
  std::optional<FileKey> original;  // Replace: the file as found
  std::wstring permissionsOf;       // whose security descriptor the new content takes
  bool replaceByMove = false;       // moved over the name, not replaced keeping the old one's

  // The security descriptor (access list, owner, group) of `permissionsOf` for the new
  // content's file, before its first byte.
  std::optional<WriteFailure> takePermissions(const std::string& target) {
    constexpr SECURITY_INFORMATION kAll =
        DACL_SECURITY_INFORMATION | OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION;
    DWORD need = 0;
    GetFileSecurityW(permissionsOf.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &need);
    if (need == 0)
      return windows::failure_of_code(GetLastError(), "keep the permissions of " + target);
    std::string sd(need, '\0');
    if (!GetFileSecurityW(permissionsOf.c_str(), DACL_SECURITY_INFORMATION, sd.data(), need,
                          &need) ||
        !SetFileSecurityW(temporary.c_str(), DACL_SECURITY_INFORMATION, sd.data())) {
      WriteFailure f =
          windows::failure_of_code(GetLastError(), "keep the permissions of " + target);
      f.reason = WriteFailure::Reason::OtherOwner;
      return f;
    }
    // Owner and group where they can be given (an administrator can); the access list decides.
    need = 0;
    GetFileSecurityW(permissionsOf.c_str(), kAll, nullptr, 0, &need);
    if (need > 0) {
      std::string all(need, '\0');
      if (GetFileSecurityW(permissionsOf.c_str(), kAll, all.data(), need, &need)) {
        SetFileSecurityW(temporary.c_str(), OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION,
                         all.data());
      }
    }
    return std::nullopt;
  }

  void drop() {
    file.reset();
    if (!temporary.empty()) DeleteFileW(temporary.c_str());
    temporary.clear();
    temporaryUtf8.clear();
    release_slot(pendingSlot);
  }
};

SafeOutput::SafeOutput() : impl_(std::make_unique<Impl>()) {}

SafeOutput::~SafeOutput() {
  abandon();
}

void SafeOutput::abandon() {
  impl_->drop();
  kind_ = Kind::None;
}

bool SafeOutput::standardStream() const {
  return kind_ == Kind::Stream && impl_->stream != 0;
}

std::string SafeOutput::writableName() const {
  if (kind_ != Kind::NewFile && kind_ != Kind::Replace) return {};
  return impl_->temporaryUtf8;
}

std::optional<WriteFailure> SafeOutput::open(const std::string& path) {
  return open(path, Options{});
}

std::optional<WriteFailure> SafeOutput::open(const std::string& path, const Options& options) {
  abandon();
  written_ = 0;
  impl_ = std::make_unique<Impl>();
  Impl& m = *impl_;
  if (path.empty()) return failure_of(ENOENT, "open an empty name");
  target_ = path;
  if (const int stream = windows::stream_of(path); stream != 0) {
    m.stream = stream;
    kind_ = Kind::Stream;
    return std::nullopt;
  }
  if (auto f = windows::unwritable_name(path)) return f;
  const std::string name = windows::name_of(path);
  if (name.empty() || name == "." || name == "..") {
    return failure_for(WriteFailure::Reason::Folder, "a folder: " + path);
  }
  const std::wstring wpath = wide(path);
  DWORD attributes = GetFileAttributesW(wpath.c_str());
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  if (!exists) {
    const DWORD code = GetLastError();
    if (code != ERROR_FILE_NOT_FOUND) return windows::failure_of_code(code, "stat " + path);
  }
  if (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return failure_for(WriteFailure::Reason::Folder, "a folder: " + path);
  }
  const bool link = exists && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  if (link && options.replaceWhatIsNotAFile) {
    // The link itself is replaced by the new file.
    Handle h(CreateFileW(wpath.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!h.valid()) return windows::failure_of_code(GetLastError(), "open " + path);
    m.original = windows::key_of_handle(h.get());
    m.replaceByMove = true;
  } else if (exists) {
    if (link) {
      // A link is followed: the file it points to is replaced, the link stays.
      Handle h(CreateFileW(wpath.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
      if (!h.valid()) return windows::failure_of_code(GetLastError(), "open " + path);
      std::wstring buffer(32768, L'\0');
      const DWORD n =
          GetFinalPathNameByHandleW(h.get(), buffer.data(), 32768, FILE_NAME_NORMALIZED);
      if (n == 0 || n >= 32768) return windows::failure_of_code(GetLastError(), "follow " + path);
      buffer.resize(n);
      if (buffer.starts_with(L"\\\\?\\UNC\\")) {
        buffer = L"\\\\" + buffer.substr(8);
      } else if (buffer.starts_with(L"\\\\?\\")) {
        buffer = buffer.substr(4);
      }
      target_ = windows::narrow(buffer);
      attributes = GetFileAttributesW(buffer.c_str());
    }
    // The file must be one that can be replaced: a file on a disk, not a device or a pipe.
    Handle h(CreateFileW(wide(target_).c_str(), GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!h.valid()) return windows::failure_of_code(GetLastError(), "open " + target_);
    const DWORD type = GetFileType(h.get());
    if (type == FILE_TYPE_CHAR) {
      // NUL, a console: written as a stream.
      m.file = Handle(CreateFileW(wide(target_).c_str(), GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                  nullptr));
      if (!m.file.valid()) return windows::failure_of_code(GetLastError(), "open " + target_);
      kind_ = Kind::Stream;
      return std::nullopt;
    }
    if (type != FILE_TYPE_DISK) {
      return failure_for(WriteFailure::Reason::NotRegularFile, "not a regular file: " + target_);
    }
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) return failure_of(EACCES, "write " + target_);
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileInformationByHandle(h.get(), &info) && info.nNumberOfLinks > 1) {
      return failure_for(WriteFailure::Reason::HardLinked,
                         std::to_string(info.nNumberOfLinks) + " hard links: " + target_);
    }
    m.original = windows::key_of_handle(h.get());
    h.reset();
    // A file that another program holds open without letting it be replaced (a workbook open
    // in a spreadsheet) is said at once, before anything is computed or written.
    Handle probe(CreateFileW(wide(target_).c_str(), GENERIC_WRITE | DELETE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, 0, nullptr));
    if (!probe.valid()) return windows::failure_of_code(GetLastError(), "open " + target_);
  }
  if (!options.permissionsOf.empty()) {
    m.permissionsOf = wide(options.permissionsOf);
    m.replaceByMove = true;  // the new file keeps the permissions it is given here
  }

  const std::string folder = windows::folder_of(target_);
  kind_ = exists ? Kind::Replace : Kind::NewFile;
  for (int attempt = 0; attempt < kMaxNameTries; ++attempt) {
    const std::string temporary =
        join(folder, temporary_name(windows::name_of(target_), random_suffix(), kNameMax));
    const std::wstring wtemporary = windows::full_path(wide(temporary));
    HANDLE h = CreateFileW(wtemporary.c_str(), GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      m.file = Handle(h);
      m.temporary = wtemporary;
      m.temporaryUtf8 = windows::narrow(wtemporary);
      m.pendingSlot = claim_slot(wtemporary);
      if (!m.permissionsOf.empty()) {
        if (auto f = m.takePermissions(target_)) {
          abandon();
          return f;
        }
      }
      return std::nullopt;
    }
    const DWORD code = GetLastError();
    if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) {
      const WriteFailure f = windows::failure_of_code(code, "create " + temporary);
      abandon();
      return f;
    }
  }
  abandon();
  return failure_of(EEXIST, "create a temporary name in " + folder);
}

std::optional<WriteFailure> SafeOutput::write(std::string_view bytes) {
  Impl& m = *impl_;
  if (kind_ == Kind::None) return failure_of(EBADF, "write");
  const char* data = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    const DWORD chunk = static_cast<DWORD>(left > 0x40000000 ? 0x40000000 : left);
    if (m.stream != 0) {
      const int n = _write(m.stream, data, chunk);
      if (n < 0) return failure_of(errno, "write " + target_);
      if (n == 0) return failure_of(ENOSPC, "write " + target_ + " (nothing written)");
      data += n;
      left -= static_cast<std::size_t>(n);
      written_ += static_cast<std::size_t>(n);
      continue;
    }
    DWORD n = 0;
    if (!WriteFile(m.file.get(), data, chunk, &n, nullptr)) {
      return windows::failure_of_code(GetLastError(), "write " + target_);
    }
    if (n == 0) return failure_of(ENOSPC, "write " + target_ + " (nothing written)");
    data += n;
    left -= n;
    written_ += n;
  }
  return std::nullopt;
}

std::optional<WriteFailure> SafeOutput::commit() {
  Impl& m = *impl_;
  if (kind_ == Kind::None) return failure_of(EBADF, "commit");
  if (kind_ == Kind::Stream) {
    m.file.reset();
    kind_ = Kind::None;
    return std::nullopt;
  }
  auto fail = [this](const WriteFailure& f) {
    abandon();
    return f;
  };
  // Space the file system only claims when the data go out shows up here.
  if (m.file.valid() && !FlushFileBuffers(m.file.get())) {
    return fail(windows::failure_of_code(GetLastError(), "write " + target_));
  }
  m.file.reset();
  const std::wstring target = windows::full_path(wide(target_));
  if (kind_ == Kind::NewFile) {
    SetFileAttributesW(m.temporary.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!MoveFileExW(m.temporary.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
      const DWORD code = GetLastError();
      if (code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS) {
        return fail(failure_for(WriteFailure::Reason::Changed, "created meanwhile: " + target_));
      }
      return fail(windows::failure_of_code(code, "rename to " + target_));
    }
  } else {
    // The file must still be the one found at open().
    std::optional<FileKey> now;
    if (m.replaceByMove) {
      Handle h(CreateFileW(
          target.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
      if (h.valid()) now = windows::key_of_handle(h.get());
    } else {
      now = file_key(target_);
    }
    if (!now || !m.original || *now != *m.original) {
      return fail(failure_for(WriteFailure::Reason::Changed, "replaced meanwhile: " + target_));
    }
    const BOOL done =
        m.replaceByMove ? MoveFileExW(m.temporary.c_str(), target.c_str(),
                                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
                        : ReplaceFileW(target.c_str(), m.temporary.c_str(), nullptr,
                                       REPLACEFILE_WRITE_THROUGH | REPLACEFILE_IGNORE_MERGE_ERRORS,
                                       nullptr, nullptr);
    if (!done) {
      // Windows leaves the old file under its name (or, failing that, as it was), never half
      // of either; a file held open elsewhere is said as such.
      return fail(windows::failure_of_code(GetLastError(), "replace " + target_));
    }
    if (m.replaceByMove) SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
  }
  m.temporary.clear();
  m.temporaryUtf8.clear();
  release_slot(m.pendingSlot);
  kind_ = Kind::None;
  return std::nullopt;
}

void remove_pending_temporaries() noexcept {
  for (std::size_t i = 0; i < kSlots; ++i) {
    if (pendingUsed[i].load()) DeleteFileW(pendingNames[i].data());
  }
}

}  // namespace pellucor::platform
