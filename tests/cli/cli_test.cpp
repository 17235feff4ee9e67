// pellucor-cli end to end: each sheet's worked example, the messages that stop a
// calculation, and the bytes of a saved result file.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "cli_support.hpp"
#include "platform/text_encoding.hpp"

namespace {

using namespace pellucor::cli_testing;

const std::string kEquals(59, '=');
const std::string kHyphens(59, '-');
const std::string kResultsHeader = "计算结果如下:";
const std::string kWaitLine = "正在计算，请稍候………………";

// Every run of the program ends within a minute, or it is killed and the test fails (a Save
// must never wait for anything).
class Cli : public CliTest {
 protected:
  static constexpr std::chrono::seconds kLimit{60};

  Outcome run(const std::vector<std::string>& args) { return CliTest::run(args, kLimit); }

  // Runs the program with `args` under a shell that first runs `setup` (ulimit, trap ...; POSIX
  // by nature).
  Outcome runUnder(const std::string& setup, const std::vector<std::string>& args) {
    std::vector<std::string> all = {"/bin/bash", "-c", setup + "; exec \"$0\" \"$@\"",
                                    PELLUCOR_CLI};
    all.insert(all.end(), args.begin(), args.end());
    return spawn(std::move(all), kLimit);
  }
};

// The value of a result line "label" + number + "unit".
double value_of(const std::string& line, const std::string& label, const std::string& unit) {
  EXPECT_TRUE(line.starts_with(label) && line.ends_with(unit)) << line;
  return std::strtod(line.c_str() + label.size(), nullptr);
}

struct Example {
  std::string name;
  std::vector<std::string> args;
  std::size_t resultLines;
  std::vector<std::pair<std::size_t, std::string>> exact;  // result line index, whole line
};

std::vector<Example> examples() {
  return {
      {"carbonation by aliases",
       {"carbonation", "environment=2", "temperature=15", "humidity=0.7", "strength=30", "cover=30",
        "age=60", "co2=1.5", "diameter=20", "outdoor=1", "steel=1"},
       12,
       {{4, "保护层开裂前的钢筋腐蚀深度: 0.0612  mm"}}},
      {"constant coefficient by control names",
       {"2", "Text1=1.5", "Text2=20", "Text3=0.8", "Text4=30", "Text5=40", "Text6=20", "Text7=1.5",
        "Text8=5", "Text9=1.4", "Text13=20", "Text14=20", "Combo1=2"},
       11,
       {{0, "计算扩散系数: 0.00015  m^2/a"}, {4, "保护层开裂前钢筋锈蚀深度: 0.0672  mm"}}},
      {"time-dependent coefficient, steel chosen by its item text",
       {"chloride-variable", "Text1=1", "Text2=20", "Text3=0.8", "Text4=30", "Text5=30", "Text6=10",
        "Text7=0.3", "Text8=5", "Text9=1.4", "Text10=20", "Text11=2", "Text12=20", "Text13=20",
        "Combo1=2 变形钢筋"},
       11,
       {{4, "保护层开裂前钢筋锈蚀深度: 0.0612  mm"}}},
      {"marine atmosphere",
       {"marine", "environment=1.5", "temperature=20", "humidity=0.8", "strength=30", "cover=40",
        "age=20", "diffusion=1.5", "surface=5", "critical=1.4", "cracking-time=20", "diameter=20",
        "accumulation=1.0", "stable-time=25", "initiation-time=10", "t2=5", "steel=2"},
       11,
       {{2, "钢筋开始锈蚀时间: 10.5  a"}, {4, "保护层开裂前钢筋锈蚀深度: 0.0672  mm"}}},
      {"admixed chloride",
       {"admixed", "Text1=1", "Text2=20", "Text3=0.8", "Text4=30", "Text5=30", "Text6=30",
        "Text7=20", "Text8=6", "Text9=20", "Combo1=2"},
       8,
       {{1, "保护层开裂前钢筋锈蚀深度: 0.0612  mm"}, {4, "性能严重退化时腐蚀深度:  0.3015  mm"}}},
  };
}

TEST_F(Cli, WorkedExamplesPrintTheirReport) {
  for (const auto& ex : examples()) {
    SCOPED_TRACE(ex.name);
    const Outcome r = run(ex.args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    const auto lines = r.lines();
    ASSERT_EQ(lines.size(), ex.resultLines + 2) << r.out;
    EXPECT_EQ(lines[0], kResultsHeader);
    EXPECT_EQ(lines[1], kEquals);
    for (const auto& [index, line] : ex.exact) {
      EXPECT_EQ(lines[index + 2], line);
    }
  }
}

// Relations between the printed values that the propagation steps guarantee.
TEST_F(Cli, AdmixedReportHoldsTogether) {
  const Outcome r = run(examples().back().args);
  ASSERT_EQ(r.status, 0);
  const auto lines = r.lines();
  ASSERT_EQ(lines.size(), 10U);
  const double lambda0 = value_of(lines[2], "保护层开裂前钢筋锈蚀速度:", " mm/a");
  const double tc = value_of(lines[4], "保护层开裂的时间:", " a");
  const double lambda1 = value_of(lines[5], "保护层开裂后钢筋锈蚀速度:", " mm/a");
  const double td = value_of(lines[7], "性能严重退化的时间:", " a");
  const double dt = value_of(lines[8], "检测时的钢筋腐蚀深度:", " mm");
  EXPECT_NEAR(tc, 0.0612 / lambda0, 1e-5 * tc);  // no initiation stage
  EXPECT_NEAR(lambda1, std::max(4.5 - 26 * lambda0, 1.8) * lambda0, 1e-5 * lambda1);
  EXPECT_NEAR(td, tc + (0.3015 - 0.0612) / lambda1, 1e-5 * td);
  EXPECT_NEAR(dt, 0.0612 + lambda1 * (30 - tc), 1e-5);
  EXPECT_NEAR(value_of(lines[9], "检测时的裂缝宽度:", " mm"),
              (dt - 0.008 * 1.5 - 0.00055 * 30 - 0.015) / 0.086, 1e-4);
}

// One reading of what a user types, in every command: the steel kind by its name, digits as a
// Chinese input method types them in full width.
TEST_F(Cli, SteelNamesAndFullWidthDigitsMeanTheSameInEveryCommand) {
  auto replaced = [](std::vector<std::string> args, const std::string& name,
                     const std::string& text) {
    for (auto& a : args) {
      if (a.starts_with(name + "=")) a = name + "=" + text;
    }
    return args;
  };
  const auto plain = replaced(replaced(examples()[0].args, "steel", "3"), "cover", "30");
  const auto typed = replaced(replaced(examples()[0].args, "steel", "墙板配筋"), "cover", "３０");
  const Outcome a = run(plain);
  const Outcome b = run(typed);
  EXPECT_EQ(a.status, 0) << a.err;
  EXPECT_EQ(b.status, 0) << b.err;
  EXPECT_EQ(b.out, a.out);

  auto mc = [](std::vector<std::string> args) {
    args.insert(args.begin(), "mc");
    args.insert(args.end(), {"--samples", "300"});
    return args;
  };
  const Outcome mcPlain = run(mc(plain));
  const Outcome mcTyped = run(mc(typed));
  EXPECT_EQ(mcPlain.status, 0) << mcPlain.err;
  EXPECT_EQ(mcTyped.status, 0) << mcTyped.err;
  EXPECT_EQ(mcTyped.out, mcPlain.out);

  const std::string header =
      "member,environment,temperature,humidity,strength,cover,age,co2,diameter,outdoor,steel\n";
  write_file(dir_ / "in.csv", header + "a,2,15,0.7,30,30,60,1.5,20,1,3\n" +
                                  "b,２,１５,０．７,30,３０,60,1.5,20,1,墙板配筋\n");
  const Outcome batch = run({"batch", "carbonation", (dir_ / "in.csv").string()});
  EXPECT_EQ(batch.status, 0) << batch.err;
  const auto lines = lines_of(batch.out);
  ASSERT_EQ(lines.size(), 3u);
  const auto results = [](const std::string& line) { return line.substr(line.find(",ok,")); };
  EXPECT_EQ(results(lines[2]), results(lines[1]));
}

TEST_F(Cli, WallReinforcementReportsThatNoCrackWidthIsComputed) {
  auto args = examples()[2].args;
  args.back() = "Combo1=3";
  const Outcome r = run(args);
  EXPECT_EQ(r.status, 0);
  const auto lines = r.lines();
  ASSERT_EQ(lines.size(), 13U);
  EXPECT_EQ(lines.back(), "检测时的裂缝宽度: 不计算（墙板配筋）");
}

TEST_F(Cli, EmptySheetStopsAtItsFirstNotEnteredCheck) {
  const std::string expected = "输入验证: 您未输入局部环境系数，请输入 1.0--5.5 间的数!\n";
  for (const std::string sheet : {"1", "2", "3", "4", "5"}) {
    SCOPED_TRACE(sheet);
    const Outcome r = run({sheet});
    EXPECT_EQ(r.status, 2);
    // Leaving the first box on the way to Calculate may show its own range message first.
    EXPECT_TRUE(r.err.ends_with(expected)) << r.err;
    EXPECT_EQ(r.err.find("输入验证"), r.err.size() - expected.size()) << r.err;
    EXPECT_EQ(r.out.find(kResultsHeader), std::string::npos);
  }
}

TEST_F(Cli, StopsReportTheirMessageAndLeaveThePaneWithoutAReport) {
  struct Stop {
    std::string name;
    std::vector<std::string> args;
    std::string message;
    bool waitLine;  // the model had started: the pane shows the wait line
  };
  auto without = [](std::vector<std::string> args, const std::string& name) {
    std::erase_if(args, [&](const std::string& a) { return a.starts_with(name + "="); });
    return args;
  };
  auto with = [](std::vector<std::string> args, const std::string& assignment) {
    args.push_back(assignment);
    return args;
  };
  const auto ex = examples();
  const std::vector<Stop> stops = {
      {"no steel kind chosen", without(ex[0].args, "steel"),
       "输入验证: 您未选择钢筋种类，请从下拉列表中选择一种钢筋!\n", false},
      {"measured concentration equals the surface concentration",
       with(without(ex[2].args, "Text11"), "Text11=5"), "输入验证: 请您检查输入数据的合理性!\n",
       false},
      {"water-cement ratio needed by the chosen source",
       with(with(with(without(ex[1].args, "Text7"), "Option2=1"), "Text10=30"), "Text11=2"),
       "输入验证: 您未输入水灰比，请输入 0.35--0.7 间的数!\n", false},
      {"humidity too low for the outdoor rate",
       with(without(ex[0].args, "humidity"), "humidity=0.45"),
       "输入验证: 请您检查输入数据的合理性!\n", true},
  };
  for (const auto& stop : stops) {
    SCOPED_TRACE(stop.name);
    const Outcome r = run(stop.args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, stop.message);
    EXPECT_EQ(r.out.find(kResultsHeader), std::string::npos) << r.out;
    if (stop.waitLine) {
      EXPECT_EQ(r.out, kWaitLine + "\n");
    }
  }
}

// GBK as the platform converts it (held against iconv's bytes in the platform's tests).
std::string to_gbk(const std::string& utf8) {
  pellucor::platform::GbkConversion conversion(pellucor::platform::GbkConversion::Direction::ToGbk);
  std::string out;
  EXPECT_EQ(conversion.convert(utf8, out), utf8.size()) << utf8;
  return out;
}

TEST_F(Cli, SavingTwiceAppendsTwoGbkBlocksWithCrLfLineEnds) {
  const fs::path file = dir_ / "result.DAT";
  auto args = examples()[0].args;
  args.insert(args.end(), {"--save", file.string()});
  const Outcome first = run(args);
  ASSERT_EQ(first.status, 0) << first.err;
  const Outcome second = run(args);
  ASSERT_EQ(second.status, 0) << second.err;

  // After Save the pane shows the report again, without the wait line.
  const auto pane = second.lines();
  ASSERT_EQ(pane.size(), 14U);
  EXPECT_EQ(pane[0], kResultsHeader);
  EXPECT_EQ(second.out, first.out);

  // The file carries the result lines with the units of the inspection depth and of the
  // crack width the other way round.
  std::vector<std::string> results(pane.begin() + 2, pane.end());
  // (The number's own trailing blank comes before the unit text.)
  ASSERT_TRUE(results[8].ends_with("   mm") && results[9].ends_with("  mm") &&
              !results[9].ends_with("   mm"));
  results[8].erase(results[8].size() - 3, 1);
  results[9].insert(results[9].size() - 3, " ");

  std::vector<std::string> block = {
      kEquals,
      "计算参数如下:",
      "局部环境系数=  2 ,环境温度（单位为摄示度）=  15 ,环境湿度=  0.7 ",
      "混凝土强度（单位为mpa）=  30 ,保护层厚度（单位为mm）=  30 ,"
      "结构使用（检测）时间（单位为a）=  60 ",
      "实测碳化深度（单位为mm）=  0 ,二氧化碳浓度系数=  1.5 ,钢筋直径（单位为mm）=  20 ",
      "钢筋种类= 圆钢筋       ,结构工作条件= 室外,钢筋应力状态= 受拉",
      kHyphens,
      kResultsHeader,
  };
  block.insert(block.end(), results.begin(), results.end());
  block.push_back(kEquals);
  std::string expected;
  for (const auto& line : block) expected += to_gbk(line) + "\r\n";

  const std::string bytes = read_file(file);
  EXPECT_EQ(bytes.size(), 2 * expected.size());
  EXPECT_EQ(bytes, expected + expected);
}

TEST_F(Cli, SaveAppendsToAnExistingFileAndKeepsItsContent) {
  const fs::path file = dir_ / "kept.DAT";
  { std::ofstream(file, std::ios::binary) << "earlier\r\n"; }
  auto args = examples()[4].args;
  args.insert(args.end(), {"--save", file.string()});
  const Outcome r = run(args);
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string bytes = read_file(file);
  ASSERT_TRUE(bytes.starts_with("earlier\r\n" + kEquals + "\r\n")) << bytes.substr(0, 80);
  // 59 equals, header, 4 echo lines, hyphens, header, 8 results, 59 equals.
  std::size_t lines = 0;
  for (std::size_t i = 0; i + 1 < bytes.size(); ++i) {
    if (bytes[i] == '\n') {
      EXPECT_EQ(bytes[i - 1], '\r');
    }
    if (bytes[i] == '\r' && bytes[i + 1] == '\n') ++lines;
  }
  EXPECT_TRUE(bytes.ends_with(kEquals + "\r\n"));
  EXPECT_EQ(lines, 1U + 17U);
  EXPECT_NE(bytes.find(to_gbk(",表面氯浓度（单位为kg/m^3）=  6 \r\n")), std::string::npos);
}

// A Save that cannot write says why and leaves the file exactly as it was; the pane shows
// the results as after any Save, and the exit status says that the save did not happen.
TEST_F(Cli, FailedSaveSaysWhyAndLeavesTheFileAlone) {
  struct Fault {
    std::string name;
    std::string shell;  // set-up run before the program, empty: none
    std::function<fs::path(const fs::path&)> target;
    std::string why;
    bool skipAsRoot = false;
  };
  const std::string earlier = std::string(1290, 'x') + "\r\n";  // about 1.3 KB
  auto existing = [&earlier](const fs::path& d) {
    const fs::path f = d / "existing.DAT";
    std::ofstream(f, std::ios::binary) << earlier;
    return f;
  };
  const std::vector<Fault> faults = {
#ifndef _WIN32
      // POSIX by nature: the file-size limit and FIFOs.
      {"file size limit, signal ignored", "trap '' XFSZ; ulimit -f 2", existing,
       "文件超过允许的大小"},
      {"file size limit", "ulimit -f 2", existing, "文件超过允许的大小"},
      {"pipe without a reader", "",
       [](const fs::path& d) {
         EXPECT_EQ(mkfifo((d / "pipe").c_str(), 0644), 0);
         return d / "pipe";
       },
       "不是普通文件"},
#else
      {"a read-only file", "",
       [&existing](const fs::path& d) {
         const fs::path f = existing(d);
         fs::permissions(f,
                         fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                         fs::perm_options::remove);
         return f;
       },
       "没有写入权限"},
#endif
      {"a folder", "",
       [](const fs::path& d) {
         fs::create_directory(d / "folder");
         return d / "folder";
       },
       "这是一个文件夹"},
      {"missing folder", "", [](const fs::path& d) { return d / "missing" / "r.DAT"; },
       "文件夹不存在"},
#ifndef _WIN32
      {"read-only folder", "",
       [](const fs::path& d) {
         fs::create_directory(d / "ro");
         fs::permissions(d / "ro", fs::perms::owner_read | fs::perms::owner_exec);
         return d / "ro" / "r.DAT";
       },
       "没有写入权限", true},
#endif
  };
  const auto ex = examples()[0];
  const Outcome plain = run(ex.args);
  ASSERT_EQ(plain.status, 0);
  for (const auto& fault : faults) {
    SCOPED_TRACE(fault.name);
#ifndef _WIN32
    if (fault.skipAsRoot && geteuid() == 0) continue;  // root writes whatever the bits say
#endif
    const fs::path work = dir_ / "work";
    fs::create_directory(work);
    const fs::path target = fault.target(work);
    std::error_code ignored;
    const bool existed = fs::is_regular_file(target, ignored);
    const std::string before = existed ? read_file(target) : "";
    auto args = ex.args;
    args.insert(args.end(), {"--save", target.string()});
    const Outcome r = fault.shell.empty() ? run(args) : runUnder(fault.shell, args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err,
              "保存数据: 无法写入文件 " + target.string() + "（" + fault.why + "），数据未保存!\n");
    EXPECT_EQ(r.out, plain.out);
    if (existed) {
      EXPECT_EQ(read_file(target), before);
    } else if (!fs::is_fifo(target, ignored) && !fs::is_directory(target, ignored)) {
      EXPECT_FALSE(fs::exists(target, ignored));
    }
    fs::permissions(work / "ro", fs::perms::owner_all, ignored);
    for (const auto& e : fs::directory_iterator(work)) {
      fs::permissions(e.path(), fs::perms::owner_write, fs::perm_options::add, ignored);
    }
    fs::remove_all(work);
  }
}

TEST_F(Cli, BlankFileNameSavesNothingAndSaysSo) {
  auto args = examples()[0].args;
  args.insert(args.end(), {"--save", "   "});
  const Outcome r = run(args);
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "pellucor-cli: the file name is blank; nothing saved\n");
  EXPECT_EQ(r.out, run(examples()[0].args).out);
}

}  // namespace
