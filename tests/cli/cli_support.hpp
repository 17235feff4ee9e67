// Running the console program from a test: a fresh folder for each test, the program's
// standard output and error caught in files, its exit status.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

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

// Runs all[0] with the arguments `all`, standard output and error into the two files. With a
// limit, a program that has not ended within it is killed and the test fails.
inline Outcome spawn(std::vector<std::string> all, const fs::path& outPath, const fs::path& errPath,
                     std::optional<std::chrono::seconds> limit = std::nullopt) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  Outcome r;
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  EXPECT_EQ(spawned, 0) << "cannot start " << argv[0];
  if (spawned != 0) return r;
  int status = 0;
  if (!limit) {
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  } else {
    const auto deadline = std::chrono::steady_clock::now() + *limit;
    for (;;) {
      const pid_t done = waitpid(pid, &status, WNOHANG);
      if (done == pid || (done < 0 && errno != EINTR)) break;
      if (std::chrono::steady_clock::now() > deadline) {
        ADD_FAILURE() << "the program did not end; killed";
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.out = read_file(outPath);
  r.err = read_file(errPath);
  return r;
}

// A test with a folder of its own, removed afterwards; runs the built console program.
class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() / ("pellucor-" + std::string(info->test_suite_name()) + "-" +
                                        std::to_string(getpid()) + "-" + info->name());
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
