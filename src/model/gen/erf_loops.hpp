// The three step loops behind the error function and its inverse, and the filling of their
// checkpoint tables. The build runs the filling once (make_erf_tables) and compiles the
// tables into the model library; the routines in erf.cpp resume the same loops from them.
// Both sides use the definitions below, so a checkpoint is the loop's state bit for bit.
#pragma once

#include <cmath>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

namespace pellucor::model::erf_loops {

// One checkpoint: the loop variable (abscissa) and the running sum after a multiple of
// `stride` steps.
struct Checkpoint {
  double at;
  double sum;
};

// One loop: sum += (constant / exp(at*at)) / divisor; at += step.
struct Loop {
  double constant;
  double step;
  double divisor;
  std::size_t stride;  // steps between two checkpoints

  double term(double at) const { return (constant / std::exp(at * at)) / divisor; }
};

inline Loop fine_loop() {
  return {2.0 / std::sqrt(3.14159), 2e-7, 5000000.0, 256};
}
inline Loop coarse_loop() {
  return {2.0 / std::sqrt(3.14159), 2e-6, 500000.0, 64};
}
inline Loop inverse_loop() {
  return {2.0 / std::sqrt(3.14), 2e-6, 500000.0, 64};
}

// The checkpoints of a loop up to the step whose term no longer changes the sum, and that
// step's state (the abscissa of the first term that left the sum unchanged, the final sum).
struct Table {
  std::vector<Checkpoint> checkpoints;  // checkpoints[0] is {0, 0}
  Checkpoint saturation{};
};

// Appends a checkpoint; a table that would grow past `capacity` is an error, never a
// silently shortened table.
inline void append(Table& table, Checkpoint c, std::size_t capacity) {
  if (table.checkpoints.size() >= capacity) {
    throw std::length_error("error-function checkpoint table exceeds its capacity of " +
                            std::to_string(capacity) + " checkpoints before its sum saturates");
  }
  table.checkpoints.push_back(c);
}

// Runs the loop stride by stride until its sum stops growing.
inline Table fill(const Loop& loop, std::size_t capacity) {
  Table table;
  append(table, {0.0, 0.0}, capacity);
  Checkpoint state{0.0, 0.0};
  const double constant = loop.constant;
  const double step = loop.step;
  const double divisor = loop.divisor;
  for (;;) {
    // A stride of plain steps, with no test on the sum inside, so that the exponentials of
    // successive steps overlap. Terms never grow, so if the last step still changed the sum,
    // every step of the stride did.
    Checkpoint next = state;
    double before = next.sum;
    for (std::size_t k = 0; k < loop.stride; ++k) {
      before = next.sum;
      next.sum = next.sum + (constant / std::exp(next.at * next.at)) / divisor;
      next.at = next.at + step;
    }
    if (next.sum == before) {
      // The sum stopped growing inside this stride: find the first step that left it.
      for (;;) {
        const double add = (constant / std::exp(state.at * state.at)) / divisor;
        if (state.sum + add == state.sum) break;
        state.sum = state.sum + add;
        state.at = state.at + step;
      }
      table.saturation = state;
      return table;
    }
    state = next;
    append(table, state, capacity);
  }
}

// Far beyond what any of the three loops needs (about 90 000 fine, 33 000 coarse).
inline constexpr std::size_t kCapacity = 1u << 18;

}  // namespace pellucor::model::erf_loops
