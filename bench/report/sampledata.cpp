#include "sampledata.h"

#include <array>
#include <cstdio>
#include <string>

namespace vkt::report {

namespace {

std::string two(int v) {
  std::array<char, 8> buf{};
  std::snprintf(buf.data(), buf.size(), "%02d", v);
  return buf.data();
}

std::string date_of(int i) {
  return two(1 + i % 28) + "." + two(1 + (i / 28) % 12) + ".2023";
}

std::string time_of(int i) {
  return two(8 + (i / 60) % 10) + ":" + two(i % 60) + ":" + two((i * 7) % 60);
}

}  // namespace

MemoryDataset sample_device_a_rows(int count) {
  static const char* const materials[] = {"Песок мелкий", "Щебень фракции 20-40", "Супесь",
                                          "Грунт основания"};
  static const char* const dependencies[] = {"Базовая", "Зависимость 2", "Щебень по ГОСТ"};
  MemoryDataset data;
  for (int i = 0; i < count; ++i) {
    const auto r = data.add_row();
    const double f1 = 120 + (i * 37) % 90 + 0.4;
    const double f2 = 118 + (i * 53) % 95 + 0.6;
    const double f3 = 121 + (i * 29) % 85;
    const double l1 = 300 + (i * 13) % 200;
    const double l2 = 305 + (i * 17) % 190;
    const double l3 = 298 + (i * 19) % 210;
    data.set(r, "N", static_cast<double>(i + 1));
    data.set(r, "DATE", date_of(i));
    data.set(r, "TIME", time_of(i));
    data.set(r, "P5", std::string(dependencies[i % 3]));
    data.set(r, "D2", std::string(materials[i % 4]));
    data.set(r, "P3", std::string("0,3"));
    data.set(r, "D9", static_cast<double>(static_cast<int>((f1 + f2 + f3) / 3)));
    data.set(r, "P", f1);
    data.set(r, "R", f2);
    data.set(r, "T", f3);
    data.set(r, "P10", static_cast<double>(static_cast<int>((l1 + l2 + l3) / 3)));
    data.set(r, "P9", l1);
    data.set(r, "P2", l2);
    data.set(r, "P4", l3);
    data.set(r, "D3", static_cast<double>(6800 + (i * 11) % 300));
    data.set(r, "D4", static_cast<double>(6790 + (i * 7) % 300));
    data.set(r, "D5", static_cast<double>(6810 + (i * 5) % 300));
    data.set(r, "D6", static_cast<double>(6805 + (i * 3) % 300));
  }
  return data;
}

MemoryDataset sample_device_b_rows(int count) {
  MemoryDataset data;
  for (int i = 0; i < count; ++i) {
    const auto r = data.add_row();
    data.set(r, "N", static_cast<double>(i + 1));
    data.set(r, "DATE", date_of(i));
    data.set(r, "TIME", time_of(i));
    data.set(r, "DEV_TYPE", 1.0);
    data.set(r, "SERIAL", 1087.0);
    data.set(r, "NB_TYPE", 1.0);
    data.set(r, "P", 2.5 + (i % 7) * 0.35);
    data.set(r, "R", 1.25 + (i % 5) * 0.1);
    data.set(r, "ZAV", i % 2 == 0 ? std::string("базовая") : std::to_string(1 + i % 4));
    data.set(r, "COMMENT",
             i % 3 == 0 ? std::string("Отрыв по клеевому слою у края плиты, поверхность сухая, "
                                      "температура воздуха плюс восемнадцать градусов")
                        : std::string("Плита ") + std::to_string(i + 1));
  }
  return data;
}

}  // namespace vkt::report
