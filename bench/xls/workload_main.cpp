// xls_workload XLS [CSV]: builds the export's workload, saves it as XLS (and the same cells as
// CSV), and prints the build and save times in seconds.
#include <chrono>
#include <cstdio>
#include <exception>

#include "output/xls/writer.h"
#include "workload.h"

int main(int argc, char** argv) {
  using namespace vkt::xls;
  using Clock = std::chrono::steady_clock;
  if (argc < 2) {
    std::fprintf(stderr, "usage: xls_workload OUT.xls [OUT.csv]\n");
    return 2;
  }
  try {
    if (argc > 2) {
      bench::writeExportCsv(argv[2], bench::kExportRows);
    }
    const auto start = Clock::now();
    XlsWorkbook book;
    bench::buildExportSheet(book, bench::kExportRows);
    const auto built = Clock::now();
    ExcelWriter().Save(book, argv[1]);
    const auto saved = Clock::now();
    std::printf("build %.3f\nsave %.3f\ntotal %.3f\npeak_rss_mb %.1f\n",
                std::chrono::duration<double>(built - start).count(),
                std::chrono::duration<double>(saved - built).count(),
                std::chrono::duration<double>(saved - start).count(), bench::peakMemoryKiB() / 1024.0);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
