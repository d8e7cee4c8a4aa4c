#include "ui/rowcommands.h"

#include <QAction>
#include <vector>

#include "core/programstate.h"
#include "output/report/reportdataset.h"
#include "output/report/tablerows.h"
#include "store/measurement/measurementdocument.h"
#include "ui/dialogs.h"
#include "ui/graphcommand.h"
#include "ui/mainactions.h"
#include "ui/measurementgrid.h"
#include "ui/measurementmodel.h"
#include "ui/measurementtabs.h"
#include "ui/objectdialog.h"
#include "ui/programtitle.h"
#include "ui/protocolprint.h"
#include "ui/reportpreview.h"

namespace vkt {

RowCommands::RowCommands(const WindowContext& context, const MainActions& actions, QObject* parent)
    : QObject(parent),
      context_(context),
      graph_(std::make_unique<GraphCommand>(*context.state, *context.dialogs, context.window)) {
  create_report_commands(actions);
}

RowCommands::~RowCommands() = default;

MeasurementGrid* RowCommands::shown_grid() const {
  return context_.document->is_open() ? context_.tabs->visible_grid() : nullptr;
}

// --- column colours and widths ---

void RowCommands::N17Click() {
  MeasurementGrid* grid = shown_grid();
  if (grid == nullptr) {
    return;
  }
  const int column = grid->currentIndex().isValid() ? grid->currentIndex().column() : 0;
  if (const auto color =
          context_.dialogs->color(context_.window, grid->column_color(column).value_or(Qt::white))) {
    grid->set_column_color(column, color);
  }
}

void RowCommands::N18Click() {
  if (MeasurementGrid* grid = shown_grid()) {
    grid->set_column_color(grid->currentIndex().isValid() ? grid->currentIndex().column() : 0, std::nullopt);
  }
}

void RowCommands::N19Click() {
  if (MeasurementGrid* grid = shown_grid()) {
    grid->clear_colors();
  }
}

void RowCommands::N23Click() {
  if (MeasurementGrid* grid = shown_grid()) {
    grid->align_columns();
  }
}

// --- the object and its protocol ---

void RowCommands::ObjectParametersClick() {
  if (!context_.document->is_open()) {
    return;
  }
  ObjectDialog dialog(context_.document->object_parameters(), context_.window);
  if (dialog.exec() != QDialog::Accepted || dialog.parameters() == context_.document->object_parameters()) {
    return;
  }
  try {
    context_.document->set_object_parameters(dialog.parameters());
  } catch (const std::exception& e) {
    context_.show_failure(e);
    return;
  }
  context_.tabs->refresh_evaluation();
}

void RowCommands::ProtocolClick() {
  MeasurementGrid* grid = shown_grid();
  if (grid == nullptr) {
    return;
  }
  if (grid != context_.tabs->grid1()) {
    context_.dialogs->message(context_.window, program_title(),
                              QStringLiteral("Протокол испытания составляется по осциллограммам ВКТ-РС7, "
                                             "а в этом файле измерения ЗРН2-РС7."),
                              Dialogs::Icon::Warning, {Dialogs::Button::Ok});
    return;
  }
  MeasurementModel* model = context_.tabs->model_of(grid);
  std::vector<std::uint32_t> recnos;
  try {
    model->post_pending();
    // The chosen rows (the current one when no others are) in the grid's order; every row when
    // there is no current one either.
    const QList<int> rows = grid->selected_rows();
    if (rows.isEmpty()) {
      recnos = model->recnos();
    }
    for (int row : rows) {
      recnos.push_back(model->recno(row));
    }
    if (recnos.empty()) {
      return;
    }
    show_protocol_preview(context_.window, *context_.document, recnos,
                          context_.document->object_parameters());
  } catch (const std::exception& e) {
    context_.show_failure(e);
  }
}

// --- sorting, deleting and renumbering ---

void RowCommands::N33Click() {
  context_.tabs->clear_sorts();
}

void RowCommands::N21Click() {
  MeasurementGrid* grid = shown_grid();
  if (grid == nullptr) {
    return;
  }
  MeasurementModel* model = context_.tabs->model_of(grid);
  const QList<int> rows = grid->selected_rows();
  if (rows.isEmpty()) {
    return;
  }
  // Deleting packs the file at once and cannot be undone: ask first.
  const auto answer = context_.dialogs->message(
      context_.window, program_title(), QStringLiteral("Удалить выбранные строки (%1)?").arg(rows.size()),
      Dialogs::Icon::Question, {Dialogs::Button::Yes, Dialogs::Button::No});
  if (answer != Dialogs::Button::Yes) {
    return;
  }
  try {
    model->post_pending();
    std::vector<std::uint32_t> recnos;
    for (int row : rows) {
      recnos.push_back(model->recno(row));
    }
    // Both sort tags go with the old rows; the grid's marks with them.
    grid->clear_sort_marks();
    grid->clearSelection();
    context_.document->delete_rows(recnos);
  } catch (const std::exception& e) {
    context_.show_failure(e);
  }
  context_.state->db_modified = false;
  context_.tabs->reload();
  context_.tabs->find_mma();
}

void RowCommands::N37Click() {
  MeasurementGrid* grid = context_.state->db_open ? shown_grid() : nullptr;
  if (grid == nullptr) {
    return;
  }
  MeasurementModel* model = context_.tabs->model_of(grid);
  try {
    model->post_pending();
    // The rows in the order the grid shows them, taken before any number changes: a sort by N
    // would otherwise move rows under the walk.
    context_.document->renumber(model->recnos());
  } catch (const std::exception& e) {
    context_.show_failure(e);
  }
  context_.tabs->reload();
  context_.tabs->find_mma();
}

// --- the graph ---

void RowCommands::Grid1DblClick() {
  GraphRow row;
  MeasurementGrid* grid = context_.tabs->visible_grid();
  row.tab = grid == context_.tabs->grid2() ? GraphRow::Tab::DeviceB : GraphRow::Tab::DeviceA;
  if (grid != nullptr && grid->currentIndex().isValid() && context_.document->is_open()) {
    const MeasurementModel* model = context_.tabs->model_of(grid);
    const int r = grid->currentIndex().row();
    row.file = QString::fromStdU16String(context_.document->path().u16string());
    row.n = model->number(r, "N").value_or(0);
    row.date = model->text(r, "DATE");
    row.time = model->text(r, "TIME");
    row.displacement = {model->number(r, "P9").value_or(0), model->number(r, "P2").value_or(0),
                        model->number(r, "P4").value_or(0)};
    row.force = {model->number(r, "D4").value_or(0), model->number(r, "D5").value_or(0),
                 model->number(r, "D6").value_or(0)};
    row.kept = context_.document->waveforms(model->recno(r));
    // A row with sound waveforms has no damaged record: the key is read again only without them.
    row.kept_damaged = row.kept == nullptr && context_.document->waveforms_damaged(model->recno(r));
  }
  graph_->run(row);
}

// --- printed reports ---

void RowCommands::create_report_commands(const MainActions& actions) {
  ReportServices rs;
  rs.state = context_.state;
  rs.parent = context_.window;
  rs.table_open = [this] { return context_.document->is_open(); };
  rs.visible_tab = [this] {
    const MeasurementGrid* grid = context_.tabs->visible_grid();
    return grid == nullptr ? -1 : (grid == context_.tabs->grid2() ? 1 : 0);
  };
  rs.rows = [this](const std::vector<std::string>& fields) -> std::unique_ptr<report::ReportDataset> {
    // What was typed in a row is printed too.
    context_.tabs->post_pending();
    return std::make_unique<report::MemoryDataset>(
        report::read_table_rows(context_.document->table(), fields));
  };
  rs.printing.dialogs = context_.dialogs;
  rs.printing.pdf_directory = [this] { return context_.work_dir(); };
  rs.printing.source_file = [this] {
    return QString::fromStdU16String(context_.document->path().u16string());
  };
  reports_ = new ReportCommands(std::move(rs), this);
  connect(actions.preview, &QAction::triggered, reports_, &ReportCommands::N8Click);
  connect(actions.print, &QAction::triggered, reports_, &ReportCommands::N9Click);
  connect(actions.pdf, &QAction::triggered, reports_, &ReportCommands::SavePdfClick);
  connect(reports_, &ReportCommands::told, this, &RowCommands::told);
}

}  // namespace vkt
