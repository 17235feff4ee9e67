#include "model/erf.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <thread>
#include <vector>

#include "model/gen/erf_loops.hpp"
#include "reference_loops.hpp"

namespace pellucor::model {
namespace {

using reference::bits;

// Arguments for the forward routines: zero and its neighbours, the first grid points, the
// arguments the worked examples reach, the search cut-off 2.36, the region where the sum
// stops growing (about 4.6 fine, 4.2 coarse) and past the overflow of exp(t*t) (coarse only,
// the fine plain loop would take seconds there).
const double kForwardArgs[] = {-1.0,
                               -0.0,
                               0.0,
                               1e-300,
                               1e-7,
                               2e-7,
                               2.0000000000000001e-7,
                               4e-7,
                               3e-6,
                               0.1,
                               0.182574185835055,
                               0.3651483716701107,
                               0.5,
                               0.72,
                               1.0,
                               1.5,
                               2.36,
                               2.3600001,
                               3.0,
                               3.55,
                               4.0,
                               4.5,
                               4.62,
                               4.64,
                               5.0};
const double kCoarseOnlyArgs[] = {6.0, 26.0, 27.0, 40.0};

TEST(ErfFine, MatchesThePlainLoopBitForBit) {
  for (double x : kForwardArgs) {
    EXPECT_EQ(bits(fun_erf_fine(x)), bits(reference::plain_erf_fine(x))) << "x = " << x;
  }
  // Again with the table already filled beyond every argument, in descending order.
  for (auto it = std::rbegin(kForwardArgs); it != std::rend(kForwardArgs); ++it) {
    EXPECT_EQ(bits(fun_erf_fine(*it)), bits(reference::plain_erf_fine(*it))) << "x = " << *it;
  }
}

TEST(ErfCoarse, MatchesThePlainLoopBitForBit) {
  for (double x : kForwardArgs) {
    EXPECT_EQ(bits(fun_erf_coarse(x)), bits(reference::plain_erf_coarse(x))) << "x = " << x;
  }
  for (double x : kCoarseOnlyArgs) {
    EXPECT_EQ(bits(fun_erf_coarse(x)), bits(reference::plain_erf_coarse(x))) << "x = " << x;
  }
}

// An argument equal to a stored abscissa must still add the term at that abscissa; one just
// below must not. Checkpoints lie every 256 fine and every 64 coarse steps, but these
// multiples of 64*256 steps are checkpoints of both, whatever the stride.
TEST(ErfForward, ArgumentsOnAndBesideCheckpoints) {
  for (std::uint64_t steps : {16384ULL, 16384ULL * 37, 16384ULL * 100}) {
    const auto fine = reference::plain_state(steps, 2e-7, 5000000, 3.14159);
    const auto coarse = reference::plain_state(steps, 2e-6, 500000, 3.14159);
    for (double x : {fine.at, std::nextafter(fine.at, 0.0), std::nextafter(fine.at, 1.0)}) {
      EXPECT_EQ(bits(fun_erf_fine(x)), bits(reference::plain_erf_fine(x))) << x;
    }
    for (double x : {coarse.at, std::nextafter(coarse.at, 0.0), std::nextafter(coarse.at, 1.0)}) {
      EXPECT_EQ(bits(fun_erf_coarse(x)), bits(reference::plain_erf_coarse(x))) << x;
    }
  }
}

TEST(ErfForward, DefinedValuesAtTheEdges) {
  // One term at t = 0: 2 / sqrt(3.14159) = 1.12837916709551..., divided by N.
  const double fineTerm = 2.2567592872927373e-07;
  const double coarseTerm = 2.2567592872927375e-06;
  EXPECT_EQ(fun_erf_fine(-1), 0.0);
  EXPECT_EQ(fun_erf_fine(0), fineTerm);
  EXPECT_EQ(fun_erf_fine(1e-7), fineTerm);
  EXPECT_EQ(fun_erf_coarse(0), coarseTerm);
  // A left rectangle rule on a decreasing integrand lies slightly above erf.
  EXPECT_GT(fun_erf_fine(0.5), std::erf(0.5));
  EXPECT_LT(fun_erf_fine(0.5) - std::erf(0.5), 5e-7);
  EXPECT_GT(fun_erf_fine(1), std::erf(1.0));
  EXPECT_NEAR(fun_erf_coarse(0.5), fun_erf_fine(0.5), 5e-7);
  EXPECT_LT(fun_erf_coarse(2.36), 1.0);
  EXPECT_TRUE(std::isnan(fun_erf_fine(std::numeric_limits<double>::quiet_NaN())));
  // Far beyond the saturation the value is the saturated sum, with no overflow.
  EXPECT_EQ(fun_erf_fine(std::numeric_limits<double>::infinity()), fun_erf_fine(5.0));
  EXPECT_EQ(fun_erf_coarse(1e300), fun_erf_coarse(40.0));
}

// Arguments of the inverse: negative, zero, tiny, the ratios of the worked examples, values
// near 1 and just below the limit of the sum.
TEST(ErfInverse, MatchesThePlainLoopBitForBit) {
  const double limit = fun_erf_fan_limit();
  const double args[] = {-0.5, -0.0,     0.0, 1e-300, 1e-7,
                         2e-6, 0.1,      0.5, 0.6,    0.72,
                         0.99, 0.999999, 1.0, 1.0002, std::nextafter(limit, 0.0)};
  for (double y : args) {
    const auto got = fun_erf_fan(y);
    ASSERT_TRUE(got.has_value()) << "y = " << y;
    EXPECT_EQ(bits(*got), bits(reference::plain_erf_fan(y))) << "y = " << y;
  }
  for (double y : {0.72, 0.0, 0.5}) {
    EXPECT_EQ(bits(*fun_erf_fan(y)), bits(reference::plain_erf_fan(y))) << "y = " << y;
  }
}

TEST(ErfInverse, DefinedValuesAndNoResultAtTheLimit) {
  EXPECT_EQ(*fun_erf_fan(-0.5), 0.0);
  EXPECT_EQ(*fun_erf_fan(0), 2e-6);
  // The density is scaled by sqrt(3.14), so the result lies below the true inverse.
  for (double y : {0.5, 0.72, 0.99}) {
    const double z = *fun_erf_fan(y);
    EXPECT_LT(std::erf(z), y) << y;
  }
  EXPECT_NEAR(*fun_erf_fan(1.0) / 2e-6, 1.29e6, 0.01e6);
  const double limit = fun_erf_fan_limit();
  EXPECT_GT(limit, 1.0);
  EXPECT_NEAR(limit, std::sqrt(M_PI) / std::sqrt(3.14), 2e-6);
  EXPECT_FALSE(fun_erf_fan(limit).has_value());
  EXPECT_FALSE(fun_erf_fan(1.5).has_value());
  EXPECT_FALSE(fun_erf_fan(std::numeric_limits<double>::infinity()).has_value());
  EXPECT_FALSE(fun_erf_fan(std::numeric_limits<double>::quiet_NaN()).has_value());
}

TEST(ErfTables, StayWithinTheirMemoryBudgetWhenFull) {
  fun_erf_fine(1e9);
  fun_erf_coarse(1e9);
  fun_erf_fan_limit();
  EXPECT_LT(erf_table_bytes(), 4u << 20);
}

// The build fills the tables with this code; a table that outgrows its capacity before its
// sum saturates is an error, not a table cut short.
TEST(ErfTables, FillingPastCapacityFailsLoudly) {
  const erf_loops::Loop coarse = erf_loops::coarse_loop();
  EXPECT_THROW(erf_loops::fill(coarse, 100), std::length_error);
  const erf_loops::Table full = erf_loops::fill(coarse, erf_loops::kCapacity);
  EXPECT_EQ(full.saturation.sum, fun_erf_coarse(1e9));
  EXPECT_EQ(bits(full.checkpoints[37].sum),
            bits(reference::plain_state(37 * 64, 2e-6, 500000, 3.14159).sum));
}

// Threads reading the tables at once still get the plain values.
TEST(ErfTables, ConcurrentCallersGetThePlainValues) {
  const std::vector<double> xs = {0.37, 1.2, 0.05, 2.0, 0.9, 3.1};
  std::vector<double> expectedFine, expectedFan;
  for (double x : xs) {
    expectedFine.push_back(reference::plain_erf_fine(x));
    expectedFan.push_back(reference::plain_erf_fan(x / 3.2));
  }
  std::vector<std::thread> threads;
  std::vector<int> failures(6, 0);
  for (int k = 0; k < 6; ++k) {
    threads.emplace_back([&, k] {
      for (int round = 0; round < 3; ++round) {
        for (std::size_t j = 0; j < xs.size(); ++j) {
          const std::size_t i = (j + static_cast<std::size_t>(k)) % xs.size();
          if (bits(fun_erf_fine(xs[i])) != bits(expectedFine[i])) ++failures[k];
          if (bits(*fun_erf_fan(xs[i] / 3.2)) != bits(expectedFan[i])) ++failures[k];
        }
      }
    });
  }
  for (auto& t : threads) t.join();
  for (int f : failures) EXPECT_EQ(f, 0);
}

}  // namespace
}  // namespace pellucor::model
