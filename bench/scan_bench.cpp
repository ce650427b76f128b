// Benchmarks of the scan: full WinINet containers end to end through the
// disk stand-in (against the read floor and msiecfexport), and large caches
// through the analyzer alone. Prints Google Benchmark's lines, then the
// tables and the goals.
//
//   sitelore-bench [--benchmark_filter=...]
//   sitelore-bench --first-scan=USERFOLDER   (one scan in this fresh process)
//   sitelore-bench --write-profile=FOLDER    (writes the full containers and ends)
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <malloc.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <type_traits>
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
constexpr int kFreshProcessRuns = 5;

// The six per-site queries in the order the window runs them.
using TextQuery = void (TCacheAnalyzer::*)(std::string_view, std::string&);
using ListQuery = void (TCacheAnalyzer::*)(std::string_view, TItemList&);
constexpr TextQuery kTextQueries[] = {&TCacheAnalyzer::GetPages,   &TCacheAnalyzer::GetImages,
                                      &TCacheAnalyzer::GetOther,   &TCacheAnalyzer::GetMedia,
                                      &TCacheAnalyzer::GetCookies, &TCacheAnalyzer::GetHistory};
constexpr ListQuery kListQueries[] = {&TCacheAnalyzer::GetPages,   &TCacheAnalyzer::GetImages,
                                      &TCacheAnalyzer::GetOther,   &TCacheAnalyzer::GetMedia,
                                      &TCacheAnalyzer::GetCookies, &TCacheAnalyzer::GetHistory};

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
  const std::string paths = path ? path : "/usr/bin:/bin";
  for (std::size_t start = 0; start <= paths.size();) {
    std::size_t end = paths.find(':', start);
    if (end == std::string::npos) end = paths.size();
    if (access((paths.substr(start, end - start) + "/" + program).c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

double CpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return now.tv_sec + now.tv_nsec / 1e9;
}

double WallSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct Scale {
  std::string name;
  std::size_t entries = 0;
  std::size_t sites = 0;
  std::string largestSite;
  std::size_t largestSiteItems = 0;
  // Bytes handed out by operator new or mapped: the peak over the scan, what the
  // analyzer holds afterwards, and the texts (URLs and local file names) of
  // the stored entries.
  std::size_t peakBytes = 0, heldBytes = 0, textBytes = 0;
  fixture::MemoryUrlCache* memory = nullptr;  // null: the disk profile
};

void UseSource(const Scale& scale) {
  urlcache::SetProvider(scale.memory);
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

// The six queries of one refresh, in text form as the window asks for them.
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
  bench::StartCounting();
  std::unique_ptr<TCacheAnalyzer> analyzer = FreshScan();
  scale.peakBytes = static_cast<std::size_t>(std::max(0LL, bench::PeakBytes()));
  urlcache::FlushSnapshots();  // the stand-in keeps the files' bytes; count the analyzer alone
  scale.heldBytes = static_cast<std::size_t>(std::max(0LL, bench::LiveBytes()));
  bench::StopCounting();
  scale.textBytes = StoredTextBytes(*analyzer);
  TItemList items;
  scale.largestSiteItems = 0;
  for (ListQuery query : kListQueries) {
    (analyzer.get()->*query)(scale.largestSite, items);
    scale.largestSiteItems += items.size();
  }
  urlcache::SetProvider(nullptr);
}

// The child's side of --first-scan: one scan of the user folder, timed from
// inside, as the window's start-up runs it.
int FirstScan(const std::string& userFolder) {
  urlcache::SetUrlCacheProfile(userFolder);
  rusage before{}, after{};
  getrusage(RUSAGE_SELF, &before);
  const double wall = WallSeconds(), cpu = CpuSeconds();
  TCacheAnalyzer analyzer;
  std::string sites;
  analyzer.GetSites(sites);
  analyzer.ScanCache();
  const double wallSpent = WallSeconds() - wall, cpuSpent = CpuSeconds() - cpu;
  getrusage(RUSAGE_SELF, &after);
  std::printf("%.6f %.6f %ld %ld %d\n", wallSpent, cpuSpent, after.ru_maxrss,
              after.ru_minflt - before.ru_minflt, analyzer.TotalImages());
  return 0;
}

struct FirstScanResult {
  double wall = -1, cpu = -1;
  long maxRssKb = 0, pageFaults = 0;
};

// Medians over fresh processes of the first scan of `userFolder`.
FirstScanResult MeasureFirstScans(const std::string& self, const std::string& userFolder) {
  std::vector<FirstScanResult> runs;
  for (int i = 0; i < kFreshProcessRuns; ++i) {
    const std::string command = "'" + self + "' --first-scan='" + userFolder + "'";
    std::FILE* child = popen(command.c_str(), "r");
    if (!child) break;
    FirstScanResult run;
    int images = 0;
    const int fields = std::fscanf(child, "%lf %lf %ld %ld %d", &run.wall, &run.cpu, &run.maxRssKb,
                                   &run.pageFaults, &images);
    if (pclose(child) == 0 && fields == 5) runs.push_back(run);
  }
  FirstScanResult median;
  if (runs.empty()) return median;
  auto middle = [&](auto member) {
    std::vector<std::remove_cvref_t<decltype(runs[0].*member)>> values;
    for (const FirstScanResult& run : runs) values.push_back(run.*member);
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
  };
  median.wall = middle(&FirstScanResult::wall);
  median.cpu = middle(&FirstScanResult::cpu);
  median.maxRssKb = middle(&FirstScanResult::maxRssKb);
  median.pageFaults = middle(&FirstScanResult::pageFaults);
  return median;
}

// Keeps the median real and CPU time of every benchmark, in seconds.
class TableReporter : public benchmark::ConsoleReporter {
 public:
  struct Times {
    double wall = -1, cpu = -1;
  };

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if (!median && !(run.run_type == Run::RT_Iteration && run.repetitions <= 1)) continue;
      const double unit = benchmark::GetTimeUnitMultiplier(run.time_unit);
      times_[run.run_name.function_name] = {run.GetAdjustedRealTime() / unit,
                                            run.GetAdjustedCPUTime() / unit};
    }
  }
  // Negative times when the benchmark did not run.
  Times Of(const std::string& name) const {
    auto found = times_.find(name);
    return found == times_.end() ? Times{} : found->second;
  }

 private:
  std::map<std::string, Times> times_;
};

std::string Millis(double seconds) {
  if (seconds < 0) return "-";
  char text[32];
  std::snprintf(text, sizeof text, seconds < 0.01 ? "%.2f ms" : "%.1f ms", seconds * 1e3);
  return text;
}

// "wall (CPU cpu)"
std::string WallCpu(TableReporter::Times times) {
  if (times.wall < 0) return "-";
  return Millis(times.wall) + " (CPU " + Millis(times.cpu) + ")";
}

std::string Megabytes(double bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MB", bytes / 1e6);
  return text;
}

std::string Verdict(bool measured, bool met) {
  return !measured ? "not run" : met ? "met" : "MISSED";
}

template <typename Body>
void Register(const std::string& name, Body body, int iterations, int repetitions) {
  benchmark::internal::Benchmark* b = benchmark::RegisterBenchmark(name.c_str(), body);
  b->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(repetitions);
  b->ReportAggregatesOnly(true);
  if (iterations > 0) b->Iterations(iterations);
}

// Writes the full containers into `userFolder`, for measuring whole
// processes side by side with other tools.
int WriteProfileOnly(const std::string& userFolder) {
  bench::FullProfile profile;
  std::string error;
  if (!bench::WriteFullProfile(userFolder, profile, error)) {
    std::fprintf(stderr, "sitelore-bench: %s\n", error.c_str());
    return 1;
  }
  for (const std::string& file : profile.files) std::printf("%s\n", file.c_str());
  return 0;
}

// The benchmarked caches: the full containers on disk, then the growth
// scales in memory (kept in `memories`).
std::vector<Scale> PrepareScales(const bench::FullProfile& profile,
                                 std::vector<std::unique_ptr<fixture::MemoryUrlCache>>& memories) {
  std::vector<Scale> scales(1);
  scales[0].name = "full containers, disk";
  scales[0].entries = profile.entries[0] + profile.entries[1] + profile.entries[2];
  scales[0].sites = profile.sites;
  scales[0].largestSite = profile.largestSite;
  for (std::size_t entries : kGrowthScales) {
    std::fprintf(stderr, "Generating %zu entries in memory...\n", entries);
    memories.push_back(std::make_unique<fixture::MemoryUrlCache>());
    const bench::GrowthCache growth = bench::FillGrowthCache(*memories.back(), entries);
    Scale scale;
    scale.name = std::to_string(entries / 1000) + "k entries, memory";
    scale.entries = entries;
    scale.sites = growth.sites;
    scale.largestSite = growth.largestSite;
    scale.memory = memories.back().get();
    scales.push_back(scale);
  }
  return scales;
}

using ScannedAnalyzers = std::map<std::size_t, std::unique_ptr<TCacheAnalyzer>>;

// The scan and the refresh of every scale; `scanned` keeps the analyzers
// that the refreshes query, made on first use.
void RegisterScaleBenchmarks(const std::vector<Scale>& scales, ScannedAnalyzers& scanned) {
  for (std::size_t i = 0; i < scales.size(); ++i) {
    const Scale* scale = &scales[i];
    const bool big = scale->entries >= 1'000'000;
    Register(
        "Scan/" + std::to_string(i),
        [scale](benchmark::State& state) {
          UseSource(*scale);
          for (auto _ : state) {
            std::unique_ptr<TCacheAnalyzer> analyzer = FreshScan();
            state.PauseTiming();
            analyzer.reset();
            // Hand the freed memory back, so that every scan starts on fresh
            // pages as at program start, whatever the scale.
            malloc_trim(0);
            state.ResumeTiming();
          }
          urlcache::SetProvider(nullptr);
        },
        big ? 1 : 5, 5);
    Register(
        "Refresh/" + std::to_string(i),
        [scale, i, &scanned](benchmark::State& state) {
          UseSource(*scale);
          std::unique_ptr<TCacheAnalyzer>& analyzer = scanned[i];
          if (!analyzer) analyzer = FreshScan();
          for (auto _ : state) benchmark::DoNotOptimize(Refresh(*analyzer, scale->largestSite));
          urlcache::SetProvider(nullptr);
        },
        0, 5);
  }
}

// The floor, the report and the peer as whole processes. `contentFile`,
// `report` and `userFolder` must outlive the run.
void RegisterProcessBenchmarks(const std::string& contentFile, const std::string& report,
                               const std::string& userFolder, bool peer) {
  Register(
      "ReadFloor",
      [&contentFile](benchmark::State& state) {
        for (auto _ : state) RunQuietly({"cat", contentFile});
      },
      0, 5);
  Register(
      "ReportProcess",
      [&report, &userFolder](benchmark::State& state) {
        for (auto _ : state) RunQuietly({report, "--profile", userFolder});
      },
      0, 5);
  if (!peer) return;
  Register(
      "Msiecfexport",
      [&contentFile](benchmark::State& state) {
        for (auto _ : state)
          if (!RunQuietly({"msiecfexport", contentFile}))
            state.SkipWithError("msiecfexport failed");
      },
      1, 3);
}

void PrintTable(const bench::FullProfile& profile, const std::vector<Scale>& scales,
                const TableReporter& reporter) {
  // Child processes' CPU time is not this process's: floor, peer and the
  // report process are wall times only.
  const double floor = reporter.Of("ReadFloor").wall;
  const double peerTime = reporter.Of("Msiecfexport").wall;
  std::printf(
      "\nFull containers: %zu cookie, %zu history and %zu content entries in %s, %s "
      "and %s; %zu sites.\n",
      profile.entries[0], profile.entries[1], profile.entries[2],
      Megabytes(profile.fileBytes[0]).c_str(), Megabytes(profile.fileBytes[1]).c_str(),
      Megabytes(profile.fileBytes[2]).c_str(), profile.sites);
  std::printf(
      "Times are medians, wall clock (process CPU time in brackets). Memory is counted "
      "at operator new and anonymous mmap.\n");
  std::printf(
      "The floor (`cat`) and the peer (`msiecfexport`) read the content container "
      "alone, as whole processes.\n\n");
  std::printf(
      "| scale | entries | sites | scan (GetSites + ScanCache) | refresh (6 queries, "
      "largest site) | peak memory | texts stored | peak / texts | floor: cat | peer: "
      "msiecfexport | peer / scan |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|---|---|\n");
  for (std::size_t i = 0; i < scales.size(); ++i) {
    const Scale& s = scales[i];
    const TableReporter::Times scan = reporter.Of("Scan/" + std::to_string(i));
    const TableReporter::Times refresh = reporter.Of("Refresh/" + std::to_string(i));
    char ratio[32] = "-";
    if (i == 0 && peerTime > 0 && scan.wall > 0)
      std::snprintf(ratio, sizeof ratio, "%.1fx", peerTime / scan.wall);
    std::printf("| %s | %zu | %zu | %s | %s, %zu items | %s | %s | %.2f | %s | %s | %s |\n",
                s.name.c_str(), s.entries, s.sites, WallCpu(scan).c_str(), WallCpu(refresh).c_str(),
                s.largestSiteItems, Megabytes(static_cast<double>(s.peakBytes)).c_str(),
                Megabytes(static_cast<double>(s.textBytes)).c_str(),
                s.textBytes ? double(s.peakBytes) / double(s.textBytes) : 0.0,
                i == 0 ? Millis(floor).c_str() : "-", i == 0 ? Millis(peerTime).c_str() : "-",
                ratio);
  }
}

void PrintFirstScanAndProcess(const FirstScanResult& first, const Scale& disk,
                              const TableReporter& reporter) {
  std::printf(
      "\nFull containers, first scan in a fresh process (as at start-up; median of %d): "
      "%s (CPU %s), %ld page faults, peak resident set %s.\n",
      kFreshProcessRuns, Millis(first.wall).c_str(), Millis(first.cpu).c_str(), first.pageFaults,
      Megabytes(first.maxRssKb * 1024.0).c_str());
  std::printf("Full containers, `sitelore-report --profile` as a whole process: %s.\n",
              Millis(reporter.Of("ReportProcess").wall).c_str());
  std::printf(
      "Peak memory on disk includes the stand-in's copies of the three files; the "
      "analyzer then holds %s.\n",
      Megabytes(static_cast<double>(disk.heldBytes)).c_str());
}

void PrintGoals(const std::vector<Scale>& scales, const FirstScanResult& first, bool peer,
                const TableReporter& reporter) {
  const double peerTime = reporter.Of("Msiecfexport").wall;
  const TableReporter::Times realScan = reporter.Of("Scan/0");
  const TableReporter::Times smallScan = reporter.Of("Scan/1");
  const TableReporter::Times bigScan = reporter.Of("Scan/2");
  const TableReporter::Times bigRefresh = reporter.Of("Refresh/2");
  const Scale& big = scales[2];
  std::printf("\nGoals (judged on wall-clock medians):\n");
  std::printf(
      "- whole scan of three full containers < 50 ms: %s (%s; first scan in a fresh "
      "process %s)\n",
      Verdict(realScan.wall > 0, realScan.wall < 0.050).c_str(), WallCpu(realScan).c_str(),
      Millis(first.wall).c_str());
  std::printf(
      "- at least 10x faster than msiecfexport on the content container: %s\n",
      !peer ? "peer not installed"
            : Verdict(realScan.wall > 0 && peerTime > 0, peerTime >= 10 * realScan.wall).c_str());
  std::printf("- scan of 1M entries < 0.5 s: %s (%s)\n",
              Verdict(bigScan.wall > 0, bigScan.wall < 0.5).c_str(), WallCpu(bigScan).c_str());
  std::printf("- refresh at 1M entries < 10 ms: %s (%s)\n",
              Verdict(bigRefresh.wall > 0, bigRefresh.wall < 0.010).c_str(),
              WallCpu(bigRefresh).c_str());
  std::printf("- peak memory at 1M < 1.6x the texts stored: %s (%.2fx)\n",
              Verdict(true, 10 * big.peakBytes < 16 * big.textBytes).c_str(),
              double(big.peakBytes) / double(big.textBytes));
  std::printf(
      "- linear growth, scan of 1M / scan of 100k at most about 10: %s (%.1fx wall, "
      "%.1fx CPU)\n",
      Verdict(bigScan.wall > 0 && smallScan.wall > 0, bigScan.wall <= 11 * smallScan.wall).c_str(),
      smallScan.wall > 0 ? bigScan.wall / smallScan.wall : 0.0,
      smallScan.cpu > 0 ? bigScan.cpu / smallScan.cpu : 0.0);
}

// The whole run: writes the full containers to a scratch folder, measures
// memory and first scans, runs the timed benchmarks and prints the tables.
int RunBenchmarks() {
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
  const fs::path self = fs::read_symlink("/proc/self/exe");
  const std::string report = (self.parent_path() / "sitelore-report").string();

  std::vector<std::unique_ptr<fixture::MemoryUrlCache>> memories;
  std::vector<Scale> scales = PrepareScales(profile, memories);
  std::fprintf(stderr, "Measuring memory and first scans in fresh processes...\n");
  for (Scale& scale : scales) MeasureMemory(scale);
  const FirstScanResult first = MeasureFirstScans(self.string(), profile.userFolder);

  ScannedAnalyzers scanned;
  RegisterScaleBenchmarks(scales, scanned);
  const bool peer = OnPath("msiecfexport");
  RegisterProcessBenchmarks(contentFile, report, profile.userFolder, peer);

  TableReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  scanned.clear();
  std::error_code ignored;
  fs::remove_all(scratch, ignored);

  PrintTable(profile, scales, reporter);
  PrintFirstScanAndProcess(first, scales[0], reporter);
  PrintGoals(scales, first, peer, reporter);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--first-scan=", 13) == 0) return FirstScan(argv[i] + 13);
    if (std::strncmp(argv[i], "--write-profile=", 16) == 0) return WriteProfileOnly(argv[i] + 16);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
  return RunBenchmarks();
}
