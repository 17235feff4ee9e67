// Saving a file so that the old one survives anything that goes wrong: the bytes go to a new
// file beside the target, are flushed to the disk, the target's current content is copied to
// its backup (target + ".bak", replaced the same way), and only then is the new file renamed
// over the target. Until that rename the target is untouched; the rename itself is atomic.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace pellucor::analysis::project {

inline constexpr std::string_view kBackupSuffix = ".bak";

struct SaveError : std::runtime_error {
  SaveError(const std::string& english, std::string chinese)
      : std::runtime_error(english), text(std::move(chinese)) {}
  std::string text;  // Chinese, for the desktop program
};

// Writes `bytes` to `path`. A symbolic link is followed: its target is replaced, the link
// stays. A new file gets the permissions the user's umask gives; a replaced file keeps its own
// (the backup gets them too). Throws SaveError; no temporary file is left behind.
void save_file_keeping_backup(const std::string& path, std::string_view bytes);

}  // namespace pellucor::analysis::project
