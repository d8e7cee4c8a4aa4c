#include "ui/measurementtabs.h"

#include <QItemSelectionModel>
#include <QVBoxLayout>
#include <cmath>

#include "store/appsettings.h"
#include "store/columnlayout.h"
#include "store/gridcolumns.h"
#include "store/measurement/measurementdocument.h"
#include "ui/failuretext.h"
#include "ui/measurementgrid.h"
#include "ui/measurementmodel.h"

namespace vkt {

MeasurementTabs::MeasurementTabs(measurement::MeasurementDocument& document, QChar decimal_point,
                                 QWidget* parent)
    : QTabWidget(parent), document_(document), decimal_point_(decimal_point) {
  setObjectName(QStringLiteral("PageControl1"));
  grid1_ = make_tab(QStringLiteral("TabSheet1"), QStringLiteral("ВКТ-РС7"), int(DeviceKind::A));
  grid2_ = make_tab(QStringLiteral("TabSheet2"), QStringLiteral("ЗРН2-РС7"), int(DeviceKind::B));
  model1_ = static_cast<MeasurementModel*>(grid1_->model());
  model2_ = static_cast<MeasurementModel*>(grid2_->model());
  connect_grid(grid1_);
  connect_grid(grid2_);
  connect(grid1_, &QAbstractItemView::doubleClicked, this, &MeasurementTabs::grid1_double_clicked);
  connect(this, &QTabWidget::currentChanged, this, [this](int index) {
    if (isHidden() || !document_.is_open()) {
      return;
    }
    if (index == 0) {
      show_rows(model1_, model2_, "NB_TYPE=0");
    } else if (index == 1) {
      show_rows(model2_, model1_, "NB_TYPE=1");
    }
  });
}

MeasurementGrid* MeasurementTabs::make_tab(const QString& tab_name, const QString& caption, int kind) {
  auto* sheet = new QWidget(this);
  sheet->setObjectName(tab_name);
  auto* grid = new MeasurementGrid(DeviceKind(kind), sheet);
  auto* model = new MeasurementModel(DeviceKind(kind), grid);
  model->set_decimal_point(decimal_point_);
  grid->setModel(model);
  grid->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(grid, &QWidget::customContextMenuRequested, this, [this, grid](const QPoint& pos) {
    emit context_menu_requested(grid->viewport()->mapToGlobal(pos));
  });
  auto* layout = new QVBoxLayout(sheet);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(grid);
  addTab(sheet, caption);
  return grid;
}

void MeasurementTabs::connect_grid(MeasurementGrid* grid) {
  MeasurementModel* model = model_of(grid);
  connect(grid->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this, grid] { update_footers(grid); });
  connect(grid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this, grid, model](const QModelIndex&, const QModelIndex&) {
            // Leaving a row writes what was typed in it.
            try {
              model->post_pending();
            } catch (const std::exception& e) {
              fail(e);
            }
            update_footers(grid);
          });
  connect(grid, &MeasurementGrid::edit_started, this, &MeasurementTabs::edit_started);
  connect(grid, &MeasurementGrid::title_clicked, this,
          [this, grid](int column, bool ctrl) { title_clicked(grid, column, ctrl); });
  connect(model, &MeasurementModel::edit_refused, this, &MeasurementTabs::edit_refused);
  connect(model, &QAbstractItemModel::modelReset, this, [this, grid] { update_footers(grid); });
}

MeasurementModel* MeasurementTabs::model_of(const MeasurementGrid* grid) const {
  return grid == grid1_ ? model1_ : model2_;
}

MeasurementGrid* MeasurementTabs::visible_grid() const {
  if (isHidden() || !document_.is_open()) {
    return nullptr;
  }
  return currentIndex() == 1 ? grid2_ : grid1_;
}

void MeasurementTabs::fail(const std::exception& error, const QString& doing) const {
  if (fail_) {
    fail_(doing.isEmpty() ? failure_text(error) : doing + QStringLiteral(": ") + failure_text(error));
  }
}

// --- showing the rows ---

void MeasurementTabs::show_file() {
  if (!document_.is_open()) {
    return;
  }
  document_.set_filter("NB_TYPE=1");
  const bool device_b = !document_.rows().empty();
  setTabVisible(0, !device_b);
  setTabVisible(1, device_b);
  {
    const QSignalBlocker quiet(this);
    setCurrentIndex(device_b ? 1 : 0);
  }
  show();
  if (device_b) {
    show_rows(model2_, model1_, "NB_TYPE=1");
  } else {
    show_rows(model1_, model2_, "NB_TYPE=0");
  }
  update();
}

void MeasurementTabs::hide_file() {
  detach();
  hide();
}

void MeasurementTabs::show_rows(MeasurementModel* shown, MeasurementModel* hidden, const char* filter) {
  hidden->attach(nullptr);
  document_.set_filter(filter);
  shown->attach(&document_);
  if (shown == model1_) {
    refresh_evaluation();
  }
}

void MeasurementTabs::refresh_evaluation() {
  if (!document_.is_open()) {
    return;
  }
  const std::optional<double> required = document_.object_parameters().required_modulus;
  model1_->set_required_modulus(required);
  grid1_->show_evaluation(required.has_value() || document_.has_waveforms());
  update_footers(grid1_);
}

void MeasurementTabs::post_pending() {
  model1_->post_pending();
  model2_->post_pending();
}

void MeasurementTabs::drop_pending() {
  model1_->drop_pending();
  model2_->drop_pending();
}

void MeasurementTabs::detach() {
  model1_->attach(nullptr);
  model2_->attach(nullptr);
}

void MeasurementTabs::reload() {
  for (MeasurementModel* model : {model1_, model2_}) {
    if (model->document() != nullptr) {
      model->reload();
    }
  }
  if (model1_->document() != nullptr) {
    refresh_evaluation();  // an append may have brought the first waveforms
  }
}

// --- sorting ---

QString MeasurementTabs::sort_tag(const MeasurementGrid* grid, const MeasurementGrid* grid1) {
  return grid == grid1 ? QStringLiteral("tab1") : QStringLiteral("tab2");
}

void MeasurementTabs::title_clicked(MeasurementGrid* grid, int column, bool ctrl) {
  if (is_evaluation_column(window_columns(grid->kind())[std::size_t(column)].field)) {
    return;  // worked out, not stored: the file has nothing to sort them by
  }
  // Up runs from the largest value down.
  SortMark mark = SortMark::None;
  if (!ctrl) {
    mark = grid->sort_mark(column) == SortMark::Up ? SortMark::Down : SortMark::Up;
  }
  if (mark == grid->sort_mark(column)) {
    return;
  }
  grid->set_sort_mark(column, mark);
  sort(grid, column);
}

void MeasurementTabs::sort(MeasurementGrid* grid, int column) {
  if (!document_.is_open()) {
    return;
  }
  MeasurementModel* model = model_of(grid);
  const SortMark mark = grid->sort_mark(column);
  if (mark == SortMark::None) {
    try {
      model->post_pending();
    } catch (const std::exception& e) {
      fail(e);
    }
    clear_sort(grid);
    return;
  }
  try {
    model->post_pending();
    const auto& field = window_columns(grid->kind())[std::size_t(column)].field;
    document_.sort(sort_tag(grid, grid1_).toStdString(), field, mark == SortMark::Up);
  } catch (const std::exception& e) {
    // Named as the user sees the column, not as the file names its field.
    const QString title = model->headerData(column, Qt::Horizontal).toString().simplified();
    fail(e, QStringLiteral("Строки не отсортированы по столбцу «%1»").arg(title));
  }
  model->reload();
}

void MeasurementTabs::clear_sort(MeasurementGrid* grid) {
  grid->clear_sort_marks();
  if (!document_.is_open()) {
    return;
  }
  try {
    document_.clear_sort(sort_tag(grid, grid1_).toStdString());
  } catch (const std::exception& e) {
    fail(e);
  }
  model_of(grid)->reload();
}

void MeasurementTabs::clear_sorts() {
  clear_sort(grid2_);
  clear_sort(grid1_);
}

// --- statistics ---

void MeasurementTabs::find_mma() {
  MeasurementGrid* grid = visible_grid();
  statistics_ = {};
  if (grid != nullptr) {
    const MeasurementModel* model = model_of(grid);
    std::vector<PRValues> rows;
    rows.reserve(std::size_t(model->rowCount()));
    for (int row = 0; row < model->rowCount(); ++row) {
      rows.push_back(model->pr_values(row));
    }
    statistics_ = statistics_of(rows);
  }
  update_footers(grid1_);
  update_footers(grid2_);
}

QString MeasurementTabs::passing_text(const MeasurementModel& model, const QList<int>& rows) {
  std::size_t judged = 0;
  std::size_t passing = 0;
  const auto count = [&](int row) {
    const measurement::Verdict v = model.verdict(row);
    judged += v != measurement::Verdict::None ? 1 : 0;
    passing += v == measurement::Verdict::Passes ? 1 : 0;
  };
  if (rows.isEmpty()) {
    for (int row = 0; row < model.rowCount(); ++row) {
      count(row);
    }
  } else {
    for (int row : rows) {
      count(row);
    }
  }
  if (judged == 0) {
    return {};
  }
  const long percent = std::lround(100.0 * double(passing) / double(judged));
  return QStringLiteral("%1 из %2 (%3 %)").arg(passing).arg(judged).arg(percent);
}

void MeasurementTabs::update_footers(MeasurementGrid* grid) {
  const MeasurementModel* model = model_of(grid);
  QStringList footers(model->columnCount());
  if (model->document() != nullptr) {
    const QList<int> selected = grid->selected_rows();
    GridStatistics s = statistics_;
    if (selected.size() > 1) {
      std::vector<PRValues> rows;
      for (int row : selected) {
        rows.push_back(model->pr_values(row));
      }
      s = statistics_of(rows);
    }
    const char point = decimal_point_.toLatin1();
    footers[grid->column_of("P")] = QString::fromStdString(footer_text(s.p_min, s.p_avg, s.p_max, point));
    footers[grid->column_of("R")] = QString::fromStdString(footer_text(s.r_min, s.r_avg, s.r_max, point));
    footers[grid->column_of("N")] = QString::number(model->rowCount());
    if (const int verdicts = grid->column_of(kVerdictColumn); verdicts >= 0 && model->required_modulus()) {
      footers[verdicts] = passing_text(*model, selected.size() > 1 ? selected : QList<int>());
    }
  }
  grid->footer()->set_texts(footers);
}

// --- column layouts ---

void MeasurementTabs::load_layouts(AppSettings* settings) {
  load_layout(settings, QStringLiteral("Table_1"), grid1_);
  load_layout(settings, QStringLiteral("Table_2"), grid2_);
}

void MeasurementTabs::load_layout(AppSettings* settings, const QString& name, MeasurementGrid* grid) {
  if (settings == nullptr) {
    return;
  }
  if (const auto text = settings->table_layout(name)) {
    grid->apply_layout(layout_from_text(*text));
    return;
  }
  grid->align_columns();
  settings->set_table_layout(name, layout_to_text(grid->layout()));
}

void MeasurementTabs::store_layout(AppSettings* settings) {
  // Only the device A grid's layout is kept when a file closes.
  if (settings != nullptr) {
    settings->set_table_layout(QStringLiteral("Table_1"), layout_to_text(grid1_->layout()));
  }
}

}  // namespace vkt
