#include "golden_cases.hpp"

#include <cstdint>
#include <initializer_list>
#include <utility>

namespace pellucor::reference {

namespace {

using Boxes = std::initializer_list<std::pair<int, double>>;

SheetCase make(std::string name, int sheet, Boxes boxes, int kind,
               std::initializer_list<int> options) {
  SheetCase c;
  c.name = std::move(name);
  c.sheet = sheet;
  for (const auto& [n, v] : boxes) c.box[static_cast<std::size_t>(n)] = v;
  for (int o : options) c.option[static_cast<std::size_t>(o)] = true;
  c.kind = kind;
  return c;
}

SheetCase with(SheetCase c, std::string name, Boxes boxes) {
  c.name = std::move(name);
  for (const auto& [n, v] : boxes) c.box[static_cast<std::size_t>(n)] = v;
  return c;
}

SheetCase with_kind(SheetCase c, std::string name, int kind) {
  c.name = std::move(name);
  c.kind = kind;
  return c;
}

// Values as a user types them: a whole number of steps above the low end of a range.
class Typist {
 public:
  explicit Typist(std::uint64_t seed) : state_(seed) {}
  double pick(double lo, double hi, double step) {
    const auto n = static_cast<std::uint64_t>((hi - lo) / step + 0.5) + 1;
    const auto k = next() % n;
    return lo + static_cast<double>(k) * step;
  }
  int pick_int(int lo, int hi) {
    return lo + static_cast<int>(next() % static_cast<std::uint64_t>(hi - lo + 1));
  }

 private:
  std::uint64_t next() {
    state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
    return state_ >> 33;
  }
  std::uint64_t state_;
};

// Rounds away the binary noise of lo + k*step to the decimal a user would type.
double typed(double v, double step) {
  const double digits = step >= 1 ? 1 : (step >= 0.1 ? 10 : (step >= 0.01 ? 100 : 1000));
  return static_cast<double>(static_cast<long long>(v * digits + (v >= 0 ? 0.5 : -0.5))) / digits;
}

double pick(Typist& r, double lo, double hi, double step) {
  return typed(r.pick(lo, hi, step), step);
}

void carbonation_cases(std::vector<SheetCase>& out) {
  const SheetCase example =
      make("carbonation/example-co2-outdoor-round-bar", 1,
           {{1, 2.0}, {2, 15}, {3, 0.7}, {4, 30}, {5, 30}, {6, 60}, {8, 1.5}, {9, 20}}, 1, {1, 4});
  out.push_back(example);
  out.push_back(with(example, "carbonation/measured-depth", {{7, 10}, {6, 20}}));
  out.push_back(with(example, "carbonation/measured-depth-wins-over-co2", {{7, 10}, {8, 3.0}}));
  out.push_back(make("carbonation/humidity-capped-indoor-deformed-thin-cover", 1,
                     {{1, 2.0}, {2, 15}, {3, 0.85}, {4, 30}, {5, 25}, {6, 30}, {8, 2.0}, {9, 16}},
                     2, {1, 3}));
  out.push_back(make("carbonation/compression-indoor", 1,
                     {{1, 2.0}, {2, 15}, {3, 0.85}, {4, 30}, {5, 25}, {6, 30}, {8, 2.0}, {9, 16}},
                     2, {2, 3}));
  out.push_back(with_kind(example, "carbonation/wall-reinforcement", 3));
  out.push_back(make("carbonation/wall-thin-bar-early-end", 1,
                     {{1, 3.5}, {2, 25}, {3, 0.75}, {4, 50}, {5, 90}, {6, 70}, {7, 30}, {9, 8}}, 3,
                     {1, 4}));
  out.push_back(make("carbonation/wall-thick-bar", 1,
                     {{1, 3.5}, {2, 25}, {3, 0.75}, {4, 50}, {5, 90}, {6, 70}, {7, 30}, {9, 40}}, 3,
                     {1, 4}));
  out.push_back(with(example, "carbonation/cover-27.5-uncorrected", {{5, 27.5}}));
  out.push_back(with(example, "carbonation/cover-28-uncorrected", {{5, 28}}));
  out.push_back(with(example, "carbonation/cover-28.5-corrected", {{5, 28.5}}));
  // A diameter whose depth limit 0.026 d is exactly 0.3, with a cracking depth above it.
  out.push_back(with(with_kind(example, "", 3), "carbonation/wall-depth-limit-exactly-0.3",
                     {{5, 90}, {4, 50}, {9, 11.538461538461538}}));
  out.push_back(make("carbonation/inspection-after-cracking", 1,
                     {{1, 5.5}, {2, 30}, {3, 0.8}, {4, 10}, {5, 10}, {6, 80}, {7, 40}, {9, 12}}, 1,
                     {1, 4}));
  out.push_back(make("carbonation/inspection-before-initiation", 1,
                     {{1, 1.0}, {2, 4}, {3, 0.6}, {4, 50}, {5, 60}, {6, 1}, {7, 1}, {9, 25}}, 2,
                     {1, 3}));
  out.push_back(with(example, "carbonation/stop-humidity-1-co2-path", {{3, 1.0}}));
  out.push_back(with(example, "carbonation/stop-outdoor-humidity-0.45", {{3, 0.45}}));
  out.push_back(with(example, "carbonation/stop-outdoor-humidity-0.4", {{3, 0.4}}));
  {
    auto c = with(example, "carbonation/stop-indoor-humidity-0.5", {{3, 0.5}});
    c.option[4] = false;
    c.option[3] = true;
    out.push_back(c);
  }
  out.push_back(with(example, "carbonation/humidity-1-measured-depth", {{3, 1.0}, {7, 12}}));

  Typist r(1);
  for (int i = 1; i <= 24; ++i) {
    const bool measured = r.pick_int(0, 2) == 0;
    const int kind = r.pick_int(1, 3);
    const int stress = r.pick_int(1, 2);
    const int condition = r.pick_int(3, 4);
    SheetCase c = make("carbonation/random-" + std::to_string(i), 1,
                       {{1, pick(r, 1.0, 5.5, 0.1)},
                        {2, pick(r, 4, 30, 1)},
                        {3, pick(r, 0.5, 1.0, 0.01)},
                        {4, pick(r, 10, 50, 0.5)},
                        {5, pick(r, 3, 90, 1)},
                        {6, pick(r, 1, 80, 1)},
                        {7, measured ? pick(r, 1, 60, 0.5) : 0},
                        {8, measured ? 0 : pick(r, 1.0, 3.5, 0.1)},
                        {9, pick(r, 8, 40, 1)}},
                       kind, {stress, condition});
    out.push_back(c);
  }
}

void chloride_constant_cases(std::vector<SheetCase>& out) {
  const SheetCase example = make("constant/example-typed-coefficient", 2,
                                 {{1, 1.5},
                                  {2, 20},
                                  {3, 0.8},
                                  {4, 30},
                                  {5, 40},
                                  {6, 20},
                                  {7, 1.5},
                                  {8, 5},
                                  {9, 1.4},
                                  {13, 20},
                                  {14, 20}},
                                 2, {1});
  out.push_back(example);
  for (double start : {1.0, 5.0, 40.0, 80.0}) {
    out.push_back(with(example, "constant/example-start-" + std::to_string(static_cast<int>(start)),
                       {{13, start}}));
  }
  out.push_back(with_kind(example, "constant/round-bar", 1));
  out.push_back(with_kind(example, "constant/wall-reinforcement", 3));
  {
    auto c = with(example, "constant/derived-from-profile", {{7, 0}, {10, 30}, {11, 2}});
    out.push_back(c);
    c.option[1] = false;
    c.option[2] = true;
    out.push_back(with(c, "constant/derived-from-water-cement", {{12, 0.5}}));
    out.push_back(with(c, "constant/stop-water-cement-too-low", {{12, 0.26}}));
  }
  out.push_back(
      with(example, "constant/stop-negative-measured-no-inverse", {{7, 0}, {10, 30}, {11, -1}}));
  out.push_back(with(example, "constant/stop-thick-cover-no-chloride-at-bar",
                     {{5, 90}, {7, 1}, {13, 1}, {14, 12}}));
  out.push_back(with(example, "constant/strength-35-and-humidity-1", {{4, 35}, {3, 1.0}}));
  out.push_back(with(example, "constant/strength-45-high-surface", {{4, 45}, {8, 13}, {9, 1.2}}));

  Typist r(2);
  for (int i = 1; i <= 22; ++i) {
    const int source = r.pick_int(0, 2);  // 0 typed, 1 profile, 2 water-cement
    const double Cs = pick(r, 2.0, 13.0, 0.1);
    const int kind = r.pick_int(1, 3);
    SheetCase c = make("constant/random-" + std::to_string(i), 2,
                       {{1, pick(r, 1.0, 5.5, 0.1)},
                        {2, pick(r, 4, 30, 1)},
                        {3, pick(r, 0.4, 1.0, 0.01)},
                        {4, pick(r, 10, 50, 1)},
                        {5, pick(r, 10, 70, 1)},
                        {6, pick(r, 1, 80, 1)},
                        {7, source == 0 ? pick(r, 0.2, 8.0, 0.1) : 0},
                        {8, Cs},
                        {9, pick(r, 1.2, 1.6, 0.05)},
                        {10, source == 1 ? pick(r, 10, 80, 1) : 0},
                        {11, source == 1 ? typed(Cs * pick(r, 0.05, 0.9, 0.05), 0.01) : 0},
                        {12, source == 2 ? pick(r, 0.35, 0.7, 0.01) : 0},
                        {13, pick(r, 1, 80, 1)},
                        {14, pick(r, 8, 40, 1)}},
                       kind, {source == 2 ? 2 : 1});
    out.push_back(c);
  }
}

void chloride_variable_cases(std::vector<SheetCase>& out) {
  const SheetCase example = make("variable/example", 3,
                                 {{1, 1},
                                  {2, 20},
                                  {3, 0.8},
                                  {4, 30},
                                  {5, 30},
                                  {6, 10},
                                  {7, 0.3},
                                  {8, 5},
                                  {9, 1.4},
                                  {10, 20},
                                  {11, 2},
                                  {12, 20},
                                  {13, 20}},
                                 2, {});
  out.push_back(example);
  for (double start : {1.0, 5.0, 40.0, 80.0}) {
    out.push_back(with(example, "variable/example-start-" + std::to_string(static_cast<int>(start)),
                       {{12, start}}));
  }
  out.push_back(with_kind(example, "variable/round-bar", 1));
  out.push_back(with_kind(example, "variable/wall-reinforcement", 3));
  out.push_back(with(example, "variable/exponent-0.1", {{7, 0.1}}));
  out.push_back(with(example, "variable/exponent-0.6", {{7, 0.6}}));
  out.push_back(with(example, "variable/measured-near-surface", {{11, 4.9}, {6, 40}}));
  out.push_back(with(example, "variable/strength-40-humidity-0.4", {{4, 40}, {3, 0.4}}));
  out.push_back(with(example, "variable/thin-cover-thick-bar", {{5, 3}, {13, 40}}));
  // Thick cover, a slow derived coefficient and an early assumed cracking time: no chloride
  // reaches the bar, and the logarithm of the rate has no value.
  out.push_back(with(example, "variable/stop-thick-cover-no-chloride-at-bar",
                     {{5, 90}, {6, 80}, {8, 13}, {10, 10}, {11, 1}, {12, 1}}));

  Typist r(3);
  for (int i = 1; i <= 20; ++i) {
    const double Cs = pick(r, 2.0, 13.0, 0.1);
    const int kind = r.pick_int(1, 3);
    SheetCase c = make("variable/random-" + std::to_string(i), 3,
                       {{1, pick(r, 1.0, 5.5, 0.1)},
                        {2, pick(r, 4, 30, 1)},
                        {3, pick(r, 0.4, 1.0, 0.01)},
                        {4, pick(r, 10, 50, 1)},
                        {5, pick(r, 10, 60, 1)},
                        {6, pick(r, 1, 80, 1)},
                        {7, pick(r, 0.1, 0.6, 0.05)},
                        {8, Cs},
                        {9, pick(r, 1.2, 1.6, 0.05)},
                        {10, pick(r, 10, 80, 1)},
                        {11, typed(Cs * pick(r, 0.05, 0.9, 0.05), 0.01)},
                        {12, pick(r, 1, 80, 1)},
                        {13, pick(r, 8, 40, 1)}},
                       kind, {});
    out.push_back(c);
  }
}

void marine_cases(std::vector<SheetCase>& out) {
  const SheetCase example = make("marine/example-first-search-only", 4,
                                 {{1, 1.5},
                                  {2, 20},
                                  {3, 0.8},
                                  {4, 30},
                                  {5, 40},
                                  {6, 20},
                                  {7, 1.5},
                                  {8, 5},
                                  {9, 1.4},
                                  {13, 20},
                                  {14, 20},
                                  {15, 1.0},
                                  {16, 25},
                                  {17, 10},
                                  {18, 5}},
                                 2, {1});
  out.push_back(example);
  const SheetCase second =
      with(example, "marine/example-second-search", {{15, 2.0}, {16, 5}, {17, 20}, {18, 1}});
  out.push_back(second);
  out.push_back(with_kind(example, "marine/round-bar", 1));
  out.push_back(with_kind(second, "marine/wall-reinforcement-second-search", 3));
  out.push_back(with(example, "marine/derived-from-profile", {{7, 0}, {10, 30}, {11, 2}}));
  {
    auto c = with(example, "marine/derived-from-water-cement", {{7, 0}, {12, 0.5}});
    c.option[1] = false;
    c.option[2] = true;
    out.push_back(c);
    out.push_back(with(c, "marine/stop-water-cement-too-low", {{12, 0.2}}));
  }
  out.push_back(with(example, "marine/start-cracking-1", {{13, 1}}));
  // The first search ends exactly at the stable time: no second search.
  out.push_back(with(example, "marine/first-search-ends-at-stable-time", {{16, 10.5}}));
  out.push_back(with(example, "marine/start-cracking-80", {{13, 80}}));
  // Thin cover and a fast-growing surface: the first search walks down to zero.
  out.push_back(
      with(example, "marine/stop-first-search-reaches-zero", {{5, 3}, {7, 8}, {15, 5}, {17, 1}}));
  // Thin cover: beyond the stable time the bar already sees nearly the surface value, so the
  // second search walks T2 down to zero.
  out.push_back(with(example, "marine/stop-second-search-reaches-zero",
                     {{5, 3}, {9, 1.6}, {15, 0.5}, {16, 5}, {17, 1}, {18, 1}}));
  // A negative measured concentration (the box has no range check) has no inverse.
  out.push_back(
      with(example, "marine/stop-negative-measured-no-inverse", {{7, 0}, {10, 30}, {11, -1}}));
  // A start that is not a whole number of half years steps past zero.
  out.push_back(with(example, "marine/stop-first-search-steps-past-zero",
                     {{5, 3}, {7, 8}, {15, 5}, {17, 1.3}}));
  // Thick cover, slow diffusion and a stable time at which the search arguments lie just above
  // the error-function cut-off of the searches.
  out.push_back(with(example, "marine/thick-cover-cutoff-at-stable-time",
                     {{5, 90}, {7, 0.2}, {8, 13}, {15, 5}, {16, 17}, {17, 50}, {18, 50}}));
  out.push_back(with(example, "marine/thick-cover-cutoff-at-stable-time-2",
                     {{5, 85}, {7, 0.2}, {8, 12}, {15, 4}, {16, 15}, {17, 40}, {18, 30}}));

  // Searches that end within a hair of the edge of their band: the factor of the second term of
  // the concentration decides the half year.
  out.push_back(make("marine/first-search-near-band-edge-water-cement", 4,
                     {{1, 1.6},
                      {2, 17},
                      {3, 0.4},
                      {4, 46},
                      {5, 58},
                      {6, 13},
                      {8, 5.7},
                      {9, 1.3},
                      {12, 0.48},
                      {13, 35},
                      {14, 8},
                      {15, 3.7},
                      {16, 22},
                      {17, 11.5},
                      {18, 9.5}},
                     3, {2}));
  out.push_back(make("marine/first-search-near-band-edge-typed", 4,
                     {{1, 2.4},
                      {2, 20},
                      {3, 0.83},
                      {4, 17},
                      {5, 37},
                      {6, 2},
                      {7, 3.2},
                      {8, 6.2},
                      {9, 1.3},
                      {13, 67},
                      {14, 26},
                      {15, 1.6},
                      {16, 17},
                      {17, 32},
                      {18, 10}},
                     2, {1}));

  Typist r(4);
  for (int i = 1; i <= 40; ++i) {
    const int source = r.pick_int(0, 2);
    const double Cs = pick(r, 2.0, 13.0, 0.1);
    const int kind = r.pick_int(1, 3);
    SheetCase c = make("marine/random-" + std::to_string(i), 4,
                       {{1, pick(r, 1.0, 5.5, 0.1)},
                        {2, pick(r, 4, 30, 1)},
                        {3, pick(r, 0.4, 1.0, 0.01)},
                        {4, pick(r, 10, 50, 1)},
                        {5, pick(r, 3, 90, 1)},
                        {6, pick(r, 1, 80, 1)},
                        {7, source == 0 ? pick(r, 0.2, 8.0, 0.1) : 0},
                        {8, Cs},
                        {9, pick(r, 1.2, 1.6, 0.05)},
                        {10, source == 1 ? pick(r, 10, 80, 1) : 0},
                        {11, source == 1 ? typed(Cs * pick(r, 0.05, 0.9, 0.05), 0.01) : 0},
                        {12, source == 2 ? pick(r, 0.35, 0.7, 0.01) : 0},
                        {13, pick(r, 1, 80, 1)},
                        {14, pick(r, 8, 40, 1)},
                        {15, pick(r, 0.5, 5.0, 0.1)},
                        {16, pick(r, 5, 30, 1)},
                        {17, pick(r, 1, 50, 0.5)},
                        {18, pick(r, 1, 50, 0.5)}},
                       kind, {source == 2 ? 2 : 1});
    out.push_back(c);
  }
}

void admixed_cases(std::vector<SheetCase>& out) {
  const SheetCase example =
      make("admixed/example", 5,
           {{1, 1}, {2, 20}, {3, 0.8}, {4, 30}, {5, 30}, {6, 30}, {7, 20}, {8, 6}, {9, 20}}, 2, {});
  out.push_back(example);
  out.push_back(with(example, "admixed/start-1", {{7, 1}}));
  out.push_back(with(example, "admixed/start-80", {{7, 80}}));
  out.push_back(with_kind(example, "admixed/round-bar", 1));
  out.push_back(with_kind(example, "admixed/wall-reinforcement", 3));
  out.push_back(with(example, "admixed/chloride-1.8-zero-term", {{8, 1.8}}));
  out.push_back(with(example, "admixed/chloride-1-strength-35", {{8, 1}, {4, 35}}));
  out.push_back(with(example, "admixed/inspection-before-cracking", {{6, 1}, {8, 1}}));
  out.push_back(make(
      "admixed/wall-thin-bar-early-end", 5,
      {{1, 5.5}, {2, 30}, {3, 1.0}, {4, 50}, {5, 90}, {6, 80}, {7, 5}, {8, 13}, {9, 8}}, 3, {}));

  out.push_back(with(with_kind(example, "", 3), "admixed/wall-depth-limit-exactly-0.3",
                     {{5, 90}, {4, 50}, {9, 11.538461538461538}}));

  Typist r(5);
  for (int i = 1; i <= 24; ++i) {
    const int kind = r.pick_int(1, 3);
    SheetCase c = make("admixed/random-" + std::to_string(i), 5,
                       {{1, pick(r, 1.0, 5.5, 0.1)},
                        {2, pick(r, 4, 30, 1)},
                        {3, pick(r, 0.4, 1.0, 0.01)},
                        {4, pick(r, 10, 50, 0.5)},
                        {5, pick(r, 3, 90, 1)},
                        {6, pick(r, 1, 80, 1)},
                        {7, pick(r, 1, 80, 1)},
                        {8, pick(r, 1.0, 13.0, 0.1)},
                        {9, pick(r, 8, 40, 1)}},
                       kind, {});
    out.push_back(c);
  }
}

}  // namespace

std::vector<SheetCase> golden_cases() {
  std::vector<SheetCase> out;
  carbonation_cases(out);
  chloride_constant_cases(out);
  chloride_variable_cases(out);
  marine_cases(out);
  admixed_cases(out);
  return out;
}

}  // namespace pellucor::reference
