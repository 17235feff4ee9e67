#include "analysis/project/save_file.hpp"

#include <optional>

#include "platform/files.hpp"
#include "sheet/result_writer.hpp"
#include "sheet/safe_output.hpp"

namespace pellucor::analysis::project {

namespace {

[[noreturn]] void fail(const std::string& path, const sheet::WriteFailure& f) {
  throw SaveError("cannot save " + path + ": " + f.detail,
                  "无法保存 " + path + "（" + sheet::reason_text(f) + "），原文件未改动。");
}

// Writes `bytes` into an opened output; commits when `commit`.
std::optional<sheet::WriteFailure> put(sheet::SafeOutput& out, std::string_view bytes,
                                       bool commit) {
  if (auto f = out.write(bytes)) return f;
  return commit ? out.commit() : std::nullopt;
}

}  // namespace

void save_file_keeping_backup(const std::string& path, std::string_view bytes) {
  sheet::SafeOutput out;
  if (auto f = out.open(path)) fail(path, *f);
  if (auto f = put(out, bytes, false)) fail(path, *f);

  if (out.kind() == sheet::SafeOutput::Kind::Replace) {
    const std::string& target = out.target();
    const std::string backupPath = target + std::string(kBackupSuffix);
    std::string old;
    if (const auto err = platform::read_whole_file(target, old)) {
      fail(path, platform::failure_of(*err, "read " + target));
    }
    // The old content no more readable than where it comes from: the backup takes the
    // project's permissions (mode, owner, group, access list) before any byte of it, whatever
    // an older backup had. A link, a device or a pipe under the backup's name is replaced by
    // the backup, never followed or written into.
    sheet::SafeOutput backup;
    sheet::SafeOutput::Options options;
    options.permissionsOf = target;
    options.replaceWhatIsNotAFile = true;
    if (auto f = backup.open(backupPath, options)) fail(path, *f);
    if (auto f = put(backup, old, true)) fail(path, *f);
  }
  if (auto f = out.commit()) fail(path, *f);
}

}  // namespace pellucor::analysis::project
