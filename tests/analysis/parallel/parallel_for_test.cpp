// The shared parallel-for: every index exactly once whatever the threads and chunks, the first
// error carried to the caller, cancellation, progress that only grows, and fewer threads (never
// an abort) when the system refuses to start more.
#include "analysis/parallel/parallel_for.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace pellucor::analysis {
namespace {

TEST(ParallelFor, RunsEveryIndexExactlyOnce) {
  struct Case {
    std::size_t n;
    std::size_t chunk;
    unsigned threads;
  };
  const Case cases[] = {{0, 1, 4},     {1, 1, 4},       {7, 3, 2}, {1000, 1, 3},
                        {1000, 16, 8}, {1000, 5000, 4}, {33, 0, 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.n) + " " + std::to_string(c.chunk) + " " +
                 std::to_string(c.threads));
    std::vector<std::atomic<int>> seen(c.n);
    ParallelOptions options;
    options.chunk = c.chunk;
    options.threads = c.threads;
    const ParallelOutcome out = parallel_for(
        c.n,
        [&](std::size_t begin, std::size_t end) {
          ASSERT_LT(begin, end);
          ASSERT_LE(end, c.n);
          for (std::size_t i = begin; i < end; ++i) seen[i].fetch_add(1);
        },
        options);
    for (std::size_t i = 0; i < c.n; ++i) EXPECT_EQ(seen[i].load(), 1) << i;
    EXPECT_EQ(out.completed, c.n);
    EXPECT_FALSE(out.cancelled);
    EXPECT_EQ(out.refused, 0u);
    EXPECT_GE(out.threads, c.n == 0 ? 0u : 1u);
    EXPECT_LE(out.threads, c.threads);
  }
}

TEST(ParallelFor, TheFirstErrorReachesTheCallerAndStopsTheHandingOut) {
  // On the caller's thread alone: nothing after the failing chunk runs.
  std::atomic<int> chunksRun{0};
  ParallelOptions one;
  one.threads = 1;
  try {
    parallel_for(
        1000,
        [&](std::size_t begin, std::size_t) {
          chunksRun.fetch_add(1);
          if (begin == 10) throw std::invalid_argument("row 10 failed");
        },
        one);
    FAIL() << "no error";
  } catch (const std::invalid_argument& e) {
    EXPECT_STREQ(e.what(), "row 10 failed");
  }
  EXPECT_EQ(chunksRun.load(), 11);

  // Errors on several threads at once: every thread is joined (no terminate) and one error
  // comes back whole.
  ParallelOptions four;
  four.threads = 4;
  try {
    parallel_for(
        1000,
        [&](std::size_t begin, std::size_t) {
          if (begin == 10) throw std::invalid_argument("row 10 failed");
          if (begin > 10) throw std::out_of_range("a later row failed");
          std::this_thread::sleep_for(std::chrono::milliseconds(1));
        },
        four);
    FAIL() << "no error";
  } catch (const std::invalid_argument& e) {
    EXPECT_STREQ(e.what(), "row 10 failed");
  } catch (const std::out_of_range&) {
    // Another thread's chunk after 10 may fail first: still one error, carried back whole.
  }
}

TEST(ParallelFor, CancelledChunksDoNotRun) {
  std::atomic<bool> cancel{false};
  std::atomic<std::size_t> ran{0};
  ParallelOptions options;
  options.threads = 3;
  options.chunk = 10;
  options.cancel = &cancel;
  const ParallelOutcome out = parallel_for(
      10000,
      [&](std::size_t begin, std::size_t end) {
        ran.fetch_add(end - begin);
        if (begin >= 200) cancel = true;
      },
      options);
  EXPECT_TRUE(out.cancelled);
  EXPECT_EQ(out.completed, ran.load());
  EXPECT_LT(out.completed, 10000u);
}

TEST(ParallelFor, ProgressOnlyGrowsAndEndsAtTheTotal) {
  std::size_t last = 0;
  std::size_t calls = 0;
  ParallelOptions options;
  options.threads = 4;
  options.chunk = 7;
  options.progress = [&](std::size_t done, std::size_t total) {
    EXPECT_EQ(total, 500u);
    EXPECT_GT(done, last);
    last = done;
    ++calls;
  };
  parallel_for(
      500, [](std::size_t, std::size_t) {}, options);
  EXPECT_EQ(last, 500u);
  EXPECT_GE(calls, 1u);
}

// A system that starts only `allowed` more threads: the work runs on the threads there are.
TEST(ParallelFor, ThreadsTheSystemRefusesAreNoError) {
  for (unsigned allowed : {0u, 1u, 3u}) {
    SCOPED_TRACE(allowed);
    unsigned started = 0;
    ParallelOptions options;
    options.threads = 64;
    options.chunk = 1;
    options.startThread = [&](std::function<void()> f) {
      if (started == allowed) {
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
      }
      ++started;
      return std::thread(std::move(f));
    };
    std::vector<std::atomic<int>> seen(300);
    const ParallelOutcome out = parallel_for(
        seen.size(),
        [&](std::size_t begin, std::size_t end) {
          for (std::size_t i = begin; i < end; ++i) seen[i].fetch_add(1);
        },
        options);
    for (const auto& s : seen) EXPECT_EQ(s.load(), 1);
    EXPECT_EQ(out.threads, allowed + 1);
    EXPECT_EQ(out.refused, 64 - 1 - allowed);
    EXPECT_EQ(out.completed, seen.size());
  }
}

}  // namespace
}  // namespace pellucor::analysis
