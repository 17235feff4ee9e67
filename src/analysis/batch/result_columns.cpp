#include "analysis/batch/result_columns.hpp"

#include <array>
#include <stdexcept>

#include "analysis/timeline.hpp"
#include "sheet/number_form.hpp"

namespace pellucor::analysis::batch {

namespace {

struct Line {
  const char* label;
  const char* unit;
};

std::vector<std::string> headers(std::initializer_list<Line> lines) {
  std::vector<std::string> out;
  for (const Line& l : lines) {
    std::string h = l.label;
    if (*l.unit != '\0') h += std::string(" (") + l.unit + ")";
    out.push_back(std::move(h));
  }
  out.emplace_back("耐久性终结时间 t_d (a)");
  out.emplace_back("剩余使用年限 t_d-t (a)");
  return out;
}

// The report lines of the sheets, label and unit, in the order printed.
const std::array<std::vector<std::string>, 5>& all_headers() {
  // The two diffusion sheets print the same lines.
  static const std::vector<std::string> diffusion = headers({{"计算扩散系数", "m^2/a"},
                                                             {"氯侵蚀系数", "mm/a^0.5"},
                                                             {"钢筋开始锈蚀时间", "a"},
                                                             {"保护层开裂前钢筋锈蚀速度", "mm/a"},
                                                             {"保护层开裂前钢筋锈蚀深度", "mm"},
                                                             {"钢筋锈蚀时间", "a"},
                                                             {"保护层开裂的时间", "a"},
                                                             {"保护层开裂后钢筋锈蚀速度", "mm/a"},
                                                             {"使用年限", "a"},
                                                             {"检测时的钢筋腐蚀深度", "mm"},
                                                             {"检测时的裂缝宽度", "mm"}});
  static const std::array<std::vector<std::string>, 5> all = {
      headers({{"碳化系数", ""},
               {"碳化残量", "mm"},
               {"钢筋开始锈蚀时间", "a"},
               {"保护层开裂前的钢筋腐蚀速度", "mm/a"},
               {"保护层开裂前的钢筋腐蚀深度", "mm"},
               {"保护层开裂前的钢筋腐蚀时间", "a"},
               {"保护层开裂时间", "a"},
               {"保护层开裂后的钢筋腐蚀速度", "mm/a"},
               {"检测时钢筋的腐蚀深度", "mm"},
               {"检测时锈胀裂缝宽度", "mm"},
               {"耐久性终结时的钢筋腐蚀深度", "mm"},
               {"从保护层开裂到耐久性终结的时间", "a"}}),
      diffusion,
      diffusion,
      // The marine report labels its post-cracking rate as a depth.
      headers({{"计算扩散系数", "m^2/a"},
               {"氯侵蚀系数", "mm/a^0.5"},
               {"钢筋开始锈蚀时间", "a"},
               {"保护层开裂前钢筋锈蚀速度", "mm/a"},
               {"保护层开裂前钢筋锈蚀深度", "mm"},
               {"钢筋锈蚀时间", "a"},
               {"保护层开裂的时间", "a"},
               {"保护层开裂后钢筋锈蚀深度", "mm"},
               {"使用年限", "a"},
               {"检测时的钢筋腐蚀深度", "mm"},
               {"检测时的裂缝宽度", "mm"}}),
      headers({{"保护层开裂前钢筋锈蚀速度", "mm/a"},
               {"保护层开裂前钢筋锈蚀深度", "mm"},
               {"保护层开裂的时间", "a"},
               {"保护层开裂后钢筋锈蚀速度", "mm/a"},
               {"性能严重退化时腐蚀深度", "mm"},
               {"性能严重退化的时间", "a"},
               {"检测时的钢筋腐蚀深度", "mm"},
               {"检测时的裂缝宽度", "mm"}}),
  };
  return all;
}

std::string trimmed(const std::string& s) {
  const auto first = s.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  const auto last = s.find_last_not_of(' ');
  return s.substr(first, last - first + 1);
}

// A value in the report's number form, without the blanks around it.
std::string digits(double v) {
  return trimmed(sheet::number_single(v));
}

}  // namespace

const std::vector<std::string>& result_headers(int sheet) {
  if (sheet < 1 || sheet > 5) throw std::out_of_range("no sheet " + std::to_string(sheet));
  return all_headers()[static_cast<std::size_t>(sheet - 1)];
}

std::string report_value(const std::string& line) {
  const auto colon = line.find(':');
  if (colon == std::string::npos) return trimmed(line);
  std::size_t i = line.find_first_not_of(' ', colon + 1);
  if (i == std::string::npos) return {};
  const bool number = line[i] == '-' || (line[i] >= '0' && line[i] <= '9') || line[i] == '.' ||
                      line.compare(i, 3, "INF") == 0 || line.compare(i, 3, "NAN") == 0;
  if (!number) return trimmed(line.substr(i));
  const auto end = line.find(' ', i);
  return line.substr(i, end == std::string::npos ? std::string::npos : end - i);
}

std::vector<std::string> result_cells(const CaseResult& result) {
  std::vector<std::string> cells;
  if (!result.done) return cells;
  for (const auto& line : result.report) cells.push_back(report_value(line));
  if (const auto tl = timeline(result.run)) {
    cells.push_back(digits(tl->prop.td));
    cells.push_back(digits(tl->prop.td - tl->t));
  } else {
    cells.emplace_back();
    cells.emplace_back();
  }
  return cells;
}

}  // namespace pellucor::analysis::batch
