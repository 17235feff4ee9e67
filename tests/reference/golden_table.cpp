#include "golden_table.hpp"

#include <array>
#include <charconv>
#include <cstdlib>
#include <istream>
#include <ostream>

namespace pellucor::reference {

namespace {

std::string shortest(double v) {
  std::array<char, 64> buf{};
  const auto res = std::to_chars(buf.data(), buf.data() + buf.size(), v);
  return std::string(buf.data(), res.ptr);
}

}  // namespace

void write_entry(std::ostream& out, const SheetCase& c, const SheetOutcome& o) {
  out << "case " << c.name << "\n";
  out << "sheet " << c.sheet << "\n";
  for (std::size_t n = 1; n < c.box.size(); ++n) {
    if (c.box[n] != 0) out << "box " << n << " " << shortest(c.box[n]) << "\n";
  }
  for (std::size_t n = 1; n < c.option.size(); ++n) {
    if (c.option[n]) out << "option " << n << "\n";
  }
  out << "steel " << c.kind << "\n";
  for (const auto& p : o.passes) out << "pass " << p << "\n";
  if (o.stopped) out << "stop\n";
  for (const auto& l : o.pane) out << "pane " << l << "\n";
  for (const auto& l : o.file) out << "file " << l << "\n";
  for (const auto& l : o.echo) out << "echo " << l << "\n";
  out << "end\n";
}

std::vector<GoldenEntry> read_table(std::istream& in, std::string& error) {
  std::vector<GoldenEntry> entries;
  std::string line;
  GoldenEntry current;
  bool open = false;
  int lineNo = 0;
  auto fail = [&](const std::string& why) {
    error = "line " + std::to_string(lineNo) + ": " + why + ": '" + line + "'";
    return entries;
  };
  while (std::getline(in, line)) {
    ++lineNo;
    if (line.empty() || line[0] == '#') continue;
    const auto space = line.find(' ');
    const std::string tag = line.substr(0, space);
    const std::string rest = space == std::string::npos ? "" : line.substr(space + 1);
    if (tag == "case") {
      if (open) return fail("case inside a case");
      current = GoldenEntry{};
      current.input.name = rest;
      open = true;
      continue;
    }
    if (!open) return fail("outside a case");
    if (tag == "end") {
      entries.push_back(current);
      open = false;
    } else if (tag == "sheet") {
      current.input.sheet = std::atoi(rest.c_str());
    } else if (tag == "box") {
      const auto gap = rest.find(' ');
      if (gap == std::string::npos) return fail("box without a value");
      const int n = std::atoi(rest.substr(0, gap).c_str());
      if (n < 1 || n >= static_cast<int>(current.input.box.size())) return fail("no such box");
      double v = 0;
      const std::string digits = rest.substr(gap + 1);
      const auto res = std::from_chars(digits.data(), digits.data() + digits.size(), v);
      if (res.ec != std::errc() || res.ptr != digits.data() + digits.size()) {
        return fail("not a number");
      }
      current.input.box[static_cast<std::size_t>(n)] = v;
    } else if (tag == "option") {
      const int n = std::atoi(rest.c_str());
      if (n < 1 || n >= static_cast<int>(current.input.option.size()))
        return fail("no such option");
      current.input.option[static_cast<std::size_t>(n)] = true;
    } else if (tag == "steel") {
      current.input.kind = std::atoi(rest.c_str());
    } else if (tag == "pass") {
      current.expected.passes.push_back(rest);
    } else if (tag == "stop") {
      current.expected.stopped = true;
    } else if (tag == "pane") {
      current.expected.pane.push_back(rest);
    } else if (tag == "file") {
      current.expected.file.push_back(rest);
    } else if (tag == "echo") {
      current.expected.echo.push_back(rest);
    } else {
      return fail("unknown tag");
    }
  }
  if (open) {
    ++lineNo;
    line.clear();
    return fail("last case has no end");
  }
  return entries;
}

}  // namespace pellucor::reference
