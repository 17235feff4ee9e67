#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/processes.hpp"

namespace pellucor::platform {
namespace {

namespace fs = std::filesystem;

fs::path scratch(const std::string& name) {
  const fs::path dir = fs::temp_directory_path() /
                       ("pellucor-process-" + std::to_string(current_process_id()) + "-" + name);
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

std::string utf8(const fs::path& p) {
  const auto s = p.u8string();
  return {s.begin(), s.end()};
}

std::string read(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every argument arrives as it was given: blanks, quotes, backslashes (which a Windows command
// line must quote by the C library's rules), Chinese, empty; in the folder it was started in.
TEST(Processes, ArgumentsArriveWholeInTheFolderAsked) {
  const fs::path dir = scratch("args");
  const fs::path folder = dir / fs::u8path("工作 目录");
  fs::create_directories(folder);
  const std::vector<std::string> args = {"plain",   "two words", "say \"hi\"",    "back\\slash\\",
                                         "end\\\\", "",          "结果 文件.csv", "a\tb"};
  ProcessRun run;
  run.command = {PELLUCOR_PRINT_ARGUMENTS};
  run.command.insert(run.command.end(), args.begin(), args.end());
  run.output = utf8(dir / "out");
  run.error = utf8(dir / "err");
  run.folder = utf8(folder);
  const ProcessOutcome r = run_process(run);
  ASSERT_TRUE(r.started) << r.failure;
  EXPECT_EQ(r.status, static_cast<int>(args.size()));
  std::string expected;
  for (const auto& a : args) expected += a + "\n";
  expected += "[工作 目录]\n";
  EXPECT_EQ(read(dir / "out"), expected);
  fs::remove_all(dir);
}

TEST(Processes, AProgramThatCannotStartSaysSo) {
  const fs::path dir = scratch("missing");
  ProcessRun run;
  run.command = {utf8(dir / "no-such-program")};
  run.output = utf8(dir / "out");
  run.error = utf8(dir / "err");
  const ProcessOutcome r = run_process(run);
  // posix_spawn may report a missing program as a start that ends with 127.
  EXPECT_TRUE(!r.started || r.status == 127) << r.status;
  fs::remove_all(dir);
}

}  // namespace
}  // namespace pellucor::platform
