#include "analysis/batch/batch.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <mutex>
#include <thread>

#include "analysis/batch/result_columns.hpp"
#include "modules/registry.hpp"
#include "sheet/control_names.hpp"

namespace pellucor::analysis::batch {

using sheet::Control;

namespace {

std::string trim(std::string_view s) {
  const auto first = s.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(" \t");
  return std::string(s.substr(first, last - first + 1));
}

RowOutcome stopped(std::string text, Control control) {
  RowOutcome o;
  o.status = RowOutcome::Status::Stopped;
  o.control = control;
  o.statusText = control == Control::None ? std::move(text)
                                          : std::string(sheet::control_name(control)) + ": " + text;
  return o;
}

// The item of the steel-kind list a cell names: 1, 2, 3, an item text or its name.
std::optional<std::string> steel_item(const std::string& cell) {
  for (std::size_t i = 0; i < sheet::kSteelItems.size(); ++i) {
    const std::string_view item = sheet::kSteelItems[i];
    if (cell == std::to_string(i + 1) || cell == item || cell == item.substr(2)) {
      return std::string(item);
    }
  }
  return std::nullopt;
}

}  // namespace

std::vector<InputColumn> resolve_columns(const sheet::SheetTable& table,
                                         const std::vector<std::string>& header) {
  std::vector<InputColumn> columns;
  for (const std::string& given : header) {
    const std::string name = trim(given);
    InputColumn c;
    c.header = given;
    if (sheet::iequal(name, "member")) {
      c.kind = InputColumn::Kind::Member;
    } else if (const Control control = control_by_name(table, name); control != Control::None) {
      c.kind = InputColumn::Kind::Control;
      c.control = control;
    } else if (const auto* group = group_by_name(table, name)) {
      c.kind = InputColumn::Kind::Group;
      c.group = group;
    } else {
      throw ColumnError("unknown column '" + given + "' for sheet " + std::to_string(table.number));
    }
    for (const InputColumn& before : columns) {
      if (before.kind == c.kind && before.control == c.control && before.group == c.group) {
        throw ColumnError("duplicated column '" + given + "' (the same as '" + before.header +
                          "')");
      }
    }
    columns.push_back(std::move(c));
  }
  return columns;
}

std::vector<MemberRow> member_rows(const std::vector<CsvRecord>& records, std::size_t columns) {
  std::vector<MemberRow> rows;
  if (records.empty()) return rows;
  rows.reserve(records.size() - 1);
  for (std::size_t i = 1; i < records.size(); ++i) {
    const CsvRecord& r = records[i];
    MemberRow row;
    row.raw = r.raw;
    if (!r.error.empty()) {
      row.malformed = "malformed row (line " + std::to_string(r.line) + "): " + r.error;
    } else if (r.fields.size() != columns) {
      row.malformed = "malformed row (line " + std::to_string(r.line) +
                      "): " + std::to_string(r.fields.size()) + " fields where the header has " +
                      std::to_string(columns);
    } else {
      row.cells = r.fields;
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

std::optional<std::vector<Entry>> row_entries(const sheet::SheetTable& table,
                                              const std::vector<InputColumn>& columns,
                                              const std::vector<std::string>& cells,
                                              RowOutcome* refused) {
  auto refuse = [refused](std::string text, Control control) -> std::optional<std::vector<Entry>> {
    if (refused != nullptr) *refused = stopped(std::move(text), control);
    return std::nullopt;
  };
  std::vector<Entry> entries;
  entries.reserve(columns.size());
  for (std::size_t i = 0; i < columns.size() && i < cells.size(); ++i) {
    const InputColumn& c = columns[i];
    const std::string& cell = cells[i];
    switch (c.kind) {
      case InputColumn::Kind::Member:
        break;
      case InputColumn::Kind::Control:
        if (c.control == Control::Combo1) {
          const std::string value = trim(cell);
          if (value.empty()) break;
          const auto item = steel_item(value);
          if (!item) {
            return refuse("'" + cell + "' is no steel kind (1, 2, 3 or an item of the list)",
                          c.control);
          }
          entries.push_back({c.control, *item});
        } else if (is_option_of(table, c.control)) {
          const std::string value = trim(cell);
          if (value.empty() || value == "0") break;
          if (value != "1") {
            return refuse("'" + cell + "' chooses nothing (1 chooses the option, 0 or empty not)",
                          c.control);
          }
          entries.push_back({c.control, "1"});
        } else {
          entries.push_back({c.control, cell});
        }
        break;
      case InputColumn::Kind::Group: {
        const std::string value = trim(cell);
        if (value.empty()) break;
        Control chosen = Control::None;
        for (std::size_t k = 0; k < c.group->options.size(); ++k) {
          const auto& o = c.group->options[k];
          if (sheet::is_named(o, value, sheet::NameKinds::All) || value == std::to_string(k + 1)) {
            chosen = o.control;
          }
        }
        if (chosen == Control::None) {
          return refuse("'" + cell + "' is no option of " + std::string(c.group->caption),
                        c.group->options[0].control);
        }
        entries.push_back({chosen, "1"});
        break;
      }
    }
  }
  return entries;
}

RowOutcome run_member(const sheet::Module& module, const std::vector<InputColumn>& columns,
                      const MemberRow& row) {
  if (!row.malformed.empty()) {
    RowOutcome o;
    o.status = RowOutcome::Status::Malformed;
    o.statusText = row.malformed;
    return o;
  }
  RowOutcome refused;
  const auto entries = row_entries(module.table(), columns, row.cells, &refused);
  if (!entries) return refused;
  const CaseResult result = run_case(module, *entries);
  if (!result.done) {
    if (result.message) return stopped(result.message->text, result.message->control);
    return stopped("the calculation did not complete", Control::None);
  }
  RowOutcome o;
  o.status = RowOutcome::Status::Done;
  o.statusText = kStatusOk;
  o.results = result_cells(result);
  return o;
}

std::vector<RowOutcome> run_members(const sheet::Module& module,
                                    const std::vector<InputColumn>& columns,
                                    const std::vector<MemberRow>& rows, const RunOptions& options) {
  std::vector<RowOutcome> outcomes(rows.size());
  if (rows.empty()) return outcomes;
  unsigned jobs =
      options.jobs != 0 ? options.jobs : std::max(1u, std::thread::hardware_concurrency());
  jobs = static_cast<unsigned>(std::min<std::size_t>(jobs, rows.size()));
  constexpr std::size_t kChunk = 16;  // rows a worker takes at a time
  std::atomic<std::size_t> next{0};
  std::atomic<std::size_t> finished{0};
  std::mutex progressMutex;
  std::size_t reported = 0;
  const std::size_t step = std::max<std::size_t>(1, rows.size() / 200);
  auto work = [&] {
    for (;;) {
      if (options.cancel != nullptr && options.cancel->load()) return;
      const std::size_t begin = next.fetch_add(kChunk);
      if (begin >= rows.size()) return;
      const std::size_t end = std::min(rows.size(), begin + kChunk);
      for (std::size_t i = begin; i < end; ++i) {
        if (options.cancel != nullptr && options.cancel->load()) return;
        outcomes[i] = run_member(module, columns, rows[i]);
        const std::size_t done = finished.fetch_add(1) + 1;
        if (options.progress && (done % step == 0 || done == rows.size())) {
          std::lock_guard lock(progressMutex);
          // Counts taken by other workers may arrive late: report only progress.
          if (done > reported) {
            reported = done;
            options.progress(done, rows.size());
          }
        }
      }
    }
  };
  std::vector<std::thread> threads;
  for (unsigned k = 1; k < jobs; ++k) threads.emplace_back(work);
  work();
  for (auto& t : threads) t.join();
  return outcomes;
}

OutputTable output_table(int sheet, const std::vector<std::string>& header,
                         const std::vector<InputColumn>& columns,
                         const std::vector<MemberRow>& rows,
                         const std::vector<RowOutcome>& outcomes) {
  OutputTable t;
  t.header = header;
  t.statusColumn = header.size();
  t.header.emplace_back("status");
  t.firstResultColumn = t.header.size();
  const auto& results = result_headers(sheet);
  t.header.insert(t.header.end(), results.begin(), results.end());
  t.textColumns.assign(t.header.size(), false);
  for (std::size_t i = 0; i < columns.size(); ++i) {
    t.textColumns[i] = columns[i].kind != InputColumn::Kind::Control;
  }
  t.textColumns[t.statusColumn] = true;
  t.rows.reserve(rows.size());
  for (std::size_t r = 0; r < rows.size(); ++r) {
    const MemberRow& row = rows[r];
    const RowOutcome& o = outcomes[r];
    std::vector<std::string> cells;
    cells.reserve(t.header.size());
    if (row.malformed.empty()) {
      cells = row.cells;
    } else {
      // Nothing is lost: the line as it stands goes into the first column.
      cells.assign(header.size(), std::string());
      if (!cells.empty()) cells[0] = row.raw;
    }
    cells.resize(header.size());
    cells.push_back(o.status == RowOutcome::Status::NotRun ? std::string("not run") : o.statusText);
    for (std::size_t k = 0; k < results.size(); ++k) {
      cells.push_back(k < o.results.size() ? o.results[k] : std::string());
    }
    t.rows.push_back(std::move(cells));
    t.stopped.push_back(o.status != RowOutcome::Status::Done);
  }
  return t;
}

std::string csv_text(const OutputTable& table) {
  std::string out = csv_line(table.header);
  for (const auto& row : table.rows) out += csv_line(row);
  return out;
}

Summary summarize(const std::vector<RowOutcome>& outcomes) {
  Summary s;
  s.rows = outcomes.size();
  for (const RowOutcome& o : outcomes) {
    switch (o.status) {
      case RowOutcome::Status::Done:
        ++s.done;
        break;
      case RowOutcome::Status::Stopped:
        ++s.stopped;
        break;
      case RowOutcome::Status::Malformed:
        ++s.malformed;
        break;
      case RowOutcome::Status::NotRun:
        ++s.notRun;
        break;
    }
  }
  return s;
}

std::string summary_line(const Summary& s) {
  std::string line = std::to_string(s.rows) + (s.rows == 1 ? " member: " : " members: ") +
                     std::to_string(s.done) + " computed, " + std::to_string(s.stopped) +
                     " stopped at a message, " + std::to_string(s.malformed) + " malformed";
  if (s.notRun > 0) line += ", " + std::to_string(s.notRun) + " not run";
  return line;
}

bool number_cell(const std::string& text, double* value) {
  if (text.empty()) return false;
  // Independent of the C locale (the desktop program runs under the user's).
  const char* begin = text.data();
  const char* end = begin + text.size();
  if (*begin == '+') return false;
  double v = 0;
  const auto [ptr, ec] = std::from_chars(begin, end, v);
  if (ec != std::errc() || ptr != end || !std::isfinite(v)) return false;
  if (value != nullptr) *value = v;
  return true;
}

}  // namespace pellucor::analysis::batch
