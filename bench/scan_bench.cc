// The cost of one record on one thread, from bytes in memory to report lines: decoding alone,
// and decoding with the walk under a selective CIDR query, a selective origin query, and a query
// that reports every prefix. The input is the first 64 MB of the benchmark dump that
// bench/make-input builds (build/bench-data/updates.mrt; or the file named by TARVEX_SCAN_INPUT).
//
//   cmake -S . -B build -DTARVEX_BENCH=ON && cmake --build build --target scan_bench
//   bench/make-input && build/bench/scan_bench
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "criteria/criteria_files.h"
#include "criteria/ip_set.h"
#include "criteria/list_line_reporter.h"
#include "mrt/bgp4mp.h"
#include "mrt/mrt_reader.h"
#include "mrt/record_batcher.h"
#include "mrt_builder.h"
#include "process_runner.h"
#include "scan/update_search.h"

namespace tarvex {
namespace {

class NullSink final : public OutputPort {
 public:
  void write(Channel, std::string_view bytes) override {
    benchmark::DoNotOptimize(bytes.data());
    ++writes;
  }
  std::size_t writes = 0;
};

// The lists of the queries are written here, and their lines are not what is measured.
class IgnoringReporter final : public ListLineReporter {
 public:
  void badLine(const std::string&, std::size_t, const LineProblem&) override {}
};

// Whole records, at most 64 MB of them.
const std::vector<std::uint8_t>& input() {
  static const std::vector<std::uint8_t> bytes = [] {
    const char* named = std::getenv("TARVEX_SCAN_INPUT");
    std::string path = named != nullptr ? named : TARVEX_BENCH_DATA "/updates.mrt";
    std::ifstream file(path, std::ios::binary);
    std::vector<std::uint8_t> all;
    all.resize(64 * 1000 * 1000);
    file.read(reinterpret_cast<char*>(all.data()), static_cast<std::streamsize>(all.size()));
    all.resize(static_cast<std::size_t>(file.gcount()));
    // Cut after the last whole record.
    std::size_t at = 0;
    while (at + mrt::kMrtHeaderSize <= all.size()) {
      const std::size_t length = (std::size_t{all[at + 8]} << 24) |
                                 (std::size_t{all[at + 9]} << 16) |
                                 (std::size_t{all[at + 10]} << 8) | all[at + 11];
      if (at + mrt::kMrtHeaderSize + length > all.size()) break;
      at += mrt::kMrtHeaderSize + length;
    }
    all.resize(at);
    return all;
  }();
  return bytes;
}

SearchSettings settingsFor(const std::string& cidrs, const std::string& origins) {
  static testing::TempDir dir;
  SearchSettings settings;
  IgnoringReporter reporter;
  if (!cidrs.empty()) {
    settings.cidrFile = dir.file("cidrs.txt");
    testing::writeText(settings.cidrFile, cidrs);
    settings.cidrSet = loadCidrFile(settings.cidrFile, reporter).set;
  }
  if (!origins.empty()) {
    settings.asnFile = dir.file("origins.txt");
    testing::writeText(settings.asnFile, origins);
    settings.asnSet = loadAsnFile(settings.asnFile, reporter).set;
  }
  return settings;
}

template <typename Visit>
void run(benchmark::State& state, Visit visit) {
  const std::vector<std::uint8_t>& bytes = input();
  if (bytes.empty()) {
    state.SkipWithError("no input: run bench/make-input");
    return;
  }
  mrt::UpdateDecoder decoder;
  mrt::BgpUpdate update;
  mrt::BatchPassedOver passedOver;
  const mrt::RecordBatch batch{bytes, 0, nullptr};
  for (auto _ : state) {
    benchmark::DoNotOptimize(mrt::decodeBatch(batch, decoder, update, passedOver, visit));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

void decodeOnly(benchmark::State& state) {
  run(state, [](const mrt::BgpUpdate& update) { benchmark::DoNotOptimize(&update); });
}
BENCHMARK(decodeOnly)->Unit(benchmark::kMillisecond);

// The walk of every message under `settings`, counting the report lines per pass.
void walkWith(benchmark::State& state, const SearchSettings& settings) {
  NullSink sink;
  OriginMemo memo(settings);
  run(state, [&](const mrt::BgpUpdate& update) { searchUpdate(update, settings, sink, &memo); });
  state.counters["lines"] =
      static_cast<double>(sink.writes) / static_cast<double>(state.iterations());
}

void cidrQuery(benchmark::State& state) {
  static const SearchSettings settings =
      settingsFor("185.252.0.0/16\n162.216.0.0/16\n203.250.0.0/16\n63.168.0.0/16\n", "");
  walkWith(state, settings);
}
BENCHMARK(cidrQuery)->Unit(benchmark::kMillisecond);

void originQuery(benchmark::State& state) {
  static const SearchSettings settings = settingsFor("", "16265\n");
  walkWith(state, settings);
}
BENCHMARK(originQuery)->Unit(benchmark::kMillisecond);

void everyPrefix(benchmark::State& state) {
  static const SearchSettings settings = [] {
    SearchSettings s = settingsFor("", "");
    s.orMatch = 1;
    return s;
  }();
  walkWith(state, settings);
}
BENCHMARK(everyPrefix)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tarvex

BENCHMARK_MAIN();
