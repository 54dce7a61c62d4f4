// Load and lookup costs of the CIDR criterion: a list of a million blocks read from a file into
// the IP set, and overlap tests of random IPv4 prefixes against it, numeric and by prefix text.
//
//   cmake -S . -B build -DTARVEX_BENCH=ON && cmake --build build --target ip_set_bench
//   build/bench/ip_set_bench
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "criteria/criteria_files.h"
#include "criteria/ip_set.h"
#include "criteria/list_line_reporter.h"
#include "criteria/match_rules.h"
#include "mrt_builder.h"
#include "output/report_line.h"
#include "process_runner.h"

namespace tarvex {
namespace {

// The bad lines of a list (every hundredth block is IPv6) are not what is measured.
class IgnoringReporter final : public ListLineReporter {
 public:
  void badLine(const std::string&, std::size_t, const LineProblem&) override {}
};

std::string ipv4Text(std::uint32_t address) {
  return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xff) + "." +
         std::to_string((address >> 8) & 0xff) + "." + std::to_string(address & 0xff);
}

/// A CIDR list of `count` random blocks shaped like a block list (most /32 and /24, a few /20
/// to /23), with every hundredth line an IPv6 block; written once per size and kept for the
/// whole program. A million such blocks cover about a tenth of the IPv4 space in some 900,000
/// separate ranges.
const std::string& cidrListFile(std::size_t count) {
  static testing::TempDir dir;
  static std::vector<std::pair<std::size_t, std::string>> files;
  for (const auto& [size, path] : files) {
    if (size == count) return path;
  }
  std::mt19937 random(static_cast<unsigned>(count));
  std::string text;
  text.reserve(count * 20);
  for (std::size_t i = 0; i < count; ++i) {
    if (i % 100 == 99) {
      text += "2001:db8:" + std::to_string(random() % 9999) + "::/48\n";
      continue;
    }
    unsigned pick = random() % 100;
    unsigned length = pick < 60 ? 32 : pick < 95 ? 24 : 20 + random() % 4;
    text += ipv4Text(static_cast<std::uint32_t>(random())) + "/" + std::to_string(length) + "\n";
  }
  std::string path = dir.file("blocks-" + std::to_string(count) + ".txt");
  testing::writeText(path, text);
  files.emplace_back(count, path);
  return files.back().second;
}

const IpSet& loadedSet(std::size_t count) {
  static std::vector<std::pair<std::size_t, std::shared_ptr<const IpSet>>> sets;
  for (const auto& [size, set] : sets) {
    if (size == count) return *set;
  }
  IgnoringReporter reporter;
  sets.emplace_back(count, loadCidrFile(cidrListFile(count), reporter).set);
  return *sets.back().second;
}

std::vector<mrt::Ipv4Prefix> randomPrefixes() {
  std::mt19937 random(7);
  std::vector<mrt::Ipv4Prefix> prefixes(1 << 16);
  for (mrt::Ipv4Prefix& prefix : prefixes) {
    prefix.address = static_cast<std::uint32_t>(random());
    // As routed: most prefixes are /24, the rest spread over /8 to /23.
    prefix.length = static_cast<std::uint8_t>(random() % 10 < 6 ? 24 : 8 + random() % 16);
  }
  return prefixes;
}

void BM_LoadCidrList(benchmark::State& state) {
  const std::string& path = cidrListFile(static_cast<std::size_t>(state.range(0)));
  IgnoringReporter reporter;
  for (auto _ : state) {
    const ListLoad<IpSet> load = loadCidrFile(path, reporter);
    benchmark::DoNotOptimize(load.set->empty());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_LoadCidrList)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BM_OverlapsIpv4(benchmark::State& state) {
  const IpSet& set = loadedSet(static_cast<std::size_t>(state.range(0)));
  const std::vector<mrt::Ipv4Prefix> prefixes = randomPrefixes();
  std::size_t next = 0;
  std::size_t hits = 0;
  for (auto _ : state) {
    const mrt::Ipv4Prefix& prefix = prefixes[next++ & 0xffff];
    hits += set.overlapsIpv4(prefix.address, prefix.length);
  }
  benchmark::DoNotOptimize(hits);
  state.SetItemsProcessed(state.iterations());
  state.counters["hit_rate"] = static_cast<double>(hits) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_OverlapsIpv4)->Arg(10)->Arg(1000)->Arg(1000000);

// The AS criterion's lookup of an origin, as the decode workers make it: through the memo of
// their thread, over the origins of a day (a few thousand, often repeated).
void BM_OriginListed(benchmark::State& state) {
  SearchSettings settings;
  settings.asnFile = "origins.txt";
  std::mt19937 random(11);
  auto listed = std::make_shared<SearchSettings::AsnSet>();
  for (std::int64_t i = 0; i < state.range(0); ++i) {
    listed->insert(std::to_string(random() % 400000));
  }
  settings.asnSet = listed;
  std::vector<std::uint32_t> origins;
  for (int i = 0; i < 1024; ++i) origins.push_back(static_cast<std::uint32_t>(random() % 400000));
  OriginMemo memo(settings);
  std::size_t next = 0;
  std::size_t hits = 0;
  for (auto _ : state) hits += memo.listed(origins[next++ & 1023]);
  benchmark::DoNotOptimize(hits);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_OriginListed)->Arg(10)->Arg(100000);

}  // namespace
}  // namespace tarvex

BENCHMARK_MAIN();
