#include "modules/common/sheet_parts.hpp"

#include <stdexcept>

namespace pellucor::modules::parts {

sheet::FieldRow make_field(const Quantity& q, const BoxSetup& setup) {
  return make_field(q, setup, label_beside(setup.box, q.label));
}

sheet::FieldRow make_field(const Quantity& q, const BoxSetup& setup, const sheet::Rect& label) {
  sheet::FieldRow f;
  f.control = setup.control;
  f.label = q.label;
  f.alias = setup.alias;
  f.meaning = setup.meaning;
  f.leave = setup.leave;
  f.change = setup.change;
  const bool ranged = (setup.leave == sheet::LeaveCheck::Range ||
                       setup.leave == sheet::LeaveCheck::ZeroBlankThenRange ||
                       setup.change != sheet::ChangeCheck::None);
  if (ranged) {
    f.lo = q.lo;
    f.hi = q.hi;
    f.rangeMessage = q.rangeMessage;
  }
  f.prompts = {q.prompt};
  f.box = setup.box;
  f.labelRect = label;
  f.typed = {.key = setup.alias, .name = q.label, .unit = q.unit};
  return f;
}

int caption_width(std::string_view caption) {
  int width = 0;
  for (std::size_t i = 0; i < caption.size();) {
    const auto lead = static_cast<unsigned char>(caption[i]);
    std::size_t length = 1;
    if (lead >= 0xF0) {
      length = 4;
    } else if (lead >= 0xE0) {
      length = 3;
    } else if (lead >= 0xC0) {
      length = 2;
    }
    width += length >= 3 ? 240 : 120;
    i += length;
  }
  return width;
}

sheet::Rect label_beside(const sheet::Rect& box, std::string_view caption) {
  const int width = caption_width(caption);
  return {box.left - 120 - width, box.top + 60, width, 240};
}

void add_typed_inputs(sheet::ResultRecord& record, const sheet::SheetTable& table,
                      const sheet::SheetInputs& in) {
  for (const auto& f : table.fields) {
    if (record.resultsOnly && f.typed.key != "age") continue;
    const sheet::ResultItem* held = record.find(f.typed.key);
    if (held != nullptr && held->kind == sheet::ItemKind::Input) continue;
    record.input(f.typed, in.box(sheet::text_box_number(f.control)));
  }
}

void finish(sheet::CalculationOutcome& out, sheet::ResultRecord record,
            const sheet::CalculationSink& sink) {
  if (sink.wantsReport()) out.report = sheet::format_report(record);
  if (sink.wantsRecord()) out.record = std::move(record);
}

sheet::FieldRow& row(sheet::SheetTable& s, sheet::Control c) {
  for (auto& f : s.fields) {
    if (f.control == c) return f;
  }
  throw std::logic_error("no field row for this control");
}

std::optional<sheet::CheckFailure> first_missing(const sheet::SheetInputs& in,
                                                 std::initializer_list<Required> boxes) {
  for (const auto& r : boxes) {
    if (in.box(r.box) == 0) return sheet::CheckFailure{r.message, sheet::text_box(r.box)};
  }
  return std::nullopt;
}

std::optional<sheet::CheckFailure> steel_kind_missing(const sheet::SheetInputs& in) {
  if (in.steelKind == 0)
    return sheet::CheckFailure{sheet::kSteelKindNotEntered, sheet::Control::Combo1};
  return std::nullopt;
}

std::optional<sheet::CheckFailure> concentrations_inconsistent(double measured, double critical,
                                                               double surface) {
  if (measured >= surface || critical >= surface) {
    return sheet::CheckFailure{sheet::kPlausibility, sheet::Control::None};
  }
  return std::nullopt;
}

}  // namespace pellucor::modules::parts
