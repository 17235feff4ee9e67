// The batch engine without the console around it, against the floor of the same members: the
// marine sheet's model alone (the error-function work it must do to reproduce its results bit
// for bit, and its few sums), run on inputs read beforehand.
//   BM_MarineBatch/jobs:N   10 000 members parsed, played on the sheet, written as CSV
//   BM_MarineModelFloor     the model's calculation of the same members, nothing else
//   BM_MarineStage/stage:N  the batch's stages apart (0 read, 1 run, 2 write; see below)
// Both report the time per member ("per_member"): processor time on one thread (a machine shared
// with other work moves wall time, not processor time), wall time for two threads. The batch's
// goal on one thread is 1.5 times the floor. On a shared machine compare them side by side:
//   pellucor_batch_bench --benchmark_repetitions=10 --benchmark_enable_random_interleaving=true
//     --benchmark_report_aggregates_only=true
// and read the "min" rows (the runs least disturbed by other work).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "analysis/batch/batch.hpp"
#include "analysis/batch/batch_job.hpp"
#include "analysis/batch/csv.hpp"
#include "modules/registry.hpp"
#include "sheet/control.hpp"
#include "sheet/numeric.hpp"
#include "sheet/safe_output.hpp"
#include "sheet/user_input.hpp"

namespace {

using namespace pellucor::analysis::batch;
namespace sheet = pellucor::sheet;

constexpr int kMembers = 10000;

// Members spread over the valid ranges by a fixed linear congruential sequence (the same as
// bench/batch_timing.sh); a few per cent stop at a check.
std::string members(int n) {
  std::string text =
      "member,environment,temperature,humidity,strength,cover,age,diffusion,surface,critical,"
      "cracking-time,diameter,accumulation,stable-time,initiation-time,t2,steel\n";
  std::uint64_t s = 12345;
  char line[256];
  for (int i = 0; i < n; ++i) {
    double u[12];
    for (double& x : u) {
      s = (s * 1103515245 + 12345) % 2147483648;
      x = static_cast<double>(s) / 2147483648.0;
    }
    std::snprintf(line, sizeof line,
                  "M%05d,%.2f,%.1f,%.2f,%.0f,%.0f,%.0f,%.2f,%.1f,%.2f,20,%.0f,%.2f,%.0f,10,5,%d\n",
                  i, 1 + 4.5 * u[0], 4 + 26 * u[1], 0.4 + 0.6 * u[2], 10 + 40 * u[3],
                  10 + 80 * u[4], 1 + 79 * u[5], 0.2 + 7.8 * u[6], 1 + 12 * u[7], 1.2 + 0.4 * u[8],
                  8 + 32 * u[9], 0.5 + 4.5 * u[10], 5 + 25 * u[11], 1 + i % 3);
    text += line;
  }
  return text;
}

const sheet::Module& marine() {
  return *pellucor::modules::find_module("marine");
}

void per_member(benchmark::State& state) {
  state.SetItemsProcessed(state.iterations() * kMembers);
  state.counters["per_member"] = benchmark::Counter(
      static_cast<double>(kMembers),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_MarineBatch(benchmark::State& state) {
  const std::string input = members(kMembers);
  JobOptions options;
  options.jobs = static_cast<unsigned>(state.range(0));
  for (auto _ : state) {
    auto reader = MemberReader::of_text(input, {});
    const auto columns = resolve_columns(marine().table(), reader->header());
    sheet::SafeOutput out;
    out.open("/dev/null");
    CsvTableWriter writer(out, Encoding::Utf8Bom);
    const JobReport report = run_batch_job(marine(), columns, *reader, writer, options);
    writer.finish();
    benchmark::DoNotOptimize(report.summary.done);
  }
  per_member(state);
}
double fastest(const std::vector<double>& v) {
  return *std::min_element(v.begin(), v.end());
}

// The batch's three stages apart, on one thread, to say where its time goes:
//   BM_MarineStage/read   the table read: the first pass (encoding, count), records, cells
//   BM_MarineStage/run    the members played (typing, checks, model, record, result cells)
//   BM_MarineStage/write  the output rows written as CSV
void BM_MarineStage(benchmark::State& state) {
  const std::string input = members(kMembers);
  const auto stage = state.range(0);
  auto read_all = [&input] {
    auto reader = MemberReader::of_text(input, {});
    std::vector<MemberRow> rows;
    while (reader->read(rows, 4096)) {
    }
    return std::pair(std::move(reader), std::move(rows));
  };
  auto [reader, rows] = read_all();
  const auto columns = resolve_columns(marine().table(), reader->header());
  RunOptions one;
  one.jobs = 1;
  std::vector<RowOutcome> outcomes = run_members(marine(), columns, rows, one);
  const std::vector<std::string> header = output_header(4, reader->header());
  std::vector<bool> textColumns = text_columns(columns);
  textColumns.resize(header.size(), false);
  for (auto _ : state) {
    if (stage == 0) {
      auto again = read_all();
      benchmark::DoNotOptimize(again.second.data());
    } else if (stage == 1) {
      run_members(marine(), columns, rows, one, nullptr, outcomes);
      benchmark::DoNotOptimize(outcomes.data());
    } else {
      sheet::SafeOutput out;
      out.open("/dev/null");
      CsvTableWriter writer(out, Encoding::Utf8Bom);
      writer.header(header, textColumns, reader->header().size());
      writer.members(rows, outcomes);
      writer.finish();
    }
  }
  per_member(state);
}
BENCHMARK(BM_MarineStage)
    ->ArgName("stage")
    ->DenseRange(0, 2)
    ->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", fastest);

BENCHMARK(BM_MarineBatch)
    ->ArgName("jobs")
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", fastest);
BENCHMARK(BM_MarineBatch)->ArgName("jobs")->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// Wants neither report lines nor the record: the model's numbers alone.
class NoReport final : public sheet::CalculationSink {
 public:
  void passStarted(double) override {}
  void passFinished(const std::vector<std::string>&) override {}
  bool wantsReport() const override { return false; }
  bool wantsRecord() const override { return false; }
};

void BM_MarineModelFloor(benchmark::State& state) {
  // The inputs as the sheet reads them, prepared outside the timing.
  const auto records = parse_csv(members(kMembers));
  const auto columns = resolve_columns(marine().table(), records[0].fields);
  std::vector<sheet::SheetInputs> inputs;
  for (std::size_t r = 1; r < records.size(); ++r) {
    sheet::SheetInputs in;
    in.selected[1] = true;  // the sheet's first option
    for (std::size_t c = 0; c < columns.size(); ++c) {
      const std::string& cell = records[r].fields[c];
      if (columns[c].control == sheet::Control::Combo1) {
        in.steelText = std::string(sheet::steel_item(cell).value_or(""));
        in.steelKind = sheet::steel_kind(in.steelText);
        in.steelName = sheet::steel_name(in.steelText);
      } else if (const int n = sheet::text_box_number(columns[c].control); n > 0) {
        in.value[static_cast<std::size_t>(n)] = sheet::numeric_prefix(cell);
      }
    }
    inputs.push_back(in);
  }
  for (auto _ : state) {
    std::size_t done = 0;
    for (const auto& in : inputs) {
      if (marine().check(in)) continue;
      NoReport sink;
      const auto outcome = marine().calculate(in, sink);
      done += !outcome.stop;
    }
    benchmark::DoNotOptimize(done);
  }
  per_member(state);
}
BENCHMARK(BM_MarineModelFloor)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", fastest);

}  // namespace

BENCHMARK_MAIN();
