// Every file the console writes (batch -o, mc -o, --curves) is complete, safe and where the user
// meant it: an existing file keeps its mode and links or is refused, links are followed,
// special files are refused at once, devices are streams, two outputs (or an output and the
// input) that are one file are refused before anything is computed, a size limit or a kill
// never leaves a lost, partial or exposed byte, and a thread limit never aborts the program.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#endif

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "cli_support.hpp"

namespace {

using namespace pellucor::cli_testing;

const std::string kMarineHeader =
    "member,environment,temperature,humidity,strength,cover,age,diffusion,surface,critical,"
    "cracking-time,diameter,accumulation,stable-time,initiation-time,t2,steel\n";

// Marine members with varied cover and age (all within the ranges).
std::string members(int n) {
  std::string text = kMarineHeader;
  for (int i = 0; i < n; ++i) {
    text += "M" + std::to_string(i) + ",1.5,20,0.8,30," + std::to_string(20 + i % 60) + "," +
            std::to_string(1 + i % 80) + ",1.5,5,1.4,20,20,1.0,25,10,5,2\n";
  }
  return text;
}

const std::string kMarine =
    "marine environment=1.5 temperature=20 humidity=0.8 strength=30 cover=40 age=20 "
    "diffusion=1.5 surface=5 critical=1.4 cracking-time=20 diameter=20 accumulation=1.0 "
    "stable-time=25 initiation-time=10 t2=5 steel=2";
const std::string kCarbonation =
    "carbonation environment=2 temperature=15 humidity=0.7 strength=30 cover=30 age=60 co2=1.5 "
    "diameter=20 outdoor=1 steel=1";

#ifdef _WIN32
// What only Windows has, through the console: a workbook another program holds open, and a
// read-only file; each output refused with the reason in Chinese and the file left as it was.
TEST(OutputsOnWindows, AFileHeldOpenOrReadOnlyIsRefusedAndLeftAlone) {
  const fs::path dir =
      fs::temp_directory_path() /
      fs::u8path("pellucor 输出-" + std::to_string(pellucor::platform::current_process_id()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  write_file(dir / "in.csv", members(3));
  write_file(dir / fs::u8path("结果.csv"), "earlier");
  write_file(dir / "readonly.csv", "earlier");
  fs::permissions(dir / "readonly.csv",
                  fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  HANDLE held =
      CreateFileW((dir / fs::u8path("结果.csv")).wstring().c_str(), GENERIC_READ, FILE_SHARE_READ,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  const struct {
    const char* name;
    const char* reason;
  } cases[] = {{"结果.csv", "文件正被其他程序打开"}, {"readonly.csv", "没有写入权限"}};
  for (const auto& c : cases) {
    const Outcome r = spawn({PELLUCOR_CLI, "batch", "marine", "in.csv", "-o", c.name},
                            dir / "stdout", dir / "stderr", std::chrono::seconds(60), dir);
    EXPECT_EQ(r.status, 1) << c.name;
    EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
    EXPECT_EQ(read_file(dir / fs::u8path(c.name)), "earlier") << c.name;
  }
  CloseHandle(held);
  fs::permissions(dir / "readonly.csv", fs::perms::owner_write, fs::perm_options::add);
  fs::remove_all(dir);
}

TEST(OutputsPosixByNature, SkippedOnWindows) {
  GTEST_SKIP() << "POSIX by nature: run through bash with FIFOs, hard and symbolic links, file "
                  "modes, ulimit, setpriv and signals";
}
#else
// One command that writes a whole file, with the output's name given last.
struct Writer {
  std::string name;
  std::string command;  // "$CLI ..." up to the output file's name
};
const std::vector<Writer> kWriters = {
    {"batch -o", "\"$CLI\" batch marine in.csv -o"},
    {"mc -o", "\"$CLI\" mc " + kCarbonation + " --samples 2000 -o"},
    {"--curves", "\"$CLI\" " + kMarine + " --curves"},
};

class Outputs : public CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    write_file(dir_ / "in.csv", members(12));
  }

  // Runs a bash script in the test's folder, with $CLI the program; a limit of a minute.
  // Standard output and error are kept beside the folder, so that it holds only its own files.
  Outcome shell(const std::string& script) {
    const fs::path outPath = dir_.string() + ".stdout";
    const fs::path errPath = dir_.string() + ".stderr";
    const std::string full =
        "cd '" + dir_.string() + "' && export CLI='" + PELLUCOR_CLI + "' && { " + script + "; }";
    Outcome r = pellucor::cli_testing::spawn({"/bin/bash", "-c", full}, outPath, errPath,
                                             std::chrono::seconds(60));
    fs::remove(outPath);
    fs::remove(errPath);
    return r;
  }

  // Runs a script as a user without root's rights: root drops them (setpriv, as nobody);
  // another user runs it as itself. False when neither can be done. Nobody runs a copy of the
  // program beside the test's folder: the build folder may lie where only root may enter (a
  // checkout under `mktemp -d` or /root).
  bool asUser(const std::string& script, Outcome* outcome) {
    if (::geteuid() != 0) {
      *outcome = shell(script);
      return true;
    }
    if (::access("/usr/bin/setpriv", X_OK) != 0) return false;
    fs::permissions(dir_, fs::perms::all);
    const fs::path program = programCopy() / "pellucor-cli";
    if (!fs::exists(program)) {
      fs::create_directories(program.parent_path());
      fs::copy_file(PELLUCOR_CLI, program);
      const auto readAndRun = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec;
      fs::permissions(program.parent_path(), readAndRun);
      fs::permissions(program, readAndRun);
    }
    *outcome = shell("export CLI='" + program.string() +
                     "'; setpriv --reuid=65534 --regid=65534 --clear-groups /bin/bash -c '" +
                     script + "'");
    return true;
  }
  // The folder of that copy: beside the test's folder, whose listing stays its own.
  fs::path programCopy() const { return dir_.string() + ".program"; }
  void TearDown() override {
    fs::remove_all(programCopy());
    CliTest::TearDown();
  }

  std::string listing() { return shell("ls -A").out; }
  mode_t modeOf(const std::string& name) {
    struct stat st {};
    EXPECT_EQ(::lstat((dir_ / name).c_str(), &st), 0) << name;
    return st.st_mode;
  }
};

TEST_F(Outputs, AnExistingFileKeepsItsModeAndLinksOrIsRefusedAndLeftAlone) {
  for (const Writer& w : kWriters) {
    SCOPED_TRACE(w.name);
    // A private file stays private.
    write_file(dir_ / "private.csv", "earlier");
    ::chmod((dir_ / "private.csv").c_str(), 0600);
    const Outcome privateRun = shell(w.command + " private.csv");
    EXPECT_NE(privateRun.status, 1) << privateRun.err;
    EXPECT_NE(read_file(dir_ / "private.csv"), "earlier");
    EXPECT_EQ(modeOf("private.csv") & 07777, 0600u);

    // A file with a second name, and a read-only file (for root too): refused, untouched.
    write_file(dir_ / "linked.csv", "shared");
    fs::create_hard_link(dir_ / "linked.csv", dir_ / "other-name.csv");
    write_file(dir_ / "readonly.csv", "keep");
    ::chmod((dir_ / "readonly.csv").c_str(), 0444);
    const std::pair<std::string, std::string> refusals[] = {{"linked.csv", "文件有多个硬链接"},
                                                            {"readonly.csv", "没有写入权限"}};
    for (const auto& [name, why] : refusals) {
      const Outcome r = shell(w.command + " " + name);
      EXPECT_EQ(r.status, 1) << name;
      EXPECT_NE(r.err.find("无法写入文件 " + name + "（" + why), std::string::npos) << r.err;
    }
    EXPECT_EQ(read_file(dir_ / "linked.csv"), "shared");
    EXPECT_EQ(read_file(dir_ / "other-name.csv"), "shared");
    EXPECT_EQ(read_file(dir_ / "readonly.csv"), "keep");
    EXPECT_EQ(modeOf("readonly.csv") & 07777, 0444u);

    // A symbolic link is followed: the file it points to gets the output, the link stays.
    write_file(dir_ / "target.csv", "old");
    fs::create_symlink("target.csv", dir_ / "link.csv");
    EXPECT_NE(shell(w.command + " link.csv").status, 1);
    EXPECT_TRUE(S_ISLNK(modeOf("link.csv")));
    EXPECT_NE(read_file(dir_ / "target.csv"), "old");

    EXPECT_EQ(listing(),
              "in.csv\nlink.csv\nlinked.csv\nother-name.csv\nprivate.csv\nreadonly.csv\n"
              "target.csv\n");
    for (const char* name : {"link.csv", "linked.csv", "other-name.csv", "private.csv",
                             "readonly.csv", "target.csv"}) {
      fs::remove(dir_ / name);
    }
  }
}

TEST_F(Outputs, APipeIsRefusedAtOnceAndADeviceIsAStream) {
  ASSERT_EQ(::mkfifo((dir_ / "pipe").c_str(), 0644), 0);
  // A character device of its own where root can make one (/dev/null's numbers), else
  // /dev/null itself.
  std::string device = "/dev/null";
  if (::geteuid() == 0 && ::mknod((dir_ / "null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) {
    device = "null";
  }
  for (const Writer& w : kWriters) {
    SCOPED_TRACE(w.name);
    const Outcome pipe = shell(w.command + " pipe");  // no reader: must not wait
    EXPECT_EQ(pipe.status, 1);
    EXPECT_NE(pipe.err.find("不是普通文件"), std::string::npos) << pipe.err;
    EXPECT_TRUE(S_ISFIFO(modeOf("pipe")));
    const Outcome null = shell(w.command + " " + device);
    EXPECT_NE(null.status, 1) << null.err;
    if (device == "null") {
      EXPECT_TRUE(S_ISCHR(modeOf("null")));
    }
  }
}

TEST_F(Outputs, StandardOutputIsAStreamWhereItIsTheOutputAndRefusedWhereItIsNot) {
  const Outcome csv = shell("\"$CLI\" batch marine in.csv -o /dev/stdout");
  EXPECT_EQ(csv.status, 0) << csv.err;
  EXPECT_EQ(lines_of(csv.out).size(), 13u);  // header and 12 members, on standard output
  EXPECT_EQ(csv.out, shell("\"$CLI\" batch marine in.csv -o -").out);
  EXPECT_TRUE(fs::is_symlink("/dev/stdout"));
  // The summary and the pane go to standard output: their curves go to a file.
  for (const Writer& w : {kWriters[1], kWriters[2]}) {
    const Outcome r = shell(w.command + " /dev/stdout");
    EXPECT_EQ(r.status, 1) << w.name;
    EXPECT_NE(r.err.find("is the standard output"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "") << w.name;
  }
}

TEST_F(Outputs, TwoOutputsOrAnOutputAndTheInputThatAreOneFileAreRefusedFirst) {
  write_file(dir_ / "same.txt", "earlier blocks\r\n");
  fs::create_symlink("same.txt", dir_ / "alias.txt");
  const std::string cases[] = {
      "\"$CLI\" " + kMarine + " --save same.txt --curves same.txt",
      "\"$CLI\" " + kMarine + " --save same.txt --curves ./same.txt",
      "\"$CLI\" " + kMarine + " --save alias.txt --curves same.txt",
      "\"$CLI\" " + kMarine + " --save fresh.txt --curves ./fresh.txt",
      "\"$CLI\" batch marine in.csv -o in.csv",
      "\"$CLI\" batch marine - -o ./in.csv < in.csv",
  };
  for (const std::string& c : cases) {
    SCOPED_TRACE(c);
    const Outcome r = shell(c);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("are the same file"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");  // nothing computed
  }
  EXPECT_EQ(read_file(dir_ / "same.txt"), "earlier blocks\r\n");
  EXPECT_EQ(read_file(dir_ / "in.csv"), members(12));
  EXPECT_FALSE(fs::exists(dir_ / "fresh.txt"));
}

TEST_F(Outputs, AFileSizeLimitOrAFullDiskIsReportedAndTheEarlierFileKept) {
  for (const Writer& w : kWriters) {
    SCOPED_TRACE(w.name);
    write_file(dir_ / "out.csv", "earlier");
    // No trap: the signal of the limit must not end the program.
    const Outcome limited = shell("ulimit -f 1; " + w.command + " out.csv");
    EXPECT_EQ(limited.status, 2) << limited.err;
    EXPECT_NE(limited.err.find("无法写入文件 out.csv（文件超过允许的大小），数据未保存!"),
              std::string::npos)
        << limited.err;
    EXPECT_EQ(read_file(dir_ / "out.csv"), "earlier");
    const Outcome full = shell(w.command + " /dev/full");
    EXPECT_EQ(full.status, 2) << full.err;
    EXPECT_NE(full.err.find("（磁盘已满）"), std::string::npos) << full.err;
    EXPECT_EQ(listing(), "in.csv\nout.csv\n");
  }
}

TEST_F(Outputs, KilledDuringTheRunLeavesTheEarlierFileAndNoTemporaryFile) {
  // Enough members that the batch is still running when it is killed (it is fast).
  write_file(dir_ / "big.csv", members(600000));
  const std::string runs[] = {
      "\"$CLI\" mc " + kCarbonation + " --samples 3000000 -o out.csv",
      "\"$CLI\" batch marine big.csv --jobs 2 -o out.csv",
  };
  for (const std::string& run : runs) {
    for (const char* after : {"0.2", "0.6"}) {
      SCOPED_TRACE(run + " killed after " + after + " s");
      write_file(dir_ / "out.csv", "earlier");
      const Outcome r = shell(run + " & pid=$!; sleep " + after + "; kill -9 $pid; wait $pid");
      // The run was killed, not finished first (else the test proves nothing: give it more work).
      EXPECT_EQ(r.status, 128 + 9) << r.err;
      EXPECT_EQ(read_file(dir_ / "out.csv"), "earlier");
      EXPECT_EQ(listing(), "big.csv\nin.csv\nout.csv\n");
    }
  }
}

TEST_F(Outputs, AnOutputThatCannotBeMadeIsRefusedBeforeTheRun) {
  const std::string tooLong(256, 'n');
  const std::string nearlyTooLong(250, 'n');  // fits, with no temporary name to lengthen it
  for (const Writer& w : kWriters) {
    SCOPED_TRACE(w.name);
    for (const std::string& name : {std::string("missing/out.csv"), tooLong}) {
      const Outcome r = shell(w.command + " " + name);
      EXPECT_EQ(r.status, 1);
      EXPECT_NE(r.err.find("nothing was computed"), std::string::npos) << r.err;
      EXPECT_EQ(r.err.find("members:"), std::string::npos) << r.err;  // no member ran
      EXPECT_EQ(r.out, "");
    }
    const Outcome fits = shell(w.command + " " + nearlyTooLong);
    EXPECT_EQ(fits.status, 0) << fits.err;
    EXPECT_TRUE(fs::exists(dir_ / nearlyTooLong));
    fs::remove(dir_ / nearlyTooLong);
  }
}

// Without root's rights: a folder or a file the user may not write is never changed, and a
// file that the user may write but does not own is not replaced by one of the user's own.
TEST_F(Outputs, NothingTheUserCouldNotWriteIsChanged) {
  fs::create_directory(dir_ / "ro");
  write_file(dir_ / "theirs.csv", "theirs");
  write_file(dir_ / "shared.csv", "shared");
  if (::geteuid() == 0) {
    ::chmod((dir_ / "theirs.csv").c_str(), 0644);  // root's, others read it
    ::chmod((dir_ / "shared.csv").c_str(), 0666);  // root's, others may write it
  }
  fs::permissions(dir_ / "ro", fs::perms::owner_read | fs::perms::owner_exec |
                                   fs::perms::others_read | fs::perms::others_exec);
  if (::geteuid() != 0) {
    GTEST_SKIP() << "not root: the files below belong to this user, and there is no other "
                    "user's file to try (the mode and link cases cover the rest)";
  }
  for (const Writer& w : kWriters) {
    SCOPED_TRACE(w.name);
    const std::pair<std::string, std::string> cases[] = {
        {"ro/out.csv", "没有写入权限"},
        {"theirs.csv", "没有写入权限"},
        {"shared.csv", "无法保留文件的所有者"},
    };
    for (const auto& [name, why] : cases) {
      Outcome r;
      if (!asUser(w.command + " " + name, &r)) GTEST_SKIP() << "no setpriv to drop root's rights";
      EXPECT_EQ(r.status, 1) << name;
      EXPECT_NE(r.err.find(why), std::string::npos) << r.err;
    }
  }
  EXPECT_EQ(read_file(dir_ / "theirs.csv"), "theirs");
  EXPECT_EQ(read_file(dir_ / "shared.csv"), "shared");
  EXPECT_FALSE(fs::exists(dir_ / "ro" / "out.csv"));
  struct stat st {};
  ASSERT_EQ(::stat((dir_ / "shared.csv").c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 0u);
}

// With a limit on the user's processes the threads asked for cannot all start: the program
// runs on those it has, says so, and gives the same results.
TEST_F(Outputs, AThreadLimitNeverAbortsTheProgram) {
  write_file(dir_ / "in.csv", members(2000));
  const Outcome one = shell("\"$CLI\" batch marine in.csv --jobs 1");
  ASSERT_EQ(one.status, 0) << one.err;
  // Enough samples that the first threads are still at work when the limit refuses one (the
  // samples of a sheet take a fraction of a microsecond each).
  const std::string mcRun = "\"$CLI\" mc " + kCarbonation + " --samples 1000000";
  Outcome limited;
  if (!asUser("ulimit -u 8; \"$CLI\" batch marine in.csv --jobs 64", &limited)) {
    GTEST_SKIP() << "no setpriv to drop root's rights (root has no process limit)";
  }
  EXPECT_EQ(limited.status, 0) << limited.err;
  EXPECT_EQ(limited.out, one.out);
  EXPECT_NE(limited.err.find("threads could be started"), std::string::npos) << limited.err;
  Outcome mc;
  ASSERT_TRUE(asUser("ulimit -u 8; " + mcRun + " --threads 64", &mc));
  EXPECT_EQ(mc.status, 0) << mc.err;
  EXPECT_NE(mc.err.find("threads could be started"), std::string::npos) << mc.err;
  EXPECT_EQ(mc.out, shell(mcRun + " --threads 1").out);
}

#endif  // _WIN32

}  // namespace
