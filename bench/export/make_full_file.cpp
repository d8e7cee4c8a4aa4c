// make_full_file OUT.db [ROWS]: a measurement file of device A rows as a download fills them,
// by default as many as one Excel sheet takes.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "output/export/tableexport.h"
#include "store/dbf/table.h"
#include "store/measurement/measurementfile.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: make_full_file OUT.db [ROWS]\n");
    return 2;
  }
  const unsigned long rows = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : vkt::output::kMaxExportRows;
  try {
    vkt::dbf::Table t;
    vkt::measurement::create_measurement_file(t, argv[1]);
    for (unsigned long n = 1; n <= rows; ++n) {
      const int v = static_cast<int>(n % 997);
      char date[16];
      char time[16];
      std::snprintf(date, sizeof date, "%02d.%02d.20%02d", int(n % 28 + 1), int(n % 12 + 1), int(n % 30));
      std::snprintf(time, sizeof time, "%02d:%02d:%02d", int(n % 24), int(n % 60), int(n * 7 % 60));
      t.append();
      t.set_double("N", static_cast<double>(n % 439 + 1));
      t.set_text("DATE", date);
      t.set_text("TIME", time);
      t.set_text("P5", "Индивидуальная зависимость №3");
      t.set_text("D2", "Пески, супеси");
      t.set_text("P3", "0.3" + std::to_string(n % 10));
      t.set_integer("D9", 40 + v);
      t.set_double("P", 39 + v);
      t.set_double("R", 41 + v);
      t.set_double("T", 40 + v);
      t.set_double("P10", 300 + v);
      t.set_double("P9", 301 + v);
      t.set_double("P2", 299 + v);
      t.set_double("P4", 300 + v);
      t.set_integer("D3", 7000 + v);
      t.set_integer("D4", 7001 + v);
      t.set_integer("D5", 6999 + v);
      t.set_integer("D6", 7000 + v);
      if (n % 50 == 0) {
        t.set_text("COMMENT", "повторное испытание");
      }
      t.post();
    }
    t.close();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
