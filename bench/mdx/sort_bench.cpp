// Sorting a table's rows in memory by a numeric field (P ascending, D9 descending), as `dump
// --sort` and a title click do, at 10,000 to 1,000,000 rows, beside coreutils `LC_ALL=C sort -s -g`
// over the same values written one a line. The table holds just the two fields, in memory, so the
// figures are the sort's own: reading the keys in file order, making them and ordering them.
// Counters: ns_per_row (ours, CPU), coreutils_cpu_s and ratio (ours / coreutils, CPU).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "store/dbf/table.h"
#include "store/mdx/tableindex.h"

namespace {

using vkt::dbf::FieldType;
using vkt::dbf::Table;

struct Sample {
  Table table;
  std::filesystem::path values_p;
  std::filesystem::path values_d9;
};

// Values spread like a site's measurements: many repeats, some decimals.
std::unique_ptr<Sample> make_sample(int rows) {
  auto s = std::make_unique<Sample>();
  s->table.create(std::make_unique<vkt::dbf::MemoryStorage>(),
                  {{"P", FieldType::Numeric, 18, 9}, {"D9", FieldType::Numeric, 9, 0}});
  const auto dir = std::filesystem::temp_directory_path() / "vkt-sort-bench";
  std::filesystem::create_directories(dir);
  s->values_p = dir / ("p" + std::to_string(rows) + ".txt");
  s->values_d9 = dir / ("d9" + std::to_string(rows) + ".txt");
  std::ofstream p(s->values_p);
  std::ofstream d9(s->values_d9);
  std::uint32_t x = 12345;
  for (int i = 0; i < rows; ++i) {
    x = x * 1103515245u + 12345u;
    const double pv = static_cast<double>((x >> 8) % 200000) / 100.0;
    const int dv = static_cast<int>((x >> 4) % 5000);
    s->table.append();
    s->table.set_double("P", pv);
    s->table.set_integer("D9", dv);
    s->table.post();
    p << s->table.read_text("P") << '\n';
    d9 << dv << '\n';
  }
  return s;
}

Sample& sample(int rows) {
  static std::unique_ptr<Sample> samples[3];
  const int slot = rows <= 10'000 ? 0 : rows <= 100'000 ? 1 : 2;
  if (!samples[slot]) {
    samples[slot] = make_sample(rows);
  }
  return *samples[slot];
}

double children_cpu_seconds() {
  rusage u{};
  getrusage(RUSAGE_CHILDREN, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// coreutils over the same values, median CPU of three runs; 0 when sort is not there.
double coreutils_cpu(const std::filesystem::path& values, bool descending) {
  const std::string command = std::string("LC_ALL=C sort -s -g ") + (descending ? "-r " : "") + "'" +
                              values.string() + "' >/dev/null 2>&1";
  double runs[3];
  for (double& r : runs) {
    const double before = children_cpu_seconds();
    if (std::system(command.c_str()) != 0) {
      return 0;
    }
    r = children_cpu_seconds() - before;
  }
  std::sort(std::begin(runs), std::end(runs));
  return runs[1];
}

void BM_SortRows(benchmark::State& state, const char* field, bool descending) {
  const int rows = static_cast<int>(state.range(0));
  Sample& s = sample(rows);
  std::size_t first = 0;
  const std::clock_t start = std::clock();
  for (auto _ : state) {
    const auto order = vkt::mdx::TableIndex::sorted_records(s.table, field, descending);
    first = order.front();
    benchmark::DoNotOptimize(first);
  }
  const double ours = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC /
                      static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
  const double peer = coreutils_cpu(field[0] == 'P' ? s.values_p : s.values_d9, descending);
  state.counters["ns_per_row"] = ours * 1e9 / rows;
  state.counters["coreutils_cpu_s"] = peer;
  state.counters["ratio"] = peer > 0 ? ours / peer : 0;
}

}  // namespace

BENCHMARK_CAPTURE(BM_SortRows, P, "P", false)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Arg(1'000'000)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(BM_SortRows, D9_desc, "D9", true)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Arg(1'000'000)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();
