#include "sheet/result_file.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace pellucor::sheet {
namespace {

namespace fs = std::filesystem;

class ResultFileTest : public ::testing::Test {
 protected:
  ResultFileTest() {
    dir = fs::temp_directory_path() /
          ("pellucor_file_" + std::to_string(::getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  ~ResultFileTest() override { fs::remove_all(dir); }

  static std::string read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  static void write(const fs::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
  }

  fs::path dir;
};

TEST_F(ResultFileTest, WritesGbkWithCrLfAfterEveryLine) {
  const auto path = dir / "r.DAT";
  ASSERT_EQ(append_block(path.string(),
                         {"计算结果如下:", "正在计算，请稍候………………", "", "钢筋 d= 20 mm！（a）"}),
            std::nullopt);
  EXPECT_EQ(read(path),
            "\xBC\xC6\xCB\xE3\xBD\xE1\xB9\xFB\xC8\xE7\xCF\xC2:\r\n"
            "\xD5\xFD\xD4\xDA\xBC\xC6\xCB\xE3\xA3\xAC\xC7\xEB\xC9\xD4\xBA\xF2"
            "\xA1\xAD\xA1\xAD\xA1\xAD\xA1\xAD\xA1\xAD\xA1\xAD\r\n"
            "\r\n"
            "\xB8\xD6\xBD\xEE d= 20 mm\xA3\xA1\xA3\xA8"
            "a\xA3\xA9\r\n");
}

TEST_F(ResultFileTest, AppendsAfterEarlierContentBlockByBlock) {
  const auto path = dir / "r.DAT";
  write(path, "earlier\nbytes\xff");
  ASSERT_EQ(append_block(path.string(), {"a", "b"}), std::nullopt);
  ASSERT_EQ(append_block(path.string(), {"c"}), std::nullopt);
  EXPECT_EQ(read(path),
            "earlier\nbytes\xff"
            "a\r\nb\r\nc\r\n");
  EXPECT_EQ(fs::status(path).permissions() & fs::perms::owner_write, fs::perms::owner_write);
}

TEST_F(ResultFileTest, FailuresAreReportedAndTouchNothing) {
  const auto missingDir = dir / "missing" / "r.DAT";
  const auto err1 = append_block(missingDir.string(), {"a"});
  ASSERT_TRUE(err1.has_value());
  EXPECT_NE(err1->find(missingDir.string()), std::string::npos) << *err1;

  EXPECT_TRUE(append_block(dir.string(), {"a"}).has_value());  // a directory

  // A character that GBK cannot hold: nothing is written, not even the lines before it.
  const auto path = dir / "r.DAT";
  write(path, "old");
  EXPECT_TRUE(append_block(path.string(), {"fine", "emoji \xF0\x9F\x98\x80"}).has_value());
  EXPECT_TRUE(append_block(path.string(), {"bad \xFF utf-8"}).has_value());
  EXPECT_EQ(read(path), "old");
  EXPECT_FALSE(append_block((dir / "new.DAT").string(), {"\xE5\x8F"}) == std::nullopt);
  EXPECT_FALSE(fs::exists(dir / "new.DAT"));
}

TEST_F(ResultFileTest, PathLongerThanFortyCharactersIsUsedWhole) {
  const auto path = dir / "a-result-file-name-that-runs-past-forty-characters.DAT";
  ASSERT_GT(path.string().size(), 40U);
  ASSERT_EQ(append_block(path.string(), {"x"}), std::nullopt);
  EXPECT_EQ(read(path), "x\r\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

TEST_F(ResultFileTest, LongLinesConvertCompletely) {
  std::string line;
  for (int i = 0; i < 300; ++i) line += "钢a";
  const auto path = dir / "long.DAT";
  ASSERT_EQ(append_block(path.string(), {line}), std::nullopt);
  std::string expected;
  for (int i = 0; i < 300; ++i)
    expected +=
        "\xB8\xD6"
        "a";
  EXPECT_EQ(read(path), expected + "\r\n");
}

TEST(ResultFileBlock, Skeleton) {
  Report r;
  r.pane = {"pane only"};
  r.file = {"r1", "r2"};
  r.echo = {"e1"};
  const std::vector<std::string> expected = {std::string(59, '='),
                                             "计算参数如下:",
                                             "e1",
                                             std::string(59, '-'),
                                             "计算结果如下:",
                                             "r1",
                                             "r2",
                                             std::string(59, '=')};
  EXPECT_EQ(result_file_block(r), expected);
}

}  // namespace
}  // namespace pellucor::sheet
