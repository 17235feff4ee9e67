#include "model/erf.hpp"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "model/gen/erf_loops.hpp"
#include "model/gen/erf_tables.hpp"

namespace pellucor::model {
namespace {

using erf_loops::Checkpoint;
using erf_loops::Loop;

double from_bits(std::uint64_t b) {
  double v;
  std::memcpy(&v, &b, sizeof v);
  return v;
}

// A loop with its prebuilt checkpoints.
class CheckpointTable {
 public:
  CheckpointTable(const Loop& loop, const erf_tables::Prebuilt& prebuilt)
      : loop_(loop),
        prebuilt_(prebuilt),
        saturation_{from_bits(prebuilt.saturationAt), from_bits(prebuilt.saturationSum)} {}

  double term(double at) const { return loop_.term(at); }
  double step() const { return loop_.step; }
  std::size_t count() const { return prebuilt_.count; }
  Checkpoint at(std::size_t i) const {
    return {from_bits(prebuilt_.pairs[2 * i]), from_bits(prebuilt_.pairs[2 * i + 1])};
  }
  // The state at the first step whose term no longer changed the sum: the abscissa of that
  // step and the final sum. It lies within one stride after the last checkpoint.
  Checkpoint saturation() const { return saturation_; }
  std::size_t bytes() const { return prebuilt_.count * 2 * sizeof(std::uint64_t); }

 private:
  const Loop loop_;
  const erf_tables::Prebuilt& prebuilt_;
  const Checkpoint saturation_;
};

const CheckpointTable& table_fine() {
  static const CheckpointTable table(erf_loops::fine_loop(), erf_tables::kFine);
  return table;
}
const CheckpointTable& table_coarse() {
  static const CheckpointTable table(erf_loops::coarse_loop(), erf_tables::kCoarse);
  return table;
}
const CheckpointTable& table_inverse() {
  static const CheckpointTable table(erf_loops::inverse_loop(), erf_tables::kInverse);
  return table;
}

// Last index i in [0, n) with key(at(i)) <= v, given key non-decreasing and key(at(0)) = 0;
// n if none is.
template <class Key>
std::size_t last_not_above(const CheckpointTable& table, double v, Key key) {
  const std::size_t n = table.count();
  if (!(key(table.at(0)) <= v)) return n;
  std::size_t lo = 0;
  std::size_t hi = n;  // answer in [lo, hi)
  while (hi - lo > 1) {
    const std::size_t mid = lo + (hi - lo) / 2;
    if (key(table.at(mid)) <= v) {
      lo = mid;
    } else {
      hi = mid;
    }
  }
  return lo;
}

}  // namespace

double fun_erf(double x, ErfStep step) {
  if (std::isnan(x)) return std::numeric_limits<double>::quiet_NaN();
  if (x < 0.0) return 0.0;
  const CheckpointTable& table = step == ErfStep::Fine ? table_fine() : table_coarse();
  if (table.saturation().at <= x) return table.saturation().sum;
  const std::size_t i = last_not_above(table, x, [](const Checkpoint& c) { return c.at; });
  Checkpoint state = table.at(i);
  // At most one stride of steps: the next checkpoint (or the saturation step) lies beyond x.
  while (!(state.at > x)) {
    state.sum = state.sum + table.term(state.at);
    state.at = state.at + table.step();
  }
  return state.sum;
}

std::optional<double> fun_erf_fan(double y) {
  if (std::isnan(y)) return std::nullopt;
  if (y < 0.0) return 0.0;
  const CheckpointTable& table = table_inverse();
  if (table.saturation().sum <= y) return std::nullopt;
  const std::size_t i = last_not_above(table, y, [](const Checkpoint& c) { return c.sum; });
  Checkpoint state = table.at(i);
  while (!(state.sum > y)) {
    state.sum = state.sum + table.term(state.at);
    state.at = state.at + table.step();
  }
  return state.at;
}

double fun_erf_fan_limit() {
  return table_inverse().saturation().sum;
}

std::size_t erf_table_bytes() {
  return table_fine().bytes() + table_coarse().bytes() + table_inverse().bytes();
}

}  // namespace pellucor::model
