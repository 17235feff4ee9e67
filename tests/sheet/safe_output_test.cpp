// The safe output: a file appears whole or not at all, an existing file keeps its mode, owner
// and links or is refused, links are followed, devices are streams, special files are refused
// at once, and no fault (a size limit, a kill, a file changed meanwhile) loses or exposes a byte.
#include "sheet/safe_output.hpp"

#ifdef _WIN32
#include <gtest/gtest.h>

// The safe output's POSIX side: FIFOs, sockets, devices, hard and symbolic links, file modes,
// owners and access lists, root's rights, the file-size limit and signals.
TEST(SafeOutputPosixByNature, SkippedOnWindows) {
  GTEST_SKIP() << "POSIX by nature (FIFOs, sockets, links, modes and owners, setrlimit, signals); "
                  "the Windows counterparts (a safe replace, a file held open, read-only files, "
                  "names with Chinese characters and blanks) are in tests/platform/files_test.cpp";
}
#else

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

namespace pellucor::sheet {
namespace {

namespace fs = std::filesystem;
using Reason = WriteFailure::Reason;

class SafeOutputTest : public ::testing::Test {
 protected:
  SafeOutputTest() {
    dir = fs::temp_directory_path() /
          ("pellucor_safe_" + std::to_string(::getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  ~SafeOutputTest() override {
    std::error_code ignored;
    fs::remove_all(dir, ignored);
  }
  static std::string read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  static void write(const fs::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
  }
  // The names in the folder, sorted.
  std::string listing() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    std::string out;
    for (const auto& n : names) out += n + " ";
    return out;
  }
  static mode_t mode_of(const fs::path& p) {
    struct stat st {};
    EXPECT_EQ(::lstat(p.c_str(), &st), 0) << p;
    return st.st_mode & 07777;
  }

  fs::path dir;
};

mode_t umask_now() {
  const mode_t m = ::umask(0);
  ::umask(m);
  return m;
}

TEST_F(SafeOutputTest, ANewFileAppearsOnlyWhenCompleteWithTheUsualMode) {
  const fs::path target = dir / "out.csv";
  SafeOutput out;
  ASSERT_EQ(out.open(target), std::nullopt);
  EXPECT_EQ(out.kind(), SafeOutput::Kind::NewFile);
  ASSERT_EQ(out.write("a,b\r\n"), std::nullopt);
  ASSERT_EQ(out.write("1,2\r\n"), std::nullopt);
  // Nothing under any name before the commit where the system offers unnamed files.
  if (out.writableName().starts_with("/proc/self/fd/")) {
    EXPECT_EQ(listing(), "");
  }
  EXPECT_FALSE(fs::exists(target));
  ASSERT_EQ(out.commit(), std::nullopt);
  EXPECT_EQ(read(target), "a,b\r\n1,2\r\n");
  EXPECT_EQ(mode_of(target), 0666 & ~umask_now());
  EXPECT_EQ(listing(), "out.csv ");
}

TEST_F(SafeOutputTest, AReplacedFileKeepsItsModeAndIsWholeOrUntouched) {
  const fs::path target = dir / "private.csv";
  write(target, "earlier");
  ASSERT_EQ(::chmod(target.c_str(), 0600), 0);
  SafeOutput out;
  ASSERT_EQ(out.open(target), std::nullopt);
  EXPECT_EQ(out.kind(), SafeOutput::Kind::Replace);
  ASSERT_EQ(out.write("new content"), std::nullopt);
  EXPECT_EQ(read(target), "earlier");  // until the commit
  ASSERT_EQ(out.commit(), std::nullopt);
  EXPECT_EQ(read(target), "new content");
  EXPECT_EQ(mode_of(target), 0600u);
  EXPECT_EQ(listing(), "private.csv ");

  // Dropped without a commit: the file is as it was.
  SafeOutput dropped;
  ASSERT_EQ(dropped.open(target), std::nullopt);
  ASSERT_EQ(dropped.write("half"), std::nullopt);
  dropped.abandon();
  EXPECT_EQ(read(target), "new content");
  EXPECT_EQ(listing(), "private.csv ");
}

TEST_F(SafeOutputTest, RootKeepsTheOwnerOfAFileItReplaces) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can make a file that belongs to another user";
  const fs::path target = dir / "theirs.csv";
  write(target, "theirs");
  ASSERT_EQ(::chown(target.c_str(), 65534, 65534), 0);
  SafeOutput out;
  ASSERT_EQ(out.open(target), std::nullopt);
  ASSERT_EQ(out.write("replaced"), std::nullopt);
  ASSERT_EQ(out.commit(), std::nullopt);
  struct stat st {};
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 65534u);
  EXPECT_EQ(st.st_gid, 65534u);
  EXPECT_EQ(read(target), "replaced");
}

// Kills the test (instead of letting it hang) when an open waits for something.
class Deadline {
 public:
  explicit Deadline(unsigned seconds) { ::alarm(seconds); }
  ~Deadline() { ::alarm(0); }
  Deadline(const Deadline&) = delete;
  Deadline& operator=(const Deadline&) = delete;
};

TEST_F(SafeOutputTest, WhatCannotBeReplacedSafelyIsRefusedAtOnceAndLeftAlone) {
  struct Case {
    std::string name;
    std::function<fs::path()> make;
    Reason reason;
  };
  const std::vector<Case> cases = {
      {"a file with a second name",
       [&] {
         write(dir / "linked", "shared");
         fs::create_hard_link(dir / "linked", dir / "other-name");
         return dir / "linked";
       },
       Reason::HardLinked},
      {"a read-only file (for root too)",
       [&] {
         write(dir / "ro", "keep");
         ::chmod((dir / "ro").c_str(), 0444);
         return dir / "ro";
       },
       Reason::NoPermission},
      {"a pipe",
       [&] {
         ::mkfifo((dir / "pipe").c_str(), 0644);
         return dir / "pipe";
       },
       Reason::NotRegularFile},
      {"a socket",
       [&] {
         const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
         sockaddr_un a{};
         a.sun_family = AF_UNIX;
         const std::string p = (dir / "sock").string();
         std::strncpy(a.sun_path, p.c_str(), sizeof a.sun_path - 1);
         ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
         ::close(s);
         return dir / "sock";
       },
       Reason::NotRegularFile},
      {"a folder",
       [&] {
         fs::create_directory(dir / "folder");
         write(dir / "folder" / "inside", "x");
         return dir / "folder";
       },
       Reason::Folder},
      {"a missing folder", [&] { return dir / "missing" / "out.csv"; }, Reason::MissingFolder},
      {"a name too long", [&] { return dir / std::string(300, 'n'); }, Reason::NameTooLong},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path target = c.make();
    const std::string before = listing();
    std::error_code ignored;
    const std::string content = fs::is_regular_file(target, ignored) ? read(target) : "";
    Deadline deadline(10);
    SafeOutput out;
    const auto failure = out.open(target);
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->reason, c.reason) << failure->detail;
    EXPECT_FALSE(reason_text(*failure).empty());
    EXPECT_EQ(listing(), before);
    if (fs::is_regular_file(target, ignored)) {
      EXPECT_EQ(read(target), content);
    }
  }
  EXPECT_EQ(read(dir / "other-name"), "shared");
  EXPECT_EQ(mode_of(dir / "ro"), 0444u);
}

TEST_F(SafeOutputTest, LinksAreFollowedAndStayLinks) {
  write(dir / "real.csv", "old");
  fs::create_symlink("real.csv", dir / "link.csv");
  SafeOutput out;
  ASSERT_EQ(out.open(dir / "link.csv"), std::nullopt);
  EXPECT_EQ(out.target(), (dir / "real.csv").string());
  ASSERT_EQ(out.write("new"), std::nullopt);
  ASSERT_EQ(out.commit(), std::nullopt);
  EXPECT_TRUE(fs::is_symlink(dir / "link.csv"));
  EXPECT_EQ(read(dir / "real.csv"), "new");

  // A link that points nowhere yet: the file is made where it points.
  fs::create_directory(dir / "sub");
  fs::create_symlink("sub/made.csv", dir / "dangling.csv");
  SafeOutput made;
  ASSERT_EQ(made.open(dir / "dangling.csv"), std::nullopt);
  ASSERT_EQ(made.write("made"), std::nullopt);
  ASSERT_EQ(made.commit(), std::nullopt);
  EXPECT_TRUE(fs::is_symlink(dir / "dangling.csv"));
  EXPECT_EQ(read(dir / "sub" / "made.csv"), "made");
}

TEST_F(SafeOutputTest, DevicesAndStandardOutputAreStreams) {
  SafeOutput null;
  ASSERT_EQ(null.open("/dev/null"), std::nullopt);
  EXPECT_EQ(null.kind(), SafeOutput::Kind::Stream);
  EXPECT_EQ(null.write("gone"), std::nullopt);
  EXPECT_EQ(null.commit(), std::nullopt);
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
  for (const char* name : {"-", "/dev/stdout"}) {
    SafeOutput out;
    ASSERT_EQ(out.open(name), std::nullopt) << name;
    EXPECT_EQ(out.kind(), SafeOutput::Kind::Stream) << name;
    EXPECT_EQ(out.writableName(), "") << name;
  }
  // A full device says so.
  SafeOutput full;
  ASSERT_EQ(full.open("/dev/full"), std::nullopt);
  const auto failure = full.write("x");
  ASSERT_TRUE(failure.has_value());
  EXPECT_EQ(failure->reason, Reason::DiskFull);
}

TEST_F(SafeOutputTest, AFileMadeOrReplacedByOthersMeanwhileIsKept) {
  // A new file that someone else creates while the output is written.
  SafeOutput created;
  ASSERT_EQ(created.open(dir / "new.csv"), std::nullopt);
  ASSERT_EQ(created.write("mine"), std::nullopt);
  write(dir / "new.csv", "theirs");
  const auto a = created.commit();
  ASSERT_TRUE(a.has_value());
  EXPECT_EQ(a->reason, Reason::Changed);
  EXPECT_EQ(read(dir / "new.csv"), "theirs");
  // A file replaced by another while the output is written.
  write(dir / "old.csv", "old");
  SafeOutput replaced;
  ASSERT_EQ(replaced.open(dir / "old.csv"), std::nullopt);
  write(dir / "other.csv", "other");
  fs::rename(dir / "other.csv", dir / "old.csv");
  const auto b = replaced.commit();
  ASSERT_TRUE(b.has_value());
  EXPECT_EQ(b->reason, Reason::Changed);
  EXPECT_EQ(read(dir / "old.csv"), "other");
  EXPECT_EQ(listing(), "new.csv old.csv ");
}

TEST_F(SafeOutputTest, ALibraryWritesByNameIntoTheNewContent) {
  write(dir / "book.xlsx", "earlier");
  SafeOutput out;
  ASSERT_EQ(out.open(dir / "book.xlsx"), std::nullopt);
  std::FILE* f = std::fopen(out.writableName().c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fputs("PK written by name", f);
  ASSERT_EQ(std::fclose(f), 0);
  EXPECT_EQ(read(dir / "book.xlsx"), "earlier");
  ASSERT_EQ(out.commit(), std::nullopt);
  EXPECT_EQ(read(dir / "book.xlsx"), "PK written by name");
}

// Runs `child` in a forked process and returns its exit status (-signal when killed).
int in_child(const std::function<int()>& child) {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(child());
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

TEST_F(SafeOutputTest, AFileSizeLimitIsAFailureNeverTheEndOfTheProgram) {
  const fs::path target = dir / "out.csv";
  write(target, "earlier");
  const int status = in_child([&] {
    rlimit limit{1000, 1000};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    SafeOutput out;
    if (out.open(target)) return 10;
    if (out.write(std::string(600, 'a'))) return 11;  // within the limit
    const auto failure = out.write(std::string(600, 'b'));
    if (!failure) return 12;
    return failure->reason == Reason::FileTooLarge ? 0 : 13;
  });
  EXPECT_EQ(status, 0);
  EXPECT_EQ(read(target), "earlier");
  EXPECT_EQ(listing(), "out.csv ");
}

TEST_F(SafeOutputTest, KilledWhileWritingLeavesTheOldFileAndNoTemporary) {
  const fs::path target = dir / "out.csv";
  write(target, "earlier");
  const int status = in_child([&] {
    SafeOutput out;
    if (out.open(target)) return 10;
    for (int i = 0; i < 64; ++i) {
      if (out.write(std::string(1 << 15, 'x'))) return 11;
    }
    ::raise(SIGKILL);
    return 12;
  });
  EXPECT_EQ(status, -SIGKILL);
  EXPECT_EQ(read(target), "earlier");
  EXPECT_EQ(listing(), "out.csv ");
}

TEST_F(SafeOutputTest, FileKeysCompareFilesNotNames) {
  write(dir / "a.csv", "a");
  write(dir / "b.csv", "b");
  fs::create_symlink("a.csv", dir / "link.csv");
  fs::create_hard_link(dir / "a.csv", dir / "hard.csv");
  const auto key = [](const fs::path& p) { return file_key(p.string()); };
  EXPECT_TRUE(same_file(key(dir / "a.csv"), key(dir / "link.csv")));
  EXPECT_TRUE(same_file(key(dir / "a.csv"), key(dir / "hard.csv")));
  EXPECT_TRUE(same_file(key(dir / "a.csv"), key(dir / "." / "a.csv")));
  EXPECT_FALSE(same_file(key(dir / "a.csv"), key(dir / "b.csv")));
  // Files still to be made: by their folder and name.
  EXPECT_TRUE(same_file(key(dir / "new.csv"), key(dir / "." / "new.csv")));
  EXPECT_FALSE(same_file(key(dir / "new.csv"), key(dir / "new2.csv")));
  EXPECT_FALSE(same_file(key(dir / "missing" / "x"), key(dir / "missing" / "x")));
  // A device is not a file that two outputs could destroy each other in.
  EXPECT_FALSE(same_file(key("/dev/null"), key("/dev/null")));
}

}  // namespace
}  // namespace pellucor::sheet
#endif  // _WIN32
