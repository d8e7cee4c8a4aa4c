#include "ui/downloaddialog.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <utility>

#include "link/serialportdriver.h"

namespace vkt {

namespace {

constexpr int kWidth = 380;
constexpr int kHeight = 250;
// Below the status line, the line of the port being tried; below the bar, its figures.
constexpr int kPortLine = 20;
constexpr int kFiguresLine = 18;

QLabel* label(QWidget* parent, const QString& name, const QString& text, const QRect& where) {
  auto* l = new QLabel(text, parent);
  if (!name.isEmpty()) {
    l->setObjectName(name);
  }
  l->setGeometry(where);
  return l;
}

}  // namespace

DownloadDialog::DownloadDialog(Dialogs& dialogs, ProgramState& state, const QStringList& ports,
                               QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      dialogs_(dialogs),
      controller_(state, ports, this) {
  setObjectName(QStringLiteral("TForm2"));
  setWindowTitle(QStringLiteral("Прием данных"));
  setModal(true);
  setFixedSize(kWidth, kHeight);

  status_ = label(this, QStringLiteral("StaticText2"), QString(), QRect(8, 10, kWidth - 16, 20));
  QFont bold = status_->font();
  bold.setBold(true);
  status_->setFont(bold);
  status_->setAlignment(Qt::AlignCenter);
  port_ = label(this, QStringLiteral("PortText"), QString(), QRect(8, 32, kWidth - 16, 18));
  port_->setAlignment(Qt::AlignCenter);

  progress_ = new QProgressBar(this);
  progress_->setObjectName(QStringLiteral("ProgressBar1"));
  progress_->setGeometry(8, 38 + kPortLine, kWidth - 16, 18);
  progress_->setTextVisible(false);
  progress_->setRange(0, 100);
  progress_->setValue(0);
  figures_ =
      label(this, QStringLiteral("ProgressText"), QString(), QRect(8, 58 + kPortLine, kWidth - 16, 16));
  figures_->setAlignment(Qt::AlignCenter);

  auto* group = new QGroupBox(QStringLiteral("Информация"), this);
  group->setObjectName(QStringLiteral("GroupBox1"));
  group->setGeometry(8, 64 + kPortLine + kFiguresLine, kWidth - 16, 100);
  label(group, {}, QStringLiteral("Тип прибора:"), QRect(12, 22, 150, 20));
  label(group, {}, QStringLiteral("Версия ПО:"), QRect(12, 46, 150, 20));
  label(group, {}, QStringLiteral("Количество записей:"), QRect(12, 70, 150, 20));
  device_type_ = label(group, QStringLiteral("StaticText5"), QString(), QRect(166, 22, 180, 20));
  version_ = label(group, QStringLiteral("StaticText1"), QString(), QRect(166, 46, 180, 20));
  records_ = label(group, QStringLiteral("StaticText7"), QString(), QRect(166, 70, 180, 20));

  cancel_ = new QPushButton(QStringLiteral("Отмена"), this);
  cancel_->setObjectName(QStringLiteral("Button1"));
  cancel_->setGeometry((kWidth - 90) / 2, 174 + kPortLine + kFiguresLine, 90, 28);
  connect(cancel_, &QPushButton::clicked, this, &DownloadDialog::Button1Click);

  controller_.OnShow = [this](const link::Effect& e) { show_effect(e); };
  controller_.OnFinished = [this](link::Result r) {
    done(r == link::Result::Ok ? QDialog::Accepted : QDialog::Rejected);
  };
}

QStringList DownloadDialog::default_ports() {
  return link::default_serial_ports();
}

void DownloadDialog::set_ports(const QStringList& ports) {
  controller_.SetPorts(ports);
}

void DownloadDialog::set_port_source(std::function<QStringList()> source) {
  port_source_ = std::move(source);
}

void DownloadDialog::set_polling_delay(std::uint16_t ms) {
  controller_.SerialPort1().SetPollingDelay(ms);
}

void DownloadDialog::set_answer_wait(unsigned ms) {
  controller_.Session().set_answer_wait_ms(ms);
}

void DownloadDialog::showEvent(QShowEvent* event) {
  move(screen()->availableGeometry().center() - rect().center());
  QDialog::showEvent(event);
  if (port_source_) {
    controller_.SetPorts(port_source_());
    controller_.set_search(true);
  }
  port_->clear();
  figures_->clear();
  clock_.invalidate();
  // Each showing starts a new exchange, from the window's own event loop: a search that ends at
  // once (a named port that is not there) closes the window as any other way out does.
  QMetaObject::invokeMethod(
      this,
      [this] {
        if (isVisible()) {
          controller_.Start();
        }
      },
      Qt::QueuedConnection);
}

void DownloadDialog::show_effect(const link::Effect& e) {
  const QString text = QString::fromStdString(e.text);
  switch (e.kind) {
    case link::Effect::Kind::Status:
      status_->setText(text);
      break;
    case link::Effect::Kind::DeviceType:
      device_type_->setText(text);
      break;
    case link::Effect::Kind::Version:
      version_->setText(text);
      break;
    case link::Effect::Kind::RecordCount:
      records_->setText(text);
      break;
    case link::Effect::Kind::ProgressMaximum:
      progress_->setMaximum(static_cast<int>(e.value));
      clock_.start();
      figures_->clear();
      break;
    case link::Effect::Kind::ProgressPosition:
      progress_->setValue(std::min(static_cast<int>(e.value), progress_->maximum()));
      // Percent, characters, rate and time left, as the command line shows them.
      if (clock_.isValid()) {
        figures_->setText(
            link::progress_text(e.value, std::uint32_t(progress_->maximum()), clock_.elapsed()));
      }
      break;
    case link::Effect::Kind::TryingPort:
      port_->setText(QStringLiteral("Порт: ") + text);
      break;
    case link::Effect::Kind::ErrorBox:
      dialogs_.message(this, QString::fromStdString(e.caption), text, Dialogs::Icon::Error,
                       {Dialogs::Button::Ok});
      break;
    default:
      break;
  }
}

void DownloadDialog::Button1Click() {
  const auto phase = controller_.Session().phase();
  if (phase == link::DownloadSession::Phase::Idle || phase == link::DownloadSession::Phase::Finished) {
    QDialog::done(QDialog::Rejected);
    return;
  }
  controller_.Cancel();
}

void DownloadDialog::reject() {
  // Escape works as "Отмена": the port must be closed on the way out.
  Button1Click();
}

void DownloadDialog::closeEvent(QCloseEvent* event) {
  // The window has no close box; a close from outside works as "Отмена".
  event->ignore();
  Button1Click();
}

void DownloadDialog::done(int result) {
  controller_.Close();
  QDialog::done(result);
}

}  // namespace vkt
