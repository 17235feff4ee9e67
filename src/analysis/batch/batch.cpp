#include "analysis/batch/batch.hpp"

#include <algorithm>
#include <exception>
#include <new>

#include "analysis/batch/quick_case.hpp"
#include "analysis/batch/result_columns.hpp"
#include "analysis/parallel/parallel_for.hpp"
#include "modules/registry.hpp"
#include "sheet/control_names.hpp"

namespace pellucor::analysis::batch {

using sheet::Control;

namespace {

// A row stopped at a message about `control` (None: about no one input), named in the status
// by the label the sheet shows beside the input.
RowOutcome stopped(const sheet::SheetTable& table, std::string text, Control control,
                   sheet::TypedValue::Why refused = sheet::TypedValue::Why::None) {
  RowOutcome o;
  o.status = RowOutcome::Status::Stopped;
  o.control = control;
  o.refused = refused;
  o.statusText = control == Control::None
                     ? text
                     : std::string(sheet::input_label(table, control)) + ": " + text;
  o.message = std::move(text);
  return o;
}

sheet::InputTarget target_of(const InputColumn& c) {
  sheet::InputTarget t;
  switch (c.kind) {
    case InputColumn::Kind::Member:
      break;
    case InputColumn::Kind::Control:
      t.control = c.control;
      if (c.control == Control::Combo1) {
        t.kind = sheet::InputTarget::Kind::Steel;
      } else if (c.group != nullptr) {
        t.kind = sheet::InputTarget::Kind::Option;
        t.group = c.group;
      } else {
        t.kind = sheet::InputTarget::Kind::Box;
      }
      break;
    case InputColumn::Kind::Group:
      t.kind = sheet::InputTarget::Kind::Group;
      t.group = c.group;
      break;
  }
  return t;
}

// A name without blanks (half- and full-width), tabs and line breaks.
std::string without_blanks(std::string_view given) {
  std::string out;
  out.reserve(given.size());
  for (std::size_t i = 0; i < given.size(); ++i) {
    const char ch = given[i];
    if (ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n') continue;
    if (given.substr(i, 3) == "\u3000") {
      i += 2;
      continue;
    }
    out.push_back(ch);
  }
  return out;
}

// The name before a unit in brackets at its end ("保护层厚度(mm)", "环境温度（℃）"); the name
// as it is when it has none, or nothing before it.
std::string_view before_unit(std::string_view name) {
  for (const auto& [open, close] : {std::pair<std::string_view, std::string_view>{"(", ")"},
                                    std::pair<std::string_view, std::string_view>{"（", "）"}}) {
    if (!name.ends_with(close)) continue;
    const auto at = name.rfind(open);
    if (at != std::string_view::npos && at > 0) return name.substr(0, at);
  }
  return name;
}

}  // namespace

// The member's column: "member", or "构件" as the desktop's member table names it.
bool is_member_header(std::string_view name) {
  return sheet::iequal(name, "member") || name == "构件";
}

bool is_status_header(std::string_view given) {
  const std::string name = without_blanks(given);
  return sheet::iequal(name, "status") || name == "状态" || name == "检测时状态";
}

sheet::InputTarget input_named(const sheet::SheetTable& table, std::string_view given) {
  const std::string name = sheet::trim_blanks_and_tabs(given);
  if (is_member_header(name) || is_status_header(name)) return {};
  sheet::InputTarget target = sheet::find_input(table, name);
  if (target.kind != sheet::InputTarget::Kind::None) return target;
  // As the desktop's member table writes a label: with its unit, perhaps on several lines.
  const std::string compact = without_blanks(name);
  target = sheet::find_input(table, compact);
  if (target.kind == sheet::InputTarget::Kind::None) {
    target = sheet::find_input(table, before_unit(compact));
  }
  return target;
}

std::vector<std::string> earlier_output_columns(const std::vector<std::string>& header) {
  const auto status = std::find_if(header.begin(), header.end(), is_status_header);
  return {status, header.end()};
}

std::vector<InputColumn> resolve_columns(const sheet::SheetTable& table,
                                         const std::vector<std::string>& header) {
  std::vector<InputColumn> columns;
  for (std::size_t i = 0; i < header.size(); ++i) {
    const std::string& given = header[i];
    const std::string name = sheet::trim_blanks_and_tabs(given);
    if (is_status_header(name)) {
      // An earlier run's output from here on: none of it may be meant as an input.
      for (std::size_t k = i + 1; k < header.size(); ++k) {
        const std::string later = sheet::trim_blanks_and_tabs(header[k]);
        if (is_member_header(later) ||
            sheet::find_input(table, later).kind != sheet::InputTarget::Kind::None) {
          throw ColumnError(ColumnError::Kind::AfterStatus, header[k], given,
                            "column '" + header[k] + "' stands after the status column '" + given +
                                "', among the output of an earlier run; inputs come before it");
        }
      }
      break;
    }
    InputColumn c;
    c.header = given;
    const sheet::InputTarget target = input_named(table, name);
    if (is_member_header(name)) {
      c.kind = InputColumn::Kind::Member;
    } else if (target.kind == sheet::InputTarget::Kind::Group) {
      c.kind = InputColumn::Kind::Group;
      c.group = target.group;
    } else if (target.kind != sheet::InputTarget::Kind::None) {
      c.kind = InputColumn::Kind::Control;
      c.control = target.control;
      c.group = target.group;  // an option's group
    } else {
      throw ColumnError(ColumnError::Kind::Unknown, given, {},
                        "unknown column '" + given + "' for sheet " + std::to_string(table.number));
    }
    for (const InputColumn& before : columns) {
      if (before.kind == c.kind && before.control == c.control && before.group == c.group) {
        throw ColumnError(
            ColumnError::Kind::Repeated, given, before.header,
            "duplicated column '" + given + "' (the same as '" + before.header + "')");
      }
    }
    columns.push_back(std::move(c));
  }
  return columns;
}

std::vector<bool> text_columns(const std::vector<InputColumn>& columns) {
  std::vector<bool> text;
  text.reserve(columns.size());
  for (const InputColumn& c : columns) {
    text.push_back(c.kind != InputColumn::Kind::Control || c.control == Control::Combo1 ||
                   c.group != nullptr);
  }
  return text;
}

MemberRow member_row(CsvRecord record, std::size_t columns) {
  MemberRow row;
  fill_member_row(row, record, columns);
  return row;
}

void fill_member_row(MemberRow& row, CsvRecord& record, std::size_t columns) {
  row.line = record.line;
  row.cells.clear();
  row.malformed.clear();
  row.raw.clear();
  if (!record.error.empty()) {
    row.malformed = "malformed row (line " + std::to_string(record.line) + "): " + record.error;
    row.raw.swap(record.raw);
  } else if (record.fields.size() != columns) {
    row.malformed = "malformed row (line " + std::to_string(record.line) +
                    "): " + std::to_string(record.fields.size()) + " fields where the header has " +
                    std::to_string(columns);
    row.raw.swap(record.raw);
  } else {
    row.cells.swap(record.fields);
  }
}

std::vector<MemberRow> member_rows(const std::vector<CsvRecord>& records, std::size_t columns) {
  std::vector<MemberRow> rows;
  if (records.empty()) return rows;
  rows.reserve(records.size() - 1);
  for (std::size_t i = 1; i < records.size(); ++i) rows.push_back(member_row(records[i], columns));
  return rows;
}

std::optional<std::vector<Entry>> row_entries(const sheet::SheetTable& table,
                                              const std::vector<InputColumn>& columns,
                                              const std::vector<std::string>& cells,
                                              RowOutcome* refused) {
  std::vector<Entry> entries;
  entries.reserve(columns.size());
  for (std::size_t i = 0; i < columns.size() && i < cells.size(); ++i) {
    const InputColumn& c = columns[i];
    if (c.kind == InputColumn::Kind::Member) continue;
    sheet::TypedValue v =
        sheet::typed_value(target_of(c), cells[i], true, sheet::BoxText::WholeNumber);
    switch (v.kind) {
      case sheet::TypedValue::Kind::Nothing:
        break;
      case sheet::TypedValue::Kind::Type:
        entries.push_back({v.control, std::string(v.text)});
        break;
      case sheet::TypedValue::Kind::Refused:
        if (refused != nullptr) *refused = stopped(table, std::move(v.refusal), v.control, v.why);
        return std::nullopt;
    }
  }
  return entries;
}

const Entry* first_not_a_number(const sheet::SheetTable& table, const std::vector<Entry>& entries) {
  for (const Entry& e : entries) {
    if (table.field(e.control) == nullptr) continue;
    const sheet::InputTarget box{sheet::InputTarget::Kind::Box, e.control, nullptr};
    if (sheet::typed_value(box, e.text, true, sheet::BoxText::WholeNumber).kind ==
        sheet::TypedValue::Kind::Refused) {
      return &e;
    }
  }
  return nullptr;
}

RowOutcome run_member(const sheet::Module& module, const std::vector<InputColumn>& columns,
                      const MemberRow& row) {
  RowOutcome o;
  run_member(module, columns, row, o);
  return o;
}

void run_member(const sheet::Module& module, const std::vector<InputColumn>& columns,
                const MemberRow& row, RowOutcome& o) {
  o.control = Control::None;
  o.message.clear();
  o.refused = sheet::TypedValue::Why::None;
  o.ages.reset();
  if (!row.malformed.empty()) {
    o.status = RowOutcome::Status::Malformed;
    o.statusText = row.malformed;
    o.results.clear();
    return;
  }
  // The row's typed texts, seen in its cells (see row_entries); the thread's list is used
  // again from member to member.
  thread_local std::vector<TypedText> typed;
  typed.clear();
  for (std::size_t i = 0; i < columns.size() && i < row.cells.size(); ++i) {
    const InputColumn& c = columns[i];
    if (c.kind == InputColumn::Kind::Member) continue;
    sheet::TypedValue v =
        sheet::typed_value(target_of(c), row.cells[i], true, sheet::BoxText::WholeNumber);
    if (v.kind == sheet::TypedValue::Kind::Refused) {
      o = stopped(module.table(), std::move(v.refusal), v.control, v.why);
      return;
    }
    if (v.kind == sheet::TypedValue::Kind::Type) typed.push_back({v.control, v.text});
  }
  const CaseResult result = run_case_quickly(module, typed);
  if (!result.done) {
    o = result.message ? stopped(module.table(), result.message->text, result.message->control)
                       : stopped(module.table(), "the calculation did not complete", Control::None);
    return;
  }
  o.status = RowOutcome::Status::Done;
  o.statusText = kStatusOk;
  fill_result_cells(result, o.results);
  const sheet::ResultRecord& r = result.record;
  const auto t = r.value("age"), ti = r.value("ti"), tc = r.value("tc"), td = r.value("td");
  if (t && ti && tc && td) o.ages = RowOutcome::Ages{*t, *ti, *tc, *td};
}

std::vector<RowOutcome> run_members(const sheet::Module& module,
                                    const std::vector<InputColumn>& columns,
                                    const std::vector<MemberRow>& rows, const RunOptions& options,
                                    RunReport* report) {
  std::vector<RowOutcome> outcomes;
  run_members(module, columns, rows, options, report, outcomes);
  return outcomes;
}

void run_members(const sheet::Module& module, const std::vector<InputColumn>& columns,
                 const std::vector<MemberRow>& rows, const RunOptions& options, RunReport* report,
                 std::vector<RowOutcome>& outcomes) {
  outcomes.resize(rows.size());
  for (RowOutcome& o : outcomes) {
    o.status = RowOutcome::Status::NotRun;
    o.statusText.clear();
    o.control = Control::None;
    o.message.clear();
    o.refused = sheet::TypedValue::Why::None;
    o.results.clear();
    o.ages.reset();
  }
  ParallelOptions parallel;
  parallel.threads = options.jobs;
  parallel.chunk = 16;  // rows a thread takes at a time
  parallel.cancel = options.cancel;
  parallel.startThread = options.startThread;
  const std::size_t step = std::max<std::size_t>(1, rows.size() / 200);
  std::size_t told = 0;
  if (options.progress) {
    // Called one at a time by parallel_for.
    parallel.progress = [&](std::size_t done, std::size_t total) {
      if (done - told >= step || done == total) {
        told = done;
        options.progress(done, total);
      }
    };
  }
  const ParallelOutcome ran = parallel_for(
      rows.size(),
      [&](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) {
          try {
            run_member(module, columns, rows[i], outcomes[i]);
          } catch (const std::exception& e) {
            // The member itself is not at fault: it is marked, and the others run on.
            outcomes[i] = RowOutcome{};
            outcomes[i].status = RowOutcome::Status::Failed;
            outcomes[i].statusText = std::string("program error: ") + e.what();
          }
        }
      },
      parallel);
  if (report != nullptr) *report = {ran.threads, ran.refused};
}

std::vector<std::string> output_header(int sheet, const std::vector<std::string>& header) {
  std::vector<std::string> out = header;
  out.emplace_back("status");
  const auto& results = result_headers(sheet);
  out.insert(out.end(), results.begin(), results.end());
  return out;
}

std::vector<std::string> output_cells(std::size_t inputColumns, const MemberRow& row,
                                      const RowOutcome& outcome, std::size_t resultColumns) {
  return output_cells(inputColumns, MemberRow(row), RowOutcome(outcome), resultColumns);
}

std::vector<std::string> output_cells(std::size_t inputColumns, MemberRow&& row,
                                      RowOutcome&& outcome, std::size_t resultColumns) {
  std::vector<std::string> cells;
  if (row.malformed.empty()) {
    cells = std::move(row.cells);
  } else {
    // Nothing is lost: the line as it stands goes into the first column.
    cells.assign(inputColumns, std::string());
    if (!cells.empty()) cells[0] = std::move(row.raw);
  }
  cells.resize(inputColumns);
  cells.reserve(inputColumns + 1 + resultColumns);
  cells.push_back(outcome.status == RowOutcome::Status::NotRun ? std::string(kStatusNotRun)
                                                               : std::move(outcome.statusText));
  for (std::size_t k = 0; k < resultColumns; ++k) {
    cells.push_back(k < outcome.results.size() ? std::move(outcome.results[k]) : std::string());
  }
  return cells;
}

OutputTable output_table(int sheet, const std::vector<std::string>& header,
                         const std::vector<InputColumn>& columns,
                         const std::vector<MemberRow>& rows,
                         const std::vector<RowOutcome>& outcomes) {
  OutputTable t;
  t.header = output_header(sheet, header);
  t.statusColumn = header.size();
  t.firstResultColumn = t.statusColumn + 1;
  t.textColumns = text_columns(columns);
  t.textColumns.resize(t.header.size(), false);
  t.textColumns[t.statusColumn] = true;
  const std::size_t results = t.header.size() - t.firstResultColumn;
  t.rows.reserve(rows.size());
  for (std::size_t r = 0; r < rows.size(); ++r) {
    t.rows.push_back(output_cells(header.size(), rows[r], outcomes[r], results));
    t.stopped.push_back(outcomes[r].status != RowOutcome::Status::Done);
    t.lines.push_back(rows[r].line);
  }
  return t;
}

std::string csv_text(const OutputTable& table) {
  std::string out = csv_line(table.header);
  for (const auto& row : table.rows) append_csv_line(out, row);
  return out;
}

void Summary::add(const RowOutcome& o) {
  ++rows;
  switch (o.status) {
    case RowOutcome::Status::Done:
      ++done;
      break;
    case RowOutcome::Status::Stopped:
      ++stopped;
      break;
    case RowOutcome::Status::Malformed:
      ++malformed;
      break;
    case RowOutcome::Status::NotRun:
      ++notRun;
      break;
    case RowOutcome::Status::Failed:
      ++failed;
      break;
  }
}

Summary summarize(const std::vector<RowOutcome>& outcomes) {
  Summary s;
  for (const RowOutcome& o : outcomes) s.add(o);
  return s;
}

std::string summary_line(const Summary& s) {
  std::string line = std::to_string(s.rows) + (s.rows == 1 ? " member: " : " members: ") +
                     std::to_string(s.done) + " computed, " + std::to_string(s.stopped) +
                     " stopped at a message, " + std::to_string(s.malformed) + " malformed";
  if (s.failed > 0) line += ", " + std::to_string(s.failed) + " failed (program error)";
  if (s.notRun > 0) line += ", " + std::to_string(s.notRun) + " not run";
  return line;
}

}  // namespace pellucor::analysis::batch
