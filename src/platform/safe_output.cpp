#include "platform/safe_output.hpp"

namespace pellucor::platform {

std::string temporary_name(std::string_view name, std::string_view suffix, std::size_t maxBytes) {
  constexpr std::string_view kMark = ".pellucor-tmp-";
  const std::size_t fixed = 1 + kMark.size() + suffix.size();
  std::size_t keep = name.size();
  if (fixed >= maxBytes) {
    keep = 0;
  } else if (keep > maxBytes - fixed) {
    keep = maxBytes - fixed;
    // Not in the middle of a character.
    while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) --keep;
  }
  std::string s = ".";
  s += name.substr(0, keep);
  s += kMark;
  s += suffix;
  return s;
}

}  // namespace pellucor::platform
