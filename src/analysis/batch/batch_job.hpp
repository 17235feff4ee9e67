// A batch job from end to end, shared by the console's batch command and the desktop's member
// table: read a member table (a file or standard input, its encoding detected or given), run
// its members through a sheet, and write the output table, in ordered blocks of rows so that
// memory stays bounded whatever the number of members.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "analysis/batch/batch.hpp"
#include "analysis/batch/csv.hpp"
#include "analysis/batch/output_file.hpp"
#include "sheet/safe_output.hpp"
#include "sheet/sheet_table.hpp"

namespace pellucor::analysis::batch {

struct ReadOptions {
  std::optional<Encoding> encoding;  // none: detected on a first pass over the input
  bool countMembers = false;         // count the members on a first pass (a workbook needs it)
  // The sheet the table is for: when the bytes read both as UTF-8 and as GBK, the reading in
  // which its column names and list choices are known is taken (see EncodingDetector).
  const sheet::SheetTable* sheet = nullptr;
};

struct MemberTable;

// A member table being read: its header at once, then its members in blocks.
//
// A first pass checks the encoding (detects it, or checks that every line is valid in the one
// given) and counts the members before any member is read: a regular file is read once more
// from the start; other input (a pipe) is kept meanwhile in an unnamed temporary file, so that
// memory stays bounded — except with the encoding given and no count asked for, when a pipe is
// read once, as it comes (a line not valid in the encoding then stops the reading there). Throws
// EncodingError (the encoding cannot be told, a line is not valid in it), std::runtime_error (the
// input cannot be opened or read, it has no header row).
class MemberReader {
 public:
  ~MemberReader();
  MemberReader(const MemberReader&) = delete;
  MemberReader& operator=(const MemberReader&) = delete;

  // A file by name, or standard input for "-".
  static std::unique_ptr<MemberReader> open(const std::string& path, const ReadOptions& options);
  // Text in memory (a table pasted or held by the program).
  static std::unique_ptr<MemberReader> of_text(std::string bytes, const ReadOptions& options);
  // A table already read (a workbook's): its rows handed out as they stand, in UTF-8.
  static std::unique_ptr<MemberReader> of_table(MemberTable table);

  // The header row (UTF-8) and its line.
  const std::vector<std::string>& header() const { return header_; }
  // The number of members, when a first pass counted them.
  std::optional<std::size_t> members() const { return members_; }
  Encoding encoding() const { return encoding_; }

  // Appends up to `max` member rows to `rows`; false when the input has no more.
  bool read(std::vector<MemberRow>& rows, std::size_t max);
  // Puts the next members, up to `max`, into `rows` in place of what it held (its memory is
  // used again); how many, 0 at the end.
  std::size_t refill(std::vector<MemberRow>& rows, std::size_t max);

 private:
  struct Impl;
  explicit MemberReader(std::unique_ptr<Impl> impl);
  void start(const ReadOptions& options);

  std::unique_ptr<Impl> impl_;
  std::vector<std::string> header_;
  std::optional<std::size_t> members_;
  Encoding encoding_ = Encoding::Utf8;
};

// A whole member table in memory (the desktop's import, a workbook).
struct MemberTable {
  std::vector<std::string> header;
  std::vector<MemberRow> rows;  // cells per the header (not yet resolved to columns)
  Encoding encoding = Encoding::Utf8;
};
MemberTable read_member_table(const std::string& path, std::optional<Encoding> encoding,
                              const sheet::SheetTable* sheet = nullptr);

struct JobOptions {
  unsigned jobs = 0;         // threads; 0: one per core
  std::size_t block = 4096;  // members read, run and written at a time
  // Told of progress now and then (members finished, members in all when known).
  std::function<void(std::size_t done, std::optional<std::size_t> total)> progress;
  const std::atomic<bool>* cancel = nullptr;  // set to stop after the rows running
  // Starts a thread (see ParallelOptions::startThread); empty: std::thread.
  std::function<std::thread(std::function<void()>)> startThread;
};

struct JobReport {
  Summary summary;
  unsigned threads = 0;  // threads that ran members
  unsigned refused = 0;  // threads asked for that the system would not start
  bool cancelled = false;
};

// Runs every member of `input` through `module` with `columns` (resolved from its header) and
// writes the output header and rows to `output` in the input's order; the caller finishes the
// output. Throws what reading and writing throw (EncodingError, FileError).
JobReport run_batch_job(const sheet::Module& module, const std::vector<InputColumn>& columns,
                        MemberReader& input, TableWriter& output, const JobOptions& options);

}  // namespace pellucor::analysis::batch
