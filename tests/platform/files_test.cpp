// Safe outputs, appended blocks and file identities through the platform's interface, on the
// system the tests run on: what every system must do alike, and what only Windows has (a file
// held open by another program).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

#include "platform/files.hpp"
#include "platform/processes.hpp"
#include "platform/safe_output.hpp"
#include "platform/temporary_files.hpp"

namespace pellucor::platform {
namespace {

namespace fs = std::filesystem;

std::string utf8(const fs::path& p) {
  const auto s = p.u8string();
  return {s.begin(), s.end()};
}

std::string read(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write(const fs::path& p, const std::string& bytes) {
  std::ofstream(p, std::ios::binary) << bytes;
}

std::vector<std::string> names_in(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(utf8(e.path().filename()));
  std::sort(names.begin(), names.end());
  return names;
}

class Files : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    // Chinese characters and blanks in every path.
    dir_ = fs::temp_directory_path() /
           fs::u8path("pellucor 文件-" + std::to_string(current_process_id()) + "-" + info->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    for (const auto& e : fs::directory_iterator(dir_)) {
      fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add);
    }
    fs::remove_all(dir_);
  }

  // Writes `bytes` to `name` in the folder through a safe output.
  std::optional<WriteFailure> put(const std::string& name, const std::string& bytes,
                                  SafeOutput::Kind* kind = nullptr) {
    SafeOutput out;
    if (auto f = out.open(utf8(dir_ / fs::u8path(name)))) return f;
    if (kind != nullptr) *kind = out.kind();
    if (auto f = out.write(bytes)) return f;
    return out.commit();
  }

  fs::path dir_;
};

TEST_F(Files, ANewFileAppearsOnlyWhenCompleteAndAnOldOneIsReplacedWhole) {
  const fs::path file = dir_ / fs::u8path("结果 表.csv");
  {
    SafeOutput out;
    ASSERT_FALSE(out.open(utf8(file)));
    EXPECT_EQ(out.kind(), SafeOutput::Kind::NewFile);
    ASSERT_FALSE(out.write("第一\r\n"));
    EXPECT_FALSE(fs::exists(file)) << "visible before it is complete";
    ASSERT_FALSE(out.commit());
  }
  EXPECT_EQ(read(file), "第一\r\n");
  {
    SafeOutput out;
    ASSERT_FALSE(out.open(utf8(file)));
    EXPECT_EQ(out.kind(), SafeOutput::Kind::Replace);
    ASSERT_FALSE(out.write("第二"));
    EXPECT_EQ(read(file), "第一\r\n") << "changed before commit";
    ASSERT_FALSE(out.commit());
  }
  EXPECT_EQ(read(file), "第二");
  // Dropped content leaves the file as it was, and no temporary file anywhere.
  {
    SafeOutput out;
    ASSERT_FALSE(out.open(utf8(file)));
    ASSERT_FALSE(out.write("never"));
  }
  EXPECT_EQ(read(file), "第二");
  EXPECT_EQ(names_in(dir_), std::vector<std::string>{"结果 表.csv"});
}

TEST_F(Files, ALibraryWritesTheNewContentByName) {
  const fs::path file = dir_ / "book.xlsx";
  write(file, "old");
  SafeOutput out;
  ASSERT_FALSE(out.open(utf8(file)));
  const std::string name = out.writableName();
  ASSERT_FALSE(name.empty());
  write(fs::u8path(name), "written by name");
  ASSERT_FALSE(out.commit());
  EXPECT_EQ(read(file), "written by name");
  EXPECT_EQ(names_in(dir_), std::vector<std::string>{"book.xlsx"});
}

TEST_F(Files, AReadOnlyFileOrAFolderIsRefusedAndLeftAlone) {
  const fs::path file = dir_ / fs::u8path("只读.csv");
  write(file, "keep");
  fs::permissions(file, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  auto f = put("只读.csv", "new");
  ASSERT_TRUE(f);
  EXPECT_EQ(f->reason, WriteFailure::Reason::NoPermission) << f->detail;
  EXPECT_EQ(read(file), "keep");

  fs::create_directory(dir_ / "folder");
  f = put("folder", "new");
  ASSERT_TRUE(f);
  EXPECT_EQ(f->reason, WriteFailure::Reason::Folder) << f->detail;
  f = put("missing/x.csv", "new");
  ASSERT_TRUE(f);
  EXPECT_EQ(f->reason, WriteFailure::Reason::MissingFolder) << f->detail;
  EXPECT_EQ(names_in(dir_), (std::vector<std::string>{"folder", "只读.csv"}));
}

// A workbook open in a spreadsheet: Windows lets no one replace it, and the output says so
// before anything is written; the file and its folder stay as they were.
TEST_F(Files, AFileHeldOpenByAnotherProgramIsRefusedAndLeftAlone) {
#ifndef _WIN32
  GTEST_SKIP() << "only Windows holds a file open against replacing; POSIX systems replace "
                  "an open file's name and leave the open file to its reader";
#else
  const fs::path file = dir_ / fs::u8path("打开的.xlsx");
  write(file, "in use");
  HANDLE held = CreateFileW(file.wstring().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  const auto f = put("打开的.xlsx", "new");
  ASSERT_TRUE(f);
  EXPECT_EQ(f->reason, WriteFailure::Reason::InUse) << f->detail;
  // The result file's appending too.
  AppendFile append;
  const auto a = append.open(utf8(file));
  ASSERT_TRUE(a);
  EXPECT_EQ(a->reason, WriteFailure::Reason::InUse) << a->detail;
  CloseHandle(held);
  EXPECT_EQ(read(file), "in use");
  EXPECT_EQ(names_in(dir_), std::vector<std::string>{"打开的.xlsx"});
  // Once it is closed, it is replaced.
  EXPECT_FALSE(put("打开的.xlsx", "new"));
  EXPECT_EQ(read(file), "new");
#endif
}

TEST_F(Files, AnAppendedBlockThatDoesNotGetInIsTakenBackAndANewFileRemoved) {
  const fs::path file = dir_ / fs::u8path("结果.txt");
  write(file, "earlier\r\n");
  {
    AppendFile a;
    ASSERT_FALSE(a.open(utf8(file)));
    EXPECT_EQ(a.earlierSize(), 9U);
    ASSERT_EQ(write_some(a.fd(), "half", 4), 4);
    // Left without commit: put back.
  }
  EXPECT_EQ(read(file), "earlier\r\n");
  {
    AppendFile a;
    ASSERT_FALSE(a.open(utf8(file)));
    ASSERT_EQ(write_some(a.fd(), "more\r\n", 6), 6);
    EXPECT_EQ(a.sync(), 0);
    EXPECT_EQ(a.commit(), 0);
  }
  EXPECT_EQ(read(file), "earlier\r\nmore\r\n");
  const fs::path fresh = dir_ / "new.txt";
  {
    AppendFile a;
    ASSERT_FALSE(a.open(utf8(fresh)));
    ASSERT_EQ(write_some(a.fd(), "x", 1), 1);
    EXPECT_TRUE(a.restore());
  }
  EXPECT_FALSE(fs::exists(fresh));
}

TEST_F(Files, KeysTellFilesApartNotNames) {
  write(dir_ / "a.csv", "a");
  write(dir_ / "b.csv", "b");
  const auto key = [&](const std::string& name) { return file_key(utf8(dir_) + "/" + name); };
  EXPECT_TRUE(same_file(key("a.csv"), key("./a.csv")));
  EXPECT_FALSE(same_file(key("a.csv"), key("b.csv")));
  EXPECT_TRUE(same_file(key("新.csv"), key("./新.csv")));  // still to be created
  EXPECT_FALSE(same_file(key("新.csv"), key("新2.csv")));
  EXPECT_FALSE(same_file(key("missing/x"), key("missing/x")));
  const std::optional<FileKey> a = key("a.csv");
  ASSERT_TRUE(a);
  EXPECT_TRUE(a->volume != 0 || a->index != 0) << "no identity: every file would be one";
#ifdef _WIN32
  // Names that differ in case only are one file on Windows.
  EXPECT_TRUE(same_file(key("a.csv"), key("A.CSV")));
  EXPECT_TRUE(same_file(key("a.csv"), file_key(utf8(dir_) + "\\a.csv")));
  EXPECT_TRUE(same_file(key("新.csv"), key("新.CSV")));
#endif
}

struct NameCase {
  std::string name;
  std::size_t maxBytes;
  std::string expected;
};

// The hidden name of a new content says whose it is, and never exceeds what a folder takes
// nor cuts a character.
TEST(TemporaryName, SaysWhoseItIsWithinTheLongestName) {
  const NameCase cases[] = {
      {"results.csv", 255, ".results.csv.pellucor-tmp-abcdefgh"},
      {"工程.pellucor", 255, ".工程.pellucor.pellucor-tmp-abcdefgh"},
      // 1 + 14 + 8 = 23 bytes are fixed; of the name, 7, 6 and 5 bytes fit (5 would cut "程").
      {"工程.pellucor", 30, ".工程..pellucor-tmp-abcdefgh"},
      {"工程.pellucor", 29, ".工程.pellucor-tmp-abcdefgh"},
      {"工程.pellucor", 28, ".工.pellucor-tmp-abcdefgh"},
      {"工程.pellucor", 10, "..pellucor-tmp-abcdefgh"},
  };
  for (const auto& c : cases) {
    const std::string name = temporary_name(c.name, "abcdefgh", c.maxBytes);
    EXPECT_EQ(name, c.expected) << c.name << " in " << c.maxBytes;
    if (c.expected.size() <= c.maxBytes) {
      EXPECT_LE(name.size(), c.maxBytes);
    }
  }
}

// Points the system's temporary folder at a folder of this test's own for as long as it lives,
// so that other tests writing to the shared one at the same time do not change what it holds.
class OwnTemporaryFolder {
 public:
  explicit OwnTemporaryFolder(const fs::path& folder) : folder_(folder) {
    fs::remove_all(folder_);
    fs::create_directories(folder_);
#ifdef _WIN32
    SetEnvironmentVariableW(L"TMP", folder_.wstring().c_str());
    SetEnvironmentVariableW(L"TEMP", folder_.wstring().c_str());
#else
    setenv("TMPDIR", folder_.c_str(), 1);
#endif
  }
  ~OwnTemporaryFolder() {
#ifdef _WIN32
    SetEnvironmentVariableW(L"TMP", nullptr);
    SetEnvironmentVariableW(L"TEMP", nullptr);
#else
    unsetenv("TMPDIR");
#endif
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }
  OwnTemporaryFolder(const OwnTemporaryFolder&) = delete;
  OwnTemporaryFolder& operator=(const OwnTemporaryFolder&) = delete;

 private:
  fs::path folder_;
};

TEST(ScratchFile, IsWrittenAndReadBackAndGoneWhenClosed) {
  const fs::path own_folder = fs::temp_directory_path() /
                              fs::u8path("pellucor 临时-" + std::to_string(current_process_id()));
  const OwnTemporaryFolder own(own_folder);
  const fs::path folder = fs::u8path(temporary_folder());
  ASSERT_TRUE(fs::is_directory(folder)) << temporary_folder();
  ASSERT_TRUE(fs::equivalent(folder, own_folder)) << temporary_folder();
  const auto before = names_in(folder);
  std::string error;
  const int fd = scratch_file(error);
  ASSERT_GE(fd, 0) << error;
  ASSERT_EQ(write_some(fd, "成员,1\n", 9), 9);
  ASSERT_TRUE(seek_file(fd, 0));
  char buffer[16] = {};
  EXPECT_EQ(read_some(fd, buffer, sizeof buffer), 9);
  EXPECT_EQ(std::string(buffer, 9), "成员,1\n");
  EXPECT_EQ(regular_file_position(fd), 9);
  close_file(fd);
  EXPECT_EQ(names_in(folder), before);
}

}  // namespace
}  // namespace pellucor::platform
