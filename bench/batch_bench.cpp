// The batch engine without the console around it: 10 000 marine members parsed, run and
// written as CSV, on one thread and on every core.
#include <benchmark/benchmark.h>

#include <string>

#include "analysis/batch/batch.hpp"
#include "analysis/batch/csv.hpp"
#include "modules/registry.hpp"

namespace {

using namespace pellucor::analysis::batch;

std::string members(int n) {
  std::string text =
      "member,environment,temperature,humidity,strength,cover,age,diffusion,surface,critical,"
      "cracking-time,diameter,accumulation,stable-time,initiation-time,t2,steel\n";
  for (int i = 0; i < n; ++i) {
    text += "M" + std::to_string(i) + ",1.5,20,0.8," + std::to_string(10 + i % 41) + "," +
            std::to_string(10 + (i * 7) % 81) + "," + std::to_string(1 + i % 80) +
            ",1.5,5,1.4,20,20,1.0,25,10,5," + std::to_string(1 + i % 3) + "\n";
  }
  return text;
}

void BM_MarineMembersCsvToCsv(benchmark::State& state) {
  const std::string input = members(10000);
  const auto& module = *pellucor::modules::find_module("marine");
  RunOptions options;
  options.jobs = static_cast<unsigned>(state.range(0));
  for (auto _ : state) {
    const auto records = parse_csv(decode_text(input));
    const auto columns = resolve_columns(module.table(), records[0].fields);
    const auto rows = member_rows(records, columns.size());
    const auto outcomes = run_members(module, columns, rows, options);
    const std::string out = encode_text(
        csv_text(output_table(4, records[0].fields, columns, rows, outcomes)), Encoding::Utf8Bom);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * 10000);
}
// Argument: threads (0: one per core).
BENCHMARK(BM_MarineMembersCsvToCsv)
    ->ArgName("jobs")
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
