#include "workload.h"

#include <cstdio>
#include <fstream>

#ifndef _WIN32
#include <sys/resource.h>
#endif

namespace vkt::xls::bench {

namespace {

const char* const kMaterials[] = {"Песок мелкозернистый", "Щебень фракции 20-40", "Суглинок тяжёлый",
                                  "Гравийно-песчаная смесь"};

struct Row {
  char date[16];
  char time[16];
  const char* dependency;
  const char* material;
  char mu[8];
  char comment[32];
  double numbers[13];
};

Row makeRow(int r) {
  Row row{};
  std::snprintf(row.date, sizeof row.date, "%02d.%02d.%04d", r % 28 + 1, r % 12 + 1, 2000 + r % 25);
  std::snprintf(row.time, sizeof row.time, "%02d:%02d:%02d", r % 24, r % 60, (r * 7) % 60);
  row.dependency = r % 3 == 0 ? "Linear" : "Table";
  row.material = kMaterials[r % 4];
  std::snprintf(row.mu, sizeof row.mu, "0.%02d", r % 50);
  std::snprintf(row.comment, sizeof row.comment, "note %d", r);
  row.numbers[0] = r + 1;         // N
  row.numbers[1] = 80 + r % 120;  // mean modulus, an integer
  for (int i = 2; i < 9; ++i) {
    row.numbers[i] = 50.0 + (r % 997) * 0.125 + i;
  }
  for (int i = 9; i < 13; ++i) {
    row.numbers[i] = 7000 + (r * 13 + i) % 3000;  // forces, integers
  }
  return row;
}

}  // namespace

void buildExportSheet(XlsWorkbook& book, int rows) {
  XlsWorksheet& sheet = book.AddSheet();
  sheet.Name("ВКТ-РС7");
  for (int r = 0; r < rows; ++r) {
    const Row row = makeRow(r);
    sheet.Cells(0, r, 0, r).Value(row.numbers[0]);
    sheet.Cells(1, r, 1, r).Value(row.date);
    sheet.Cells(2, r, 2, r).Value(row.time);
    sheet.Cells(3, r, 3, r).Value(row.dependency);
    sheet.Cells(4, r, 4, r).Value(row.material);
    sheet.Cells(5, r, 5, r).Value(row.mu);
    sheet.Cells(6, r, 6, r).Value(static_cast<std::int32_t>(row.numbers[1]));
    for (int c = 7; c < 14; ++c) {
      sheet.Cells(c, r, c, r).Value(row.numbers[c - 5]);
    }
    for (int c = 14; c < 18; ++c) {
      sheet.Cells(c, r, c, r).Value(static_cast<std::int32_t>(row.numbers[c - 5]));
    }
    sheet.Cells(18, r, 18, r).Value(row.comment);
  }
}

void writeExportCsv(const std::string& path, int rows) {
  std::ofstream out(path, std::ios::binary);
  char line[512];
  for (int r = 0; r < rows; ++r) {
    const Row row = makeRow(r);
    int n = std::snprintf(line, sizeof line, "%.17g,%s,%s,%s,%s,%s,%.17g", row.numbers[0], row.date, row.time,
                          row.dependency, row.material, row.mu, row.numbers[1]);
    out.write(line, n);
    for (int i = 2; i < 13; ++i) {
      n = std::snprintf(line, sizeof line, ",%.17g", row.numbers[i]);
      out.write(line, n);
    }
    n = std::snprintf(line, sizeof line, ",%s\n", row.comment);
    out.write(line, n);
  }
}

long peakMemoryKiB() {
#ifndef _WIN32
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
#else
  return 0;
#endif
}

}  // namespace vkt::xls::bench
