// Saving a project so that the old file survives anything that goes wrong: the new content is
// written whole through the program's safe output (an unnamed file beside the target, linked in
// only when complete; an existing file keeps its mode, owner and group; a symbolic link is
// followed and stays), and before it takes the target's place the target's current content is
// saved the same way as its backup (target + ".bak"). The backup takes the target's
// permissions (mode, owner, group and access list; on Windows its security descriptor) before
// its first byte, whatever an older backup had, so that an old version is never more readable
// than the file it comes from; a link, a pipe or a device under the backup's name is replaced
// by the backup, never followed or written into. Until the new content is put in place the
// target is untouched; if the backup cannot be written nothing is saved.
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

// Writes `bytes` to `path`, the previous content kept as the backup. Throws SaveError: the
// file at `path` is then as it was (its backup may already hold that same content); no
// temporary file is left behind.
void save_file_keeping_backup(const std::string& path, std::string_view bytes);

}  // namespace pellucor::analysis::project
