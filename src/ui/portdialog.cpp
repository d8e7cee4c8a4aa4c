#include "ui/portdialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <utility>

#include "store/appsettings.h"
#include "ui/programtitle.h"

namespace vkt {

namespace {

QString automatic() {
  return QString::fromLatin1(link::kAutomaticPort);
}

QListWidgetItem* add_entry(QListWidget* list, const QString& text, const QString& port) {
  auto* item = new QListWidgetItem(text, list);
  item->setData(Qt::UserRole, port);
  item->setToolTip(text);  // a long description shows whole
  return item;
}

}  // namespace

QStringList configured_ports(const AppSettings* settings) {
  const QStringList ports = settings == nullptr ? QStringList() : settings->ports();
  return ports.isEmpty() ? QStringList{automatic()} : ports;
}

PortDialog::PortDialog(AppSettings* settings, QWidget* parent)
    : QDialog(parent), settings_(settings), controller_(state_, {automatic()}, this) {
  setObjectName(QStringLiteral("PortDialog"));
  setWindowTitle(QStringLiteral("Порт прибора"));
  setFont(program_font());
  setModal(true);

  const QString first = configured_ports(settings_).front();
  stored_ = link::is_automatic_port(first) ? automatic() : first;

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(QStringLiteral("Порт, на котором искать прибор:"), this));
  list_ = new QListWidget(this);
  list_->setObjectName(QStringLiteral("PortList"));
  list_->setMinimumSize(460, 160);
  layout->addWidget(list_);

  auto* row = new QHBoxLayout;
  refresh_ = new QPushButton(QStringLiteral("Обновить"), this);
  refresh_->setObjectName(QStringLiteral("RefreshButton"));
  check_ = new QPushButton(QStringLiteral("Проверить"), this);
  check_->setObjectName(QStringLiteral("CheckButton"));
  row->addWidget(refresh_);
  row->addWidget(check_);
  row->addStretch();
  layout->addLayout(row);

  result_ = new QLabel(this);
  result_->setObjectName(QStringLiteral("CheckResult"));
  result_->setWordWrap(true);
  result_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  result_->setMinimumHeight(80);
  result_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  layout->addWidget(result_);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
  buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
  layout->addWidget(buttons);

  connect(refresh_, &QPushButton::clicked, this, &PortDialog::refresh);
  connect(check_, &QPushButton::clicked, this, &PortDialog::check);
  connect(buttons, &QDialogButtonBox::accepted, this, &PortDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &PortDialog::reject);

  controller_.set_identify_only(true);
  controller_.set_port_lister(lister_);
  controller_.OnShow = [this](const link::Effect& e) { show_effect(e); };
  controller_.OnFinished = [this](link::Result r) { check_finished(r); };

  refresh();
}

void PortDialog::set_port_lister(link::PortLister lister) {
  lister_ = std::move(lister);
  controller_.set_port_lister(lister_);
  refresh();
}

void PortDialog::set_polling_delay(std::uint16_t ms) {
  controller_.SerialPort1().SetPollingDelay(ms);
}

void PortDialog::set_answer_wait(unsigned ms) {
  controller_.Session().set_answer_wait_ms(ms);
}

QString PortDialog::choice() const {
  const QListWidgetItem* item = list_->currentItem();
  return item == nullptr ? automatic() : item->data(Qt::UserRole).toString();
}

void PortDialog::refresh() {
  const QString chosen = list_->currentItem() == nullptr ? stored_ : choice();
  list_->clear();
  add_entry(list_, QStringLiteral("Автоматически"), automatic());
  QStringList listed;
  for (const link::PortInfo& p : lister_()) {
    const QString description = link::port_description(p);
    add_entry(list_, description.isEmpty() ? p.name : p.name + QStringLiteral(" — ") + description, p.name);
    listed << p.name;
  }
  // The chosen port stays in the list while its cable is unplugged.
  if (!link::is_automatic_port(chosen) && !listed.contains(chosen)) {
    add_entry(list_, chosen + QStringLiteral(" — нет в системе"), chosen);
  }
  select(chosen);
}

void PortDialog::select(const QString& port) {
  for (int i = 0; i < list_->count(); ++i) {
    if (list_->item(i)->data(Qt::UserRole).toString() == port) {
      list_->setCurrentRow(i);
      return;
    }
  }
  list_->setCurrentRow(0);
}

void PortDialog::check() {
  if (checking_) {
    return;
  }
  checking_ = true;
  device_type_.clear();
  version_.clear();
  records_.clear();
  failure_.clear();
  check_->setEnabled(false);
  refresh_->setEnabled(false);
  list_->setEnabled(false);
  result_->setText(QStringLiteral("Поиск прибора…"));
  controller_.SetPorts({choice()});
  // Each port is tried by itself: a missing one is left at once, each failure with its reason.
  controller_.set_search(true);
  controller_.Start();
}

void PortDialog::show_effect(const link::Effect& e) {
  const QString text = QString::fromStdString(e.text);
  switch (e.kind) {
    case link::Effect::Kind::TryingPort:
      result_->setText(QStringLiteral("Поиск прибора: порт %1…").arg(text));
      break;
    case link::Effect::Kind::DeviceType:
      device_type_ = text;
      break;
    case link::Effect::Kind::Version:
      version_ = text;
      break;
    case link::Effect::Kind::RecordCount:
      records_ = text.trimmed();
      break;
    case link::Effect::Kind::ErrorBox:
      failure_ = text;
      break;
    default:
      break;
  }
}

void PortDialog::check_finished(link::Result result) {
  checking_ = false;
  controller_.Close();
  check_->setEnabled(true);
  refresh_->setEnabled(true);
  list_->setEnabled(true);
  if (result == link::Result::Ok) {
    result_->setText(QStringLiteral("Прибор найден на порту %1\nТип прибора: %2\nВерсия ПО: %3\n"
                                    "Количество записей: %4")
                         .arg(controller_.answered_port(), device_type_, version_, records_));
  } else if (!failure_.isEmpty()) {
    result_->setText(failure_);
  } else {
    result_->setText(QStringLiteral("Проверка прервана."));
  }
}

void PortDialog::stop_check() {
  if (checking_) {
    controller_.Cancel();
  }
}

void PortDialog::accept() {
  stop_check();
  const QString chosen = choice();
  // A list the user wrote into the settings by hand stays as it is unless another port is chosen.
  if (settings_ != nullptr && chosen != stored_) {
    settings_->set_ports({chosen});
    settings_->sync();
    stored_ = chosen;
  }
  QDialog::accept();
}

void PortDialog::reject() {
  stop_check();
  QDialog::reject();
}

void show_port_dialog(AppSettings* settings, QWidget* parent) {
  PortDialog dialog(settings, parent);
  dialog.exec();
}

}  // namespace vkt
