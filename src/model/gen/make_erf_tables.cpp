// Writes the source file with the checkpoint tables of the error-function loops:
//   make_erf_tables OUT.cpp
// The file is written beside OUT and renamed over it when complete.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "model/gen/erf_loops.hpp"

namespace {

using pellucor::model::erf_loops::Checkpoint;
using pellucor::model::erf_loops::Table;

std::uint64_t bits(double v) {
  std::uint64_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

std::string hex(double v) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "0x%016llxu", static_cast<unsigned long long>(bits(v)));
  return buffer;
}

void write_table(std::ostream& out, const char* name, const Table& t) {
  out << "alignas(16) const std::uint64_t k" << name << "Pairs[] = {\n";
  for (const Checkpoint& c : t.checkpoints) out << hex(c.at) << ", " << hex(c.sum) << ",\n";
  out << "};\n"
      << "}  // namespace\n"
      << "const Prebuilt k" << name << "{k" << name << "Pairs, " << t.checkpoints.size() << ", "
      << hex(t.saturation.at) << ", " << hex(t.saturation.sum) << "};\n"
      << "namespace {\n";
}

}  // namespace

int main(int argc, char** argv) {
  namespace loops = pellucor::model::erf_loops;
  if (argc != 2) {
    std::cerr << "usage: make_erf_tables OUT.cpp\n";
    return 1;
  }
  try {
    const std::filesystem::path target = argv[1];
    std::filesystem::path temp = target;
    temp += ".tmp";
    {
      std::ofstream out(temp, std::ios::binary | std::ios::trunc);
      out << "// Written by make_erf_tables; do not edit.\n"
             "#include \"model/gen/erf_tables.hpp\"\n"
             "namespace pellucor::model::erf_tables {\n"
             "namespace {\n";
      write_table(out, "Fine", loops::fill(loops::fine_loop(), loops::kCapacity));
      write_table(out, "Coarse", loops::fill(loops::coarse_loop(), loops::kCapacity));
      write_table(out, "Inverse", loops::fill(loops::inverse_loop(), loops::kCapacity));
      out << "}  // namespace\n}  // namespace pellucor::model::erf_tables\n";
      out.flush();
      if (!out) throw std::runtime_error("cannot write " + temp.string());
    }
    std::filesystem::rename(temp, target);
  } catch (const std::exception& e) {
    std::cerr << "make_erf_tables: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
