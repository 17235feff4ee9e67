// Prints its arguments, one a line, and the folder it runs in: what a started program got.
#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/files.hpp"

int main(int argc, char** argv) {
  pellucor::platform::use_binary_standard_streams();
  for (int i = 1; i < argc; ++i) std::printf("%s\n", argv[i]);
  const auto here = std::filesystem::current_path().filename().u8string();
  std::printf("[%s]\n", std::string(here.begin(), here.end()).c_str());
  return argc - 1;
}
