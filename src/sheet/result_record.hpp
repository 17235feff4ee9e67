// The results of a calculation as data: one item per quantity, with a stable key, the Chinese
// name and unit, the value, and what kind of quantity it is; the inputs as read (and as the
// model used them) in the same form. The output pane, the result file, the printed report, the
// member table and the analyses all read the record; the lines a sheet prints are made from it
// by format_report(), so that each label is written once, in the module's item texts.
//
//   const sheet::ResultRecord& r = *controller.lastRecord();
//   double tc = *r.value("tc");                       // cracking time, a
//   for (const auto& item : r.items)                   // every quantity in the sheet's order
//     if (item.kind == sheet::ItemKind::Result && item.printed()) ... item.name() ...
//
// Keys are ASCII and mean the same quantity on every sheet: an input by its box's console
// alias ("cover", "surface", "steel"), an input as the model used it by the alias and "-used"
// ("cover-used": the cover passed through metres and back), a result by its symbol ("ti",
// "lambda0", "dcr", "tp", "tc", "lambda1", "dd", "dtd", "td", "dt", "w", "D", "K", "k", "x0").
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pellucor::sheet {

enum class ItemKind {
  Input,         // a box, an option group or the steel kind, as Calculate read it
  DerivedInput,  // an input as the model used it (converted, capped, derived or iterated)
  Result,        // a result of the model
};

// How one quantity is named and written on one sheet. Static storage: items point to it.
struct ItemText {
  std::string_view key = {};   // see above
  std::string_view name = {};  // Chinese name for a table or a column header: "保护层厚度"
  std::string_view unit = {};  // unit as the sheet states it ("mm"); empty when it states none
  // The text printed before the value, punctuation included ("保护层开裂时间:",
  // ",保护层厚度（单位为mm）= "). Empty: the item is in the record but not printed.
  std::string_view label = {};
  // Result lines: the text printed after the value (" mm", "  a"), in the pane and the file.
  std::string_view after = {};
  // The result file's text after the value where it differs from the pane's.
  std::optional<std::string_view> fileAfter = std::nullopt;
  // Parameter echo: the echo line the item is printed on, from 1.
  int line = 0;
};

struct ResultItem {
  const ItemText* form = nullptr;
  ItemKind kind = ItemKind::Result;
  std::optional<double> value;  // the number (a text item may carry one too: the steel kind)
  // A text item's text (the steel name with its blanks, an option's name), or what a result
  // line prints in place of a number (" 不计算（墙板配筋）"), exactly as printed.
  std::string text;

  std::string_view key() const { return form->key; }
  std::string_view name() const { return form->name; }
  std::string_view unit() const { return form->unit; }
  std::string_view label() const { return form->label; }
  bool printed() const { return !form->label.empty(); }
  // Printed as its text rather than as a number.
  bool isText() const { return !text.empty() || !value; }
};

struct ResultRecord {
  static constexpr std::size_t kItemsAtOnce = 48;
  static constexpr std::size_t kResultsAtOnce = 16;
  std::vector<ResultItem> items;  // inputs in the order of the echo, then the results in the
                                  // order of the report; items not printed among them
  // Set: the record keeps its results and the inspection age ("age"), no other input (a caller
  // that reads nothing else is spared making them).
  bool resultsOnly = false;

  bool empty() const { return items.empty(); }
  const ResultItem* find(std::string_view key) const;
  // The number of the item `key`; none when there is no such item or it has no number.
  std::optional<double> value(std::string_view key) const;

  // Adds an item (building a record in a module).
  ResultRecord& add(ItemKind kind, const ItemText& form, std::optional<double> value,
                    std::string text = {}) {
    if (resultsOnly && kind != ItemKind::Result && form.key != "age") return *this;
    // Room at once for the items of a sheet (a few dozen, of them a dozen or so results), not
    // a reallocation at each doubling.
    if (items.capacity() == 0) items.reserve(resultsOnly ? kResultsAtOnce : kItemsAtOnce);
    items.push_back({&form, kind, value, std::move(text)});
    return *this;
  }
  ResultRecord& input(const ItemText& form, double value) {
    return add(ItemKind::Input, form, value);
  }
  ResultRecord& derived(const ItemText& form, double value) {
    return add(ItemKind::DerivedInput, form, value);
  }
  ResultRecord& result(const ItemText& form, double value) {
    return add(ItemKind::Result, form, value);
  }
};

// The result lines of a report (without its header lines) and the parameter echo.
struct Report {
  std::vector<std::string> pane;  // result lines as the output pane shows them
  std::vector<std::string> file;  // result lines as the result file carries them
  std::vector<std::string> echo;  // parameter-echo lines of the result file
};

// The printed result lines: label, the value in the single-precision number form (or the text
// in its place), the text after it; the pane's form or the file's.
std::vector<std::string> result_lines(const ResultRecord& record, bool forFile = false);
// The parameter-echo lines: on each line its items' labels and values back to back, numbers in
// the double-precision number form, texts as they are.
std::vector<std::string> echo_lines(const ResultRecord& record);
// All three.
Report format_report(const ResultRecord& record);

// An item's value as the sheet prints it, without the blanks around it: the sign and digits
// (7 significant digits for a result, 15 for an input) or its text.
std::string value_text(const ResultItem& item);

// The inputs (kind Input) of two records that differ: a pair per key present in both whose
// number or text is not the same, and a pair with one side null for a key present in one only.
std::vector<std::pair<const ResultItem*, const ResultItem*>> input_differences(
    const ResultRecord& a, const ResultRecord& b);
inline bool same_inputs(const ResultRecord& a, const ResultRecord& b) {
  return input_differences(a, b).empty();
}

}  // namespace pellucor::sheet
