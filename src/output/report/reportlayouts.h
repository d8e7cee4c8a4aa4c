#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "output/report/reportlayout.h"

namespace vkt::report {

// The three fixed layouts of the program.
enum class ReportKind {
  Report1,  // device A table, A4 landscape
  Report2,  // device B table, A4 portrait, titled with the instrument's serial number
  Report3,  // the older model's table, A4 portrait, with the plate type column
};

const ReportLayout& report1();
const ReportLayout& report2();
const ReportLayout& report3();
const ReportLayout& layout_of(ReportKind kind);

// The instrument code of the older model, whose device A rows print with Report3.
inline constexpr std::uint8_t kOlderModelCode = 13;

// Which layout prints the visible tab (0: device A, 1: device B); nothing without an open file
// and table or with no tab shown.
std::optional<ReportKind> choose_report(bool file_open, bool table_open, int visible_tab,
                                        std::uint8_t device_code);

// The field names a layout's cells read, each once, in the order they first appear.
std::vector<std::string> fields_used(const ReportLayout& layout);

}  // namespace vkt::report
