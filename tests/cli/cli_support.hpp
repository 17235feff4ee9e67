// Running the console program from a test: a fresh folder for each test, the program's
// standard output and error caught in files, its exit status.
#pragma once

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/processes.hpp"

// A test that runs POSIX tools (bash, unzip, script, GNU parallel, ulimit) is skipped on
// Windows, which has none of them; the reason names what it needs.
#ifdef _WIN32
#define PELLUCOR_SKIP_WITHOUT_POSIX_TOOLS(tools) \
  GTEST_SKIP() << "POSIX by nature: runs " tools ", which Windows has not"
#else
#define PELLUCOR_SKIP_WITHOUT_POSIX_TOOLS(tools)
#endif

namespace pellucor::cli_testing {

namespace fs = std::filesystem;

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
  std::vector<std::string> lines() const {  // standard output, one entry a line
    std::vector<std::string> result;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
  }
};

inline std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void write_file(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// The lines of a text, without their CR.
inline std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// Runs all[0] with the arguments `all`, standard output and error into the two files (in
// `folder` when one is given, standard input from `input` when one is given). With a limit, a
// program that has not ended within it is killed and the test fails.
inline Outcome spawn(std::vector<std::string> all, const fs::path& outPath, const fs::path& errPath,
                     std::optional<std::chrono::seconds> limit = std::nullopt,
                     const fs::path& folder = {}, const fs::path& input = {}) {
  platform::ProcessRun run;
  run.command = std::move(all);
  run.output = outPath.string();
  run.error = errPath.string();
  run.folder = folder.string();
  run.input = input.string();
  if (limit) run.limit = *limit;
  // Under Wine on a loaded machine a program now and then fails to start at all (the emulator,
  // not the program under test): tried up to three times, each failure said on the test's
  // output, and the test fails when none started.
  platform::ProcessOutcome done = platform::run_process(run);
  for (int attempt = 1; !done.started && attempt < 3; ++attempt) {
    std::cerr << "spawn: " << run.command[0] << " did not start (" << done.failure
              << "); trying again\n";
    std::this_thread::sleep_for(std::chrono::seconds(1));
    done = platform::run_process(run);
  }
  Outcome r;
  EXPECT_TRUE(done.started) << done.failure;
  if (!done.started) return r;
  if (done.killed) ADD_FAILURE() << "the program did not end; killed";
  r.status = done.status;
  r.out = read_file(outPath);
  r.err = read_file(errPath);
  return r;
}

// A test with a folder of its own, removed afterwards; runs the built console program.
class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() /
           ("pellucor-" + std::string(info->test_suite_name()) + "-" +
            std::to_string(platform::current_process_id()) + "-" + info->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Runs the program with `args`; standard output and error go to files of the test.
  Outcome run(const std::vector<std::string>& args,
              std::optional<std::chrono::seconds> limit = std::nullopt) {
    std::vector<std::string> all = {PELLUCOR_CLI};
    all.insert(all.end(), args.begin(), args.end());
    return spawn(std::move(all), limit);
  }

  // Runs `all` (all[0] the program); standard output and error go to files of the test.
  Outcome spawn(std::vector<std::string> all,
                std::optional<std::chrono::seconds> limit = std::nullopt) {
    return cli_testing::spawn(std::move(all), dir_ / "stdout", dir_ / "stderr", limit);
  }

  fs::path dir_;
};

}  // namespace pellucor::cli_testing
