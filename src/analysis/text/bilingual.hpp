// A text the program says in both its languages, as one value: Chinese for the desktop, its
// reports and the result files; English for the console. Notes, verdicts and warnings are kept
// as lists of these, so that the two languages can never fall out of step.
#pragma once

#include <string>
#include <vector>

namespace pellucor::analysis::text {

struct Bilingual {
  std::string zh;
  std::string en;

  bool operator==(const Bilingual&) const = default;
};

// The Chinese texts of a list, in order.
inline std::vector<std::string> chinese(const std::vector<Bilingual>& texts) {
  std::vector<std::string> out;
  out.reserve(texts.size());
  for (const auto& t : texts) out.push_back(t.zh);
  return out;
}

// The English texts of a list, in order.
inline std::vector<std::string> english(const std::vector<Bilingual>& texts) {
  std::vector<std::string> out;
  out.reserve(texts.size());
  for (const auto& t : texts) out.push_back(t.en);
  return out;
}

}  // namespace pellucor::analysis::text
