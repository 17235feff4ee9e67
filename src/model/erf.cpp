#include "model/erf.hpp"

#include <array>
#include <atomic>
#include <cmath>
#include <limits>
#include <memory>
#include <mutex>

namespace pellucor::model {
namespace {

// One checkpoint: the loop variable (abscissa) and the running sum after a multiple of K steps.
struct Checkpoint {
  double at;
  double sum;
};

// Checkpoints of one step loop. Storage is a fixed array of lazily allocated chunks, so
// readers never see memory move: a reader loads the published count (acquire) and reads
// any checkpoint below it without a lock; writers extend the table under the mutex.
class CheckpointTable {
 public:
  static constexpr std::size_t kChunk = 4096;    // checkpoints per chunk
  static constexpr std::size_t kMaxChunks = 64;  // far beyond saturation for every routine

  CheckpointTable(double constant, double step, double divisor, std::size_t stride)
      : constant_(constant), step_(step), divisor_(divisor), stride_(stride) {
    reset();
  }
  CheckpointTable(const CheckpointTable&) = delete;
  CheckpointTable& operator=(const CheckpointTable&) = delete;

  double term(double at) const { return (constant_ / std::exp(at * at)) / divisor_; }
  double step() const { return step_; }
  std::size_t stride() const { return stride_; }

  std::size_t count() const { return count_.load(std::memory_order_acquire); }
  const Checkpoint& at(std::size_t i) const {
    return chunks_[i / kChunk].load(std::memory_order_relaxed)[i % kChunk];
  }
  // After saturation: the checkpoint-independent state at the first step whose term no
  // longer changed the sum (the abscissa of that step and the final sum).
  bool saturated() const { return saturated_.load(std::memory_order_acquire); }
  Checkpoint saturation() const { return saturation_; }

  // Extends the table until `done(last checkpoint)` holds or the sum saturates.
  template <class Done>
  void extend(Done done) {
    std::lock_guard lock(grow_);
    std::size_t n = count_.load(std::memory_order_relaxed);
    Checkpoint state = at(n - 1);
    const double constant = constant_;
    const double step = step_;
    const double divisor = divisor_;
    while (!saturated_.load(std::memory_order_relaxed) && !done(state)) {
      // A stride of plain steps, with no test on the sum inside, so that the exponentials
      // of successive steps overlap. Terms never grow, so if the last step still changed
      // the sum, every step of the stride did.
      Checkpoint next = state;
      double before = next.sum;
      for (std::size_t k = 0; k < stride_; ++k) {
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
        saturation_ = state;
        saturated_.store(true, std::memory_order_release);
        break;
      }
      state = next;
      append(n, state);
      ++n;
    }
  }

  void reset() {
    std::lock_guard lock(grow_);
    for (auto& c : chunks_) delete[] c.exchange(nullptr);
    saturated_.store(false);
    saturation_ = {};
    Checkpoint* first = new Checkpoint[kChunk];
    first[0] = {0.0, 0.0};
    chunks_[0].store(first, std::memory_order_relaxed);
    count_.store(1, std::memory_order_release);
  }

  std::size_t bytes() const {
    std::size_t chunks = 0;
    for (const auto& c : chunks_) chunks += c.load(std::memory_order_relaxed) != nullptr;
    return chunks * kChunk * sizeof(Checkpoint);
  }

  ~CheckpointTable() {
    for (auto& c : chunks_) delete[] c.load();
  }

 private:
  void append(std::size_t n, Checkpoint state) {
    const std::size_t chunk = n / kChunk;
    if (chunk >= kMaxChunks) {
      // Cannot happen before saturation; treat as saturated so that callers terminate.
      saturation_ = state;
      saturated_.store(true, std::memory_order_release);
      return;
    }
    Checkpoint* block = chunks_[chunk].load(std::memory_order_relaxed);
    if (block == nullptr) {
      block = new Checkpoint[kChunk];
      chunks_[chunk].store(block, std::memory_order_relaxed);
    }
    block[n % kChunk] = state;
    count_.store(n + 1, std::memory_order_release);
  }

  const double constant_;
  const double step_;
  const double divisor_;
  const std::size_t stride_;
  std::array<std::atomic<Checkpoint*>, kMaxChunks> chunks_{};
  std::atomic<std::size_t> count_{0};
  std::atomic<bool> saturated_{false};
  Checkpoint saturation_{};
  std::mutex grow_;
};

CheckpointTable& table_fine() {
  static CheckpointTable table(2.0 / std::sqrt(3.14159), 2e-7, 5000000.0, 256);
  return table;
}
CheckpointTable& table_coarse() {
  static CheckpointTable table(2.0 / std::sqrt(3.14159), 2e-6, 500000.0, 64);
  return table;
}
CheckpointTable& table_inverse() {
  static CheckpointTable table(2.0 / std::sqrt(3.14), 2e-6, 500000.0, 64);
  return table;
}

// Last index i in [0, n) with key(at(i)) <= v, given key non-decreasing; n if none is.
template <class Key>
std::size_t last_not_above(const CheckpointTable& table, std::size_t n, double v, Key key) {
  std::size_t lo = 0;
  std::size_t hi = n;  // answer in [lo, hi); at(0) has key 0
  if (!(key(table.at(0)) <= v)) return n;
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
  CheckpointTable& table = step == ErfStep::Fine ? table_fine() : table_coarse();
  auto beyond = [x](const Checkpoint& c) { return c.at > x; };
  if (!table.saturated() && !beyond(table.at(table.count() - 1))) table.extend(beyond);
  if (table.saturated() && table.saturation().at <= x) return table.saturation().sum;
  const std::size_t n = table.count();
  const std::size_t i = last_not_above(table, n, x, [](const Checkpoint& c) { return c.at; });
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
  CheckpointTable& table = table_inverse();
  auto beyond = [y](const Checkpoint& c) { return c.sum > y; };
  if (!table.saturated() && !beyond(table.at(table.count() - 1))) table.extend(beyond);
  if (table.saturated() && table.saturation().sum <= y) return std::nullopt;
  const std::size_t n = table.count();
  const std::size_t i = last_not_above(table, n, y, [](const Checkpoint& c) { return c.sum; });
  Checkpoint state = table.at(i);
  while (!(state.sum > y)) {
    state.sum = state.sum + table.term(state.at);
    state.at = state.at + table.step();
  }
  return state.at;
}

double fun_erf_fan_limit() {
  CheckpointTable& table = table_inverse();
  table.extend([](const Checkpoint&) { return false; });
  return table.saturation().sum;
}

std::size_t erf_table_bytes() {
  return table_fine().bytes() + table_coarse().bytes() + table_inverse().bytes();
}

void erf_tables_reset() {
  table_fine().reset();
  table_coarse().reset();
  table_inverse().reset();
}

}  // namespace pellucor::model
