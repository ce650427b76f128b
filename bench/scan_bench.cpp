// Benchmarks of the scan: full WinINet containers end to end through the
// disk stand-in (against the read floor and msiecfexport), and large caches
// through the analyzer alone. Prints Google Benchmark's lines, then one
// table with the goals.
//
//   sitelore-bench [--benchmark_filter=...]
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "analysis/CacheAnalyzer.h"
#include "bench/AllocationCounter.h"
#include "bench/BenchCaches.h"
#include "platform/wininet/ContainerLocator.h"
#include "platform/wininet/DiskUrlCache.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kGrowthScales[] = {100'000, 1'000'000};

// Runs `argv` with its output thrown away; true when it exits with 0.
bool RunQuietly(std::vector<std::string> argv) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<char*> args;
  for (std::string& arg : argv) args.push_back(arg.data());
  args.push_back(nullptr);
  pid_t pid = 0;
  int status = -1;
  if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) == 0)
    waitpid(pid, &status, 0);
  posix_spawn_file_actions_destroy(&actions);
  return status == 0;
}

bool OnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::string paths = path ? path : "/usr/bin:/bin";
  for (std::size_t start = 0; start <= paths.size();) {
    std::size_t end = paths.find(':', start);
    if (end == std::string::npos) end = paths.size();
    if (access((paths.substr(start, end - start) + "/" + program).c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

// The six per-site queries in the order the window runs them.
using TextQuery = void (TCacheAnalyzer::*)(std::string_view, std::string&);
using ListQuery = void (TCacheAnalyzer::*)(std::string_view, TItemList&);
constexpr TextQuery kTextQueries[] = {&TCacheAnalyzer::GetPages,   &TCacheAnalyzer::GetImages,
                                      &TCacheAnalyzer::GetOther,   &TCacheAnalyzer::GetMedia,
                                      &TCacheAnalyzer::GetCookies, &TCacheAnalyzer::GetHistory};
constexpr ListQuery kListQueries[] = {&TCacheAnalyzer::GetPages,   &TCacheAnalyzer::GetImages,
                                      &TCacheAnalyzer::GetOther,   &TCacheAnalyzer::GetMedia,
                                      &TCacheAnalyzer::GetCookies, &TCacheAnalyzer::GetHistory};

struct Scale {
  std::string name;
  std::size_t entries = 0;
  std::size_t sites = 0;
  std::string largestSite;
  std::size_t largestSiteItems = 0;
  // Bytes, by operator new: the peak over the scan, what stays afterwards,
  // and the texts (URLs and local file names) of the stored entries.
  std::size_t peakBytes = 0, heldBytes = 0, textBytes = 0;
  fixture::MemoryUrlCache* memory = nullptr;  // null: the disk profile
};

void UseSource(const Scale& scale) {
  urlcache::SetService(scale.memory);
}

std::size_t StoredTextBytes(const TCacheAnalyzer& analyzer) {
  std::size_t bytes = 0;
  for (const TEntryList* list :
       {&analyzer.ImageList(), &analyzer.PageList(), &analyzer.MediaList(), &analyzer.OtherList(),
        &analyzer.CookieList(), &analyzer.HistoryList()})
    for (std::size_t i = 0; i < list->Count(); ++i)
      bytes += (*list)[i].SourceUrlName.size() + (*list)[i].LocalFileName.size();
  return bytes;
}

// The six queries of one refresh, as the window runs them.
std::size_t Refresh(TCacheAnalyzer& analyzer, const std::string& site) {
  std::string text;
  std::size_t bytes = 0;
  for (TextQuery query : kTextQueries) {
    (analyzer.*query)(site, text);
    bytes += text.size();
  }
  return bytes;
}

// One whole scan in a fresh analyzer, with the disk snapshots dropped first
// so that the files are read and parsed as at program start.
std::unique_ptr<TCacheAnalyzer> FreshScan() {
  urlcache::FlushSnapshots();
  auto analyzer = std::make_unique<TCacheAnalyzer>();
  std::string sites;
  analyzer->GetSites(sites);
  analyzer->ScanCache();
  return analyzer;
}

void MeasureMemory(Scale& scale) {
  UseSource(scale);
  urlcache::FlushSnapshots();
  const std::size_t base = bench::LiveBytes();
  bench::ResetPeak();
  std::unique_ptr<TCacheAnalyzer> analyzer = FreshScan();
  scale.peakBytes = bench::PeakBytes() - base;
  urlcache::FlushSnapshots();  // the stand-in keeps the files' bytes; count the analyzer only
  scale.heldBytes = bench::LiveBytes() - base;
  scale.textBytes = StoredTextBytes(*analyzer);
  TItemList items;
  scale.largestSiteItems = 0;
  for (ListQuery query : kListQueries) {
    (analyzer.get()->*query)(scale.largestSite, items);
    scale.largestSiteItems += items.size();
  }
}

// Keeps the median real time of every benchmark, in seconds, by name.
class TableReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if (!median && !(run.run_type == Run::RT_Iteration && run.repetitions <= 1)) continue;
      seconds_[run.run_name.function_name] =
          run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
    }
  }
  // Negative when the benchmark did not run.
  double Seconds(const std::string& name) const {
    auto found = seconds_.find(name);
    return found == seconds_.end() ? -1.0 : found->second;
  }

 private:
  std::map<std::string, double> seconds_;
};

std::string Millis(double seconds) {
  if (seconds < 0) return "-";
  char text[32];
  std::snprintf(text, sizeof text, seconds < 0.01 ? "%.2f ms" : "%.1f ms", seconds * 1e3);
  return text;
}

std::string Megabytes(std::size_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MB", bytes / 1e6);
  return text;
}

std::string Verdict(bool measured, bool met) {
  return !measured ? "not run" : met ? "met" : "MISSED";
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;

  char pattern[] = "/tmp/sitelore-bench-XXXXXX";
  if (!mkdtemp(pattern)) return 1;
  const fs::path scratch = pattern;
  bench::FullProfile profile;
  std::string error;
  std::fprintf(stderr, "Writing three full containers...\n");
  if (!bench::WriteFullProfile((scratch / "user").string(), profile, error)) {
    std::fprintf(stderr, "sitelore-bench: %s\n", error.c_str());
    return 1;
  }
  urlcache::SetUrlCacheProfile(profile.userFolder);
  const std::string contentFile = profile.files[2];
  const std::string report =
      (fs::read_symlink("/proc/self/exe").parent_path() / "sitelore-report").string();

  std::vector<Scale> scales;
  Scale real;
  real.name = "full containers (disk)";
  real.entries = profile.entries[0] + profile.entries[1] + profile.entries[2];
  real.sites = profile.sites;
  real.largestSite = profile.largestSite;
  scales.push_back(real);
  std::vector<std::unique_ptr<fixture::MemoryUrlCache>> memories;
  for (std::size_t entries : kGrowthScales) {
    std::fprintf(stderr, "Generating %zu entries in memory...\n", entries);
    memories.push_back(std::make_unique<fixture::MemoryUrlCache>());
    const bench::GrowthCache growth = bench::FillGrowthCache(*memories.back(), entries);
    Scale scale;
    scale.name = std::to_string(entries / 1000) + "k entries (memory)";
    scale.entries = entries;
    scale.sites = growth.sites;
    scale.largestSite = growth.largestSite;
    scale.memory = memories.back().get();
    scales.push_back(scale);
  }
  for (Scale& scale : scales) MeasureMemory(scale);
  urlcache::SetService(nullptr);

  // The scanned analyzers the refresh benchmarks query, made on first use.
  std::map<std::size_t, std::unique_ptr<TCacheAnalyzer>> scanned;
  for (std::size_t i = 0; i < scales.size(); ++i) {
    const Scale* scale = &scales[i];
    const bool big = scale->entries >= 1'000'000;
    benchmark::RegisterBenchmark(("Scan/" + std::to_string(i)).c_str(),
                                 [scale](benchmark::State& state) {
                                   UseSource(*scale);
                                   for (auto _ : state) {
                                     std::unique_ptr<TCacheAnalyzer> analyzer = FreshScan();
                                     state.PauseTiming();
                                     analyzer.reset();
                                     state.ResumeTiming();
                                   }
                                   urlcache::SetService(nullptr);
                                 })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(big ? 1 : 5)
        ->Repetitions(5)
        ->ReportAggregatesOnly(true);
    benchmark::RegisterBenchmark(
        ("Refresh/" + std::to_string(i)).c_str(),
        [scale, i, &scanned](benchmark::State& state) {
          UseSource(*scale);
          std::unique_ptr<TCacheAnalyzer>& analyzer = scanned[i];
          if (!analyzer) analyzer = FreshScan();
          for (auto _ : state) benchmark::DoNotOptimize(Refresh(*analyzer, scale->largestSite));
          urlcache::SetService(nullptr);
        })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Repetitions(5)
        ->ReportAggregatesOnly(true);
  }
  benchmark::RegisterBenchmark("ReadFloor",
                               [&](benchmark::State& state) {
                                 for (auto _ : state) RunQuietly({"cat", contentFile});
                               })
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime()
      ->Repetitions(5)
      ->ReportAggregatesOnly(true);
  benchmark::RegisterBenchmark("ReportProcess",
                               [&](benchmark::State& state) {
                                 for (auto _ : state)
                                   RunQuietly({report, "--profile", profile.userFolder});
                               })
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime()
      ->Repetitions(5)
      ->ReportAggregatesOnly(true);
  const bool peer = OnPath("msiecfexport");
  if (peer) {
    benchmark::RegisterBenchmark("Msiecfexport",
                                 [&](benchmark::State& state) {
                                   for (auto _ : state)
                                     if (!RunQuietly({"msiecfexport", contentFile}))
                                       state.SkipWithError("msiecfexport failed");
                                 })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(1)
        ->Repetitions(3)
        ->ReportAggregatesOnly(true);
  }

  TableReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  std::error_code ignored;
  fs::remove_all(scratch, ignored);

  const double floor = reporter.Seconds("ReadFloor");
  const double peerTime = reporter.Seconds("Msiecfexport");
  const double process = reporter.Seconds("ReportProcess");
  std::printf("\nFull containers: %zu cookies, %zu history, %zu content entries in %s, %s, %s\n",
              profile.entries[0], profile.entries[1], profile.entries[2],
              Megabytes(profile.fileBytes[0]).c_str(), Megabytes(profile.fileBytes[1]).c_str(),
              Megabytes(profile.fileBytes[2]).c_str());
  std::printf("Floor `cat` and peer `msiecfexport` read the content container only.\n\n");
  std::printf(
      "| scale | entries | sites | scan (GetSites + ScanCache) | refresh (6 queries, largest "
      "site) | peak memory | held after scan | texts stored | peak / texts | floor: cat | peer: "
      "msiecfexport | peer / scan |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|\n");
  for (std::size_t i = 0; i < scales.size(); ++i) {
    const Scale& s = scales[i];
    const double scan = reporter.Seconds("Scan/" + std::to_string(i));
    const double refresh = reporter.Seconds("Refresh/" + std::to_string(i));
    char ratio[32] = "-";
    if (i == 0 && peerTime > 0 && scan > 0)
      std::snprintf(ratio, sizeof ratio, "%.0fx", peerTime / scan);
    std::printf("| %s | %zu | %zu | %s | %s (%zu items) | %s | %s | %s | %.2f | %s | %s | %s |\n",
                s.name.c_str(), s.entries, s.sites, Millis(scan).c_str(), Millis(refresh).c_str(),
                s.largestSiteItems, Megabytes(s.peakBytes).c_str(), Megabytes(s.heldBytes).c_str(),
                Megabytes(s.textBytes).c_str(),
                s.textBytes ? double(s.peakBytes) / double(s.textBytes) : 0.0,
                i == 0 ? Millis(floor).c_str() : "-", i == 0 ? Millis(peerTime).c_str() : "-",
                ratio);
  }
  std::printf("\n`sitelore-report --profile` on the full containers, whole process: %s\n",
              Millis(process).c_str());

  const double realScan = reporter.Seconds("Scan/0");
  const double smallScan = reporter.Seconds("Scan/1");
  const double bigScan = reporter.Seconds("Scan/2");
  const double bigRefresh = reporter.Seconds("Refresh/2");
  const Scale& big = scales[2];
  std::printf("\nGoals:\n");
  std::printf("- whole scan of three full containers < 50 ms: %s (%s)\n",
              Verdict(realScan > 0, realScan < 0.050).c_str(), Millis(realScan).c_str());
  std::printf("- at least 10x faster than msiecfexport on the content container: %s\n",
              !peer ? "peer not installed"
                    : Verdict(realScan > 0 && peerTime > 0, peerTime >= 10 * realScan).c_str());
  std::printf("- scan of 1M entries < 1.5 s: %s (%s)\n",
              Verdict(bigScan > 0, bigScan < 1.5).c_str(), Millis(bigScan).c_str());
  std::printf("- refresh at 1M entries < 30 ms: %s (%s)\n",
              Verdict(bigRefresh > 0, bigRefresh < 0.030).c_str(), Millis(bigRefresh).c_str());
  std::printf("- peak memory at 1M < 3x the texts stored: %s (%.2fx)\n",
              Verdict(true, big.peakBytes < 3 * big.textBytes).c_str(),
              double(big.peakBytes) / double(big.textBytes));
  std::printf("- linear growth, scan 1M / 100k <= about 10: %s (%.1fx)\n",
              Verdict(bigScan > 0 && smallScan > 0, bigScan <= 11 * smallScan).c_str(),
              smallScan > 0 ? bigScan / smallScan : 0.0);
  return 0;
}
