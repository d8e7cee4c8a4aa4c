#include "output/report/reportlayouts.h"

#include <algorithm>

namespace vkt::report {

namespace {

constexpr double kA4Short = 210.0;
constexpr double kA4Long = 297.0;
constexpr double kNarrowMargin = 6.9;
constexpr double kWideLeftMargin = 20.0;
constexpr double kTitleHeight = 17.7;
constexpr double kHeaderHeight = 16.6;
constexpr double kFooterHeight = 5.5;
constexpr double kFooterWidth = 56.0;

const char* const kPageNumberText = "Стр. [PAGE#] из [TOTALPAGES]";

struct Column {
  double left;
  double width;
  const char* header;
  const char* field;
  ValueFormat format = ValueFormat::AsText;
  const char* number_format = "";
  HAlign row_halign = HAlign::Center;
};

Cell title_cell(double left, double width, const char* text, const char* field) {
  Cell c;
  c.left = left;
  c.width = width;
  c.height = kTitleHeight;
  c.text = text;
  c.field = field;
  c.font = {"Arial", 14, true};
  c.halign = HAlign::Left;
  c.valign = VAlign::Top;
  return c;
}

Cell footer_cell(double left) {
  Cell c;
  c.left = left;
  c.width = kFooterWidth;
  c.height = kFooterHeight;
  c.text = kPageNumberText;
  c.font = {"Arial", 10, false};
  c.halign = HAlign::Right;
  c.valign = VAlign::Middle;
  return c;
}

// Header and row cells of a table of columns.
void add_columns(ReportLayout& layout, const std::vector<Column>& columns, double header_size,
                 double header_top, double row_size, double row_cell_height) {
  for (const Column& col : columns) {
    Cell head;
    head.left = col.left;
    head.top = header_top;
    head.width = col.width;
    head.height = kHeaderHeight;
    head.text = col.header;
    head.font = {"Arial", header_size, true};
    head.frame = Frame::Box;
    layout.page_header.cells.push_back(head);

    Cell cell;
    cell.left = col.left;
    cell.width = col.width;
    cell.height = row_cell_height;
    cell.field = col.field;
    cell.format = col.format;
    cell.number_format = col.number_format;
    cell.font = {"Arial", row_size, false};
    cell.halign = col.row_halign;
    cell.frame = Frame::Box;
    layout.row.cells.push_back(cell);
  }
}

PageSetup portrait() {
  return {kA4Short,      kA4Long,       Orientation::Portrait, kWideLeftMargin,
          kNarrowMargin, kNarrowMargin, kNarrowMargin};
}

ReportLayout make_report1() {
  ReportLayout l;
  l.name = "Report1";
  l.page = {kA4Long,       kA4Short,      Orientation::Landscape, kNarrowMargin,
            kNarrowMargin, kNarrowMargin, kNarrowMargin};
  l.title = {kTitleHeight, {title_cell(6.9, 81.8, "ВКТ-РС7 ", "")}};
  l.page_header.height = kHeaderHeight;
  l.row.height = 11.1;
  l.page_footer = {kFooterHeight, {footer_cell(234.0)}};
  const auto whole = ValueFormat::Number;
  add_columns(l,
              {
                  {6.9, 8.0, "N", "N"},
                  {14.1, 16.6, "Дата", "DATE"},
                  {30.8, 12.8, "Время", "TIME"},
                  {43.5, 25.5, "Зависимость", "P5"},
                  {69.0, 24.4, "Материал", "D2"},
                  {93.4, 7.8, "µ", "P3"},
                  {101.2, 16.6, "Упругость Fср, МН/м.кв", "D9", whole, "0"},
                  {117.8, 16.6, "Упругость F1, МН/м.кв", "P", whole, "0"},
                  {134.4, 16.6, "Упругость F2, МН/м.кв", "R", whole, "0"},
                  {151.1, 16.6, "Упругость F3, МН/м.кв", "T"},
                  {167.7, 17.7, "Перемещение, Lср, мкм.", "P10"},
                  {185.5, 17.7, "Перемещение, L1, мкм.", "P9"},
                  {203.2, 17.7, "Перемещение, L2, мкм.", "P2"},
                  {220.9, 17.7, "Перемещение, L3, мкм.", "P4"},
                  {238.7, 14.4, "Сила удара, Fmax.ср, Н.", "D3"},
                  {253.1, 12.2, "Сила удара, Fmax1, Н.", "D4"},
                  {265.3, 12.2, "Сила удара, Fmax2, Н.", "D5"},
                  {277.5, 12.2, "Сила удара, Fmax3, Н.", "D6"},
              },
              8, 0.0, 8, 11.1);
  return l;
}

ReportLayout make_report2() {
  ReportLayout l;
  l.name = "Report2";
  l.page = portrait();
  l.title = {kTitleHeight, {title_cell(20.0, 92.3, "ЗРН2-РС7  № ", "SERIAL")}};
  l.page_header.height = kHeaderHeight;
  l.row.height = 11.1;
  l.page_footer = {kFooterHeight, {footer_cell(147.2)}};
  const auto two = ValueFormat::Number;
  const auto text = ValueFormat::AsText;
  add_columns(l,
              {
                  {20.0, 16.9, "N", "N"},
                  {36.9, 22.2, "Дата", "DATE"},
                  {59.0, 18.3, "Время", "TIME"},
                  {77.3, 20.0, "P, кН", "P", two, "0.00"},
                  {97.3, 20.0, "R, МПа", "R", two, "0.00"},
                  {117.3, 33.3, "№ зависимости", "ZAV"},
                  {150.5, 52.4, "Примечание", "COMMENT", text, "", HAlign::Left},
              },
              12, 0.0, 10, 11.1);
  return l;
}

ReportLayout make_report3() {
  ReportLayout l;
  l.name = "Report3";
  l.page = portrait();
  l.title = {kTitleHeight, {title_cell(20.0, 81.8, "ЛМФ-РС7  № ", "SERIAL")}};
  l.page_header.height = kHeaderHeight;
  l.row.height = 15.2;
  l.page_footer = {kFooterHeight, {footer_cell(147.2)}};
  const auto two = ValueFormat::Number;
  const auto text = ValueFormat::AsText;
  add_columns(l,
              {
                  {19.7, 16.9, "N", "N"},
                  {36.6, 22.2, "Дата", "DATE"},
                  {58.8, 18.3, "Время", "TIME"},
                  {77.1, 20.8, "P, кН", "P", two, "0.00"},
                  {97.9, 22.2, "R, МПа", "R", two, "0.00"},
                  {120.0, 30.2, "Тип и размер пластины", "TYPE"},
                  {150.3, 52.4, "Примечание", "COMMENT", text, "", HAlign::Left},
              },
              12, 0.3, 10, 14.7);
  return l;
}

}  // namespace

const ReportLayout& report1() {
  static const ReportLayout layout = make_report1();
  return layout;
}

const ReportLayout& report2() {
  static const ReportLayout layout = make_report2();
  return layout;
}

const ReportLayout& report3() {
  static const ReportLayout layout = make_report3();
  return layout;
}

const ReportLayout& layout_of(ReportKind kind) {
  switch (kind) {
    case ReportKind::Report1:
      return report1();
    case ReportKind::Report2:
      return report2();
    case ReportKind::Report3:
      return report3();
  }
  return report1();
}

std::optional<ReportKind> choose_report(bool file_open, bool table_open, int visible_tab,
                                        std::uint8_t device_code) {
  if (!file_open || !table_open) {
    return std::nullopt;
  }
  if (visible_tab == 0) {
    return device_code == kOlderModelCode ? ReportKind::Report3 : ReportKind::Report1;
  }
  if (visible_tab == 1) {
    return ReportKind::Report2;
  }
  return std::nullopt;
}

std::vector<std::string> fields_used(const ReportLayout& layout) {
  std::vector<std::string> out;
  for (const Band* band : {&layout.title, &layout.page_header, &layout.row, &layout.page_footer}) {
    for (const Cell& cell : band->cells) {
      if (!cell.field.empty() && std::find(out.begin(), out.end(), cell.field) == out.end()) {
        out.push_back(cell.field);
      }
    }
  }
  return out;
}

}  // namespace vkt::report
