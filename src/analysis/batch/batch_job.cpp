#include "analysis/batch/batch_job.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <stdexcept>
#include <system_error>

#include "platform/files.hpp"
#include "platform/temporary_files.hpp"
#include "sheet/control_names.hpp"
#include "sheet/user_input.hpp"

namespace pellucor::analysis::batch {

namespace {

std::string errno_text(int err) {
  return std::error_code(err, std::generic_category()).message();
}

// Hands each line on to a detector, and to a copy when the input cannot be read twice.
class TeeLines final : public LineSource {
 public:
  TeeLines(LineSource& inner, EncodingDetector& detector, int copy)
      : inner_(inner), detector_(detector), copy_(copy) {}
  bool next(std::string& line) override {
    if (!inner_.next(line)) return false;
    detector_.line(line);
    if (copy_ >= 0) {
      buffer_ += line;
      buffer_ += '\n';
      if (buffer_.size() >= (1 << 16)) flush();
    }
    return true;
  }
  void flush() {
    const char* p = buffer_.data();
    std::size_t left = buffer_.size();
    while (left > 0) {
      const std::ptrdiff_t n = platform::write_some(copy_, p, left);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        throw std::runtime_error("cannot keep the standard input in a temporary file: " +
                                 errno_text(n < 0 ? errno : ENOSPC));
      }
      p += n;
      left -= static_cast<std::size_t>(n);
    }
    buffer_.clear();
  }

 private:
  LineSource& inner_;
  EncodingDetector& detector_;
  int copy_;
  std::string buffer_;
};

// A file for a copy of the standard input, in the folder for temporary files; gone when closed.
int temporary_copy() {
  std::string error;
  const int fd = platform::scratch_file(error);
  if (fd < 0) throw std::runtime_error(error);
  return fd;
}

EncodingError not_valid(std::size_t line, Encoding encoding) {
  return EncodingError(EncodingError::Kind::NotValid, line,
                       "line " + std::to_string(line) + " is not " +
                           (encoding == Encoding::Gbk ? "GBK" : "UTF-8") +
                           ", the encoding given for the input");
}

// Tells the detector which reading of a record makes a known name or choice unknown: the
// header's column names, then the cells of the steel list and of the option columns.
class MeaningCheck {
 public:
  MeaningCheck(const sheet::SheetTable& table, EncodingDetector& detector)
      : table_(table), detector_(detector) {}

  void record(const CsvRecord& r) {
    if (!r.error.empty()) return;
    if (!headerSeen_) {
      headerSeen_ = true;
      header(r.fields);
      return;
    }
    if (r.fields.size() != targets_.size()) return;
    for (std::size_t c = 0; c < targets_.size(); ++c) {
      if (targets_[c].kind == sheet::InputTarget::Kind::None ||
          targets_[c].kind == sheet::InputTarget::Kind::Box || ascii(r.fields[c])) {
        continue;
      }
      const auto known = [&](Decoder& d) {
        std::string text;
        return d.decode(r.fields[c], text) &&
               sheet::typed_value(targets_[c], text, true).kind != sheet::TypedValue::Kind::Refused;
      };
      tell(known(utf8_), known(gbk_));
    }
  }

 private:
  static bool ascii(std::string_view s) {
    for (char ch : s) {
      if (static_cast<unsigned char>(ch) >= 0x80) return false;
    }
    return true;
  }

  void tell(bool knownUtf8, bool knownGbk) {
    if (knownUtf8 && !knownGbk) detector_.unknownUnder(Encoding::Gbk);
    if (knownGbk && !knownUtf8) detector_.unknownUnder(Encoding::Utf8);
  }

  // The targets of the header's names under a reading; none when a name is unknown there.
  std::optional<std::vector<sheet::InputTarget>> targets(const std::vector<std::string>& fields,
                                                         Decoder& d) {
    std::vector<sheet::InputTarget> out;
    for (const std::string& f : fields) {
      std::string name;
      if (!d.decode(f, name)) return std::nullopt;
      name = sheet::trim_blanks_and_tabs(name);
      if (sheet::iequal(name, "member")) {
        out.emplace_back();
        continue;
      }
      if (is_status_header(name)) break;  // an earlier run's output from here on
      const sheet::InputTarget t = input_named(table_, name);
      if (t.kind == sheet::InputTarget::Kind::None) return std::nullopt;
      out.push_back(t);
    }
    out.resize(fields.size());  // the output columns: nothing to check
    return out;
  }

  void header(const std::vector<std::string>& fields) {
    auto u = targets(fields, utf8_);
    auto g = targets(fields, gbk_);
    tell(u.has_value(), g.has_value());
    if (u)
      targets_ = std::move(*u);
    else if (g)
      targets_ = std::move(*g);
  }

  const sheet::SheetTable& table_;
  EncodingDetector& detector_;
  Decoder utf8_{Encoding::Utf8};
  Decoder gbk_{Encoding::Gbk};
  bool headerSeen_ = false;
  std::vector<sheet::InputTarget> targets_;  // per column ("member": None)
};

}  // namespace

struct MemberReader::Impl {
  int fd = -1;
  bool ownsFd = false;
  int copy = -1;  // the copy of a pipe, when one was made
  std::string text;
  std::unique_ptr<LineSource> lines;
  std::unique_ptr<CsvReader> records;
  std::unique_ptr<Decoder> decoder;
  std::size_t columns = 0;
  CsvRecord record;
  // A table already read: its rows, and the next one to hand out.
  bool fromTable = false;
  std::vector<MemberRow> held;
  std::size_t nextHeld = 0;

  ~Impl() {
    if (ownsFd) platform::close_file(fd);
    platform::close_file(copy);
  }

  std::unique_ptr<LineSource> source(int from) const {
    if (from < 0) return std::make_unique<MemoryLines>(text);
    return std::make_unique<FileLines>(from);
  }

  // The fields of a record in UTF-8 (and its line as it stands, when the record is malformed);
  // false when they are not valid in the encoding.
  bool decode(CsvRecord& r, std::size_t expected) {
    for (std::string& f : r.fields) {
      if (!decoder->decodeInPlace(f)) return false;
    }
    if (r.error.empty() && (expected == 0 || r.fields.size() == expected)) {
      r.raw.clear();
      return true;
    }
    return decoder->decodeInPlace(r.raw);
  }
};

MemberReader::MemberReader(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
MemberReader::~MemberReader() = default;

std::unique_ptr<MemberReader> MemberReader::open(const std::string& path,
                                                 const ReadOptions& options) {
  auto impl = std::make_unique<Impl>();
  if (path == "-") {
    impl->fd = 0;  // standard input
  } else {
    int error = 0;
    impl->fd = platform::open_for_reading(path, error);
    if (impl->fd < 0) throw std::runtime_error("cannot read " + path + ": " + errno_text(error));
    impl->ownsFd = true;
    if (platform::is_folder(impl->fd)) {
      throw std::runtime_error("cannot read " + path + ": it is a folder");
    }
  }
  std::unique_ptr<MemberReader> reader(new MemberReader(std::move(impl)));
  reader->start(options);
  return reader;
}

std::unique_ptr<MemberReader> MemberReader::of_text(std::string bytes, const ReadOptions& options) {
  auto impl = std::make_unique<Impl>();
  impl->text = std::move(bytes);
  std::unique_ptr<MemberReader> reader(new MemberReader(std::move(impl)));
  reader->start(options);
  return reader;
}

std::unique_ptr<MemberReader> MemberReader::of_table(MemberTable table) {
  auto impl = std::make_unique<Impl>();
  impl->fromTable = true;
  impl->held = std::move(table.rows);
  std::unique_ptr<MemberReader> reader(new MemberReader(std::move(impl)));
  reader->header_ = std::move(table.header);
  reader->members_ = reader->impl_->held.size();
  reader->encoding_ = table.encoding;
  reader->impl_->columns = reader->header_.size();
  return reader;
}

void MemberReader::start(const ReadOptions& options) {
  Impl& m = *impl_;
  int from = m.fd;  // where the members are read from (-1: the text)
  const std::int64_t startAt = platform::regular_file_position(m.fd);
  // A file that can be read twice is always checked whole before a member runs.
  const bool firstPass = !options.encoding || options.countMembers || startAt >= 0 || m.fd < 0;
  if (firstPass) {
    if (m.fd >= 0 && startAt < 0) {
      m.copy = temporary_copy();
      from = m.copy;
    }
    EncodingDetector detector(options.encoding);
    auto inner = m.source(m.fd);
    TeeLines tee(*inner, detector, m.copy);
    CsvReader counter(tee);
    // The pass counts the records; of their fields it needs the header's and those a reading
    // of the bytes could change (non-ASCII).
    counter.countAsciiOnly(true);
    std::optional<MeaningCheck> meaning;
    if (options.sheet != nullptr && !options.encoding) meaning.emplace(*options.sheet, detector);
    std::size_t records = 0;
    for (CsvRecord r; counter.next(r); ++records) {
      if (records == 0 && r.error.empty()) counter.expectFields(r.fields.size());
      if (meaning) meaning->record(r);
    }
    if (m.copy >= 0) tee.flush();
    encoding_ = detector.decide();
    members_ = records > 0 ? records - 1 : 0;
    if (m.copy >= 0) {
      if (!platform::seek_file(m.copy, 0)) {
        throw std::runtime_error("cannot read back the copy of the standard input: " +
                                 errno_text(errno));
      }
    } else if (startAt >= 0 && !platform::seek_file(m.fd, startAt)) {
      throw std::runtime_error("cannot read the input again: " + errno_text(errno));
    }
  } else {
    encoding_ = *options.encoding;
  }
  m.decoder =
      std::make_unique<Decoder>(encoding_ == Encoding::Gbk ? Encoding::Gbk : Encoding::Utf8);
  m.lines = m.source(from);
  m.records = std::make_unique<CsvReader>(*m.lines);
  CsvRecord head;
  if (!m.records->next(head)) throw std::runtime_error("the input has no header row");
  if (!head.error.empty()) {
    throw std::runtime_error("the header row (line " + std::to_string(head.line) +
                             ") is malformed: " + head.error);
  }
  if (!m.decode(head, 0)) {
    throw not_valid(head.line, encoding_);
  }
  header_ = std::move(head.fields);
  m.columns = header_.size();
  m.records->expectFields(m.columns);
}

std::size_t MemberReader::refill(std::vector<MemberRow>& rows, std::size_t max) {
  Impl& m = *impl_;
  std::size_t n = 0;
  if (m.fromTable) {
    for (; n < max && m.nextHeld < m.held.size(); ++n) {
      if (n == rows.size()) rows.emplace_back();
      rows[n] = std::move(m.held[m.nextHeld++]);
    }
    rows.resize(n);
    return n;
  }
  for (; n < max; ++n) {
    if (!m.records->next(m.record)) break;
    if (!m.decode(m.record, m.columns)) throw not_valid(m.record.line, encoding_);
    if (n == rows.size()) rows.emplace_back();
    fill_member_row(rows[n], m.record, m.columns);
  }
  rows.resize(n);
  return n;
}

bool MemberReader::read(std::vector<MemberRow>& rows, std::size_t max) {
  Impl& m = *impl_;
  if (m.fromTable) {
    const std::size_t n = std::min(max, m.held.size() - m.nextHeld);
    for (std::size_t k = 0; k < n; ++k) rows.push_back(std::move(m.held[m.nextHeld++]));
    return n > 0;
  }
  for (std::size_t n = 0; n < max; ++n) {
    if (!m.records->next(m.record)) return n > 0;
    if (!m.decode(m.record, m.columns)) {
      throw not_valid(m.record.line, encoding_);
    }
    rows.push_back(member_row(std::move(m.record), m.columns));
    m.record = CsvRecord{};
  }
  return true;
}

MemberTable read_member_table(const std::string& path, std::optional<Encoding> encoding,
                              const sheet::SheetTable* sheet) {
  ReadOptions options;
  options.encoding = encoding;
  options.sheet = sheet;
  auto reader = MemberReader::open(path, options);
  MemberTable table;
  table.header = reader->header();
  table.encoding = reader->encoding();
  while (reader->read(table.rows, 4096)) {
  }
  return table;
}

JobReport run_batch_job(const sheet::Module& module, const std::vector<InputColumn>& columns,
                        MemberReader& input, TableWriter& output, const JobOptions& options) {
  const int sheet = module.table().number;
  // The input's columns before an earlier run's output (see resolve_columns): this run writes
  // its own.
  const std::size_t statusColumn = std::min(columns.size(), input.header().size());
  const std::vector<std::string> header = output_header(
      sheet,
      {input.header().begin(), input.header().begin() + static_cast<std::ptrdiff_t>(statusColumn)});
  std::vector<bool> textColumns = text_columns(columns);
  textColumns.resize(header.size(), false);
  textColumns[statusColumn] = true;
  output.header(header, textColumns, statusColumn);

  JobReport report;
  RunOptions run;
  run.jobs = options.jobs;
  run.cancel = options.cancel;
  run.startThread = options.startThread;
  const std::size_t block = std::max<std::size_t>(1, options.block);
  std::vector<MemberRow> rows;
  std::vector<RowOutcome> outcomes;
  std::size_t done = 0;
  for (;;) {
    if (options.cancel != nullptr && options.cancel->load()) {
      report.cancelled = true;
      break;
    }
    if (input.refill(rows, block) == 0) break;
    if (options.progress) {
      run.progress = [&](std::size_t n, std::size_t) {
        options.progress(done + n, input.members());
      };
    }
    RunReport threads;
    run_members(module, columns, rows, run, &threads, outcomes);
    report.threads = std::max(report.threads, threads.threads);
    report.refused = std::max(report.refused, threads.refused);
    // Threads the system would not start are not asked for again.
    if (threads.refused > 0) run.jobs = threads.threads;
    for (const RowOutcome& o : outcomes) {
      report.summary.add(o);
      report.cancelled = report.cancelled || o.status == RowOutcome::Status::NotRun;
    }
    output.members(rows, outcomes);
    done += rows.size();
  }
  return report;
}

}  // namespace pellucor::analysis::batch
