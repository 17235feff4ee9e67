#include "platform/text_encoding.hpp"

#include <iconv.h>

#include <cerrno>

namespace pellucor::platform {

namespace {

iconv_t descriptor(void* state) {
  return static_cast<iconv_t>(state);
}

bool opened(void* state) {
  return descriptor(state) != reinterpret_cast<iconv_t>(-1);  // NOLINT(performance-no-int-to-ptr)
}

}  // namespace

GbkConversion::GbkConversion(Direction direction) : direction_(direction) {
  state_ = direction == Direction::ToGbk ? iconv_open("GBK", "UTF-8") : iconv_open("UTF-8", "GBK");
}

GbkConversion::~GbkConversion() {
  if (opened(state_)) iconv_close(descriptor(state_));
}

bool GbkConversion::available() const {
  return opened(state_);
}

std::size_t GbkConversion::convert(std::string_view in, std::string& out) {
  if (!available()) return 0;
  const iconv_t cd = descriptor(state_);
  iconv(cd, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
  auto* inPtr = const_cast<char*>(in.data());
  std::size_t inLeft = in.size();
  char buffer[8192];
  // Every round that stops for want of room has converted something (a character never needs
  // more than a few bytes), so this ends after at most in.size() rounds.
  while (inLeft > 0) {
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    const std::size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    const int err = errno;
    out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
    if (r == static_cast<std::size_t>(-1) && err != E2BIG) break;  // EILSEQ, EINVAL
  }
  if (inLeft == 0) {
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    if (iconv(cd, nullptr, nullptr, &outPtr, &outLeft) != static_cast<std::size_t>(-1)) {
      out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
    }
  }
  return in.size() - inLeft;
}

}  // namespace pellucor::platform
