// The reader of readings tables (the console's fit input) under arbitrary bytes, for each kind
// of readings: readings or a refusal with a message, never an exception; readings accepted are
// finite numbers, one per column for every row, each row's line within the file.
#include <cmath>
#include <exception>
#include <optional>
#include <span>
#include <string_view>

#include "analysis/inspect/readings.hpp"
#include "fuzz_target.hpp"

using namespace pellucor::analysis::inspect;
using pellucor::fuzzing::hold;

namespace {

void read_as(std::string_view bytes, std::span<const ReadingColumn> columns,
             std::optional<pellucor::analysis::batch::Encoding> given) {
  const auto r = read_readings_csv(bytes, columns, given);
  if (!r) {
    hold(!r.refusal().text.empty() && !r.refusal().message.empty(), "a refusal says why");
    return;
  }
  hold(r->columns.size() == columns.size(), "one list per column");
  for (const auto& c : r->columns) {
    hold(c.size() == r->rows.size(), "one value per row in every column");
    for (double v : c) hold(std::isfinite(v), "readings are finite");
  }
  std::size_t last = 0;
  for (std::size_t row : r->rows) {
    hold(row > last, "rows in the order of the file");
    last = row;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  try {
    using pellucor::analysis::batch::Encoding;
    read_as(bytes, kProfileColumns, std::nullopt);
    read_as(bytes, kCarbonationColumns, std::nullopt);
    read_as(bytes, kCoverColumns, std::nullopt);
    read_as(bytes, kProfileColumns, Encoding::Gbk);
  } catch (const std::exception& e) {
    pellucor::fuzzing::broken(e.what());
  }
  return 0;
}
