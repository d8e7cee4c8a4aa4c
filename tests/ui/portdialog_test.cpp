// "Порт прибора…" and the download window's ports: the choice kept in the settings, the check
// that identifies the instrument without downloading, and the automatic search by default.
#include "ui/portdialog.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include "sim/simulator.h"
#include "ui/downloaddialog.h"
#include "windowtest.h"

namespace vkt {
namespace {

const QString kGone = QStringLiteral("/nonexistent-vkt/ttyUSB9");

link::PortInfo port(const QString& name, const QString& description = {}) {
  link::PortInfo p;
  p.name = name;
  p.description = description;
  if (!description.isEmpty()) {
    p.manufacturer = QStringLiteral("FTDI");
    p.vendor_id = 0x0403;
    p.product_id = 0x6001;
  }
  return p;
}

QStringList entries(const PortDialog& dialog) {
  QStringList out;
  const auto* list = dialog.findChild<QListWidget*>(QStringLiteral("PortList"));
  for (int i = 0; list != nullptr && i < list->count(); ++i) {
    out << list->item(i)->text();
  }
  return out;
}

void choose(PortDialog& dialog, int row) {
  dialog.findChild<QListWidget*>(QStringLiteral("PortList"))->setCurrentRow(row);
}

QString label(const QWidget& window, const char* name) {
  const auto* l = window.findChild<QLabel*>(QString::fromLatin1(name));
  return l == nullptr ? QStringLiteral("<missing>") : l->text();
}

class PortDialogTest : public testing::WindowTest {
 protected:
  void SetUp() override {
    make_window({}, false);
    download_ = window_->download_window();
    download_->controller().set_port_lister([this] { return present_; });
    download_->set_polling_delay(5);
  }
  void TearDown() override { window_.reset(); }

  // A download through the main window's download window, as "Создать" and "Дополнить" run it.
  int download() {
    QTimer::singleShot(120000, download_, [this] { download_->QDialog::done(99); });
    return download_->exec();
  }

  std::unique_ptr<PortDialog> port_dialog() {
    auto dialog = std::make_unique<PortDialog>(settings_.get());
    dialog->set_port_lister([this] { return present_; });
    dialog->set_polling_delay(5);
    return dialog;
  }

  std::vector<link::PortInfo> present_;
  DownloadDialog* download_ = nullptr;
};

TEST_F(PortDialogTest, ListsThePortsAndKeepsTheChoiceForTheNextDownload) {
  present_ = {port(QStringLiteral("/dev/ttyS0")), port(kGone, QStringLiteral("FT232R USB UART"))};
  // The menu entry opens the dialog.
  QString opened;
  QTimer::singleShot(0, [&] {
    if (QWidget* modal = QApplication::activeModalWidget()) {
      opened = modal->objectName();
      modal->close();
    }
  });
  testing::command(*window_, "PortSetup1")->trigger();
  EXPECT_EQ(opened, QStringLiteral("PortDialog"));

  auto dialog = port_dialog();
  EXPECT_EQ(entries(*dialog),
            QStringList({"Автоматически", "/dev/ttyS0", kGone + " — FT232R USB UART, FTDI, USB 0403:6001"}));
  // Nothing chosen yet: the automatic search.
  EXPECT_EQ(dialog->choice(), QStringLiteral("auto"));
  choose(*dialog, 1);
  dialog->reject();
  EXPECT_TRUE(settings_->ports().isEmpty());
  choose(*dialog, 2);
  dialog->accept();
  EXPECT_EQ(settings_->ports(), QStringList({kGone}));

  // The next download looks there only; the port is gone, and the message says so at once.
  EXPECT_EQ(download(), QDialog::Rejected);
  EXPECT_EQ(label(*download_, "PortText"), QStringLiteral("Порт: ") + kGone);
  EXPECT_EQ(dialogs_.messages(),
            QStringList({link::not_found_text({{kGone, link::PortFailure::NoSuchPort, {}}})}));

  // Unplugged, the chosen port stays in the list and chosen; "Автоматически" is kept as "auto".
  present_ = {port(QStringLiteral("/dev/ttyS0"))};
  dialog = port_dialog();
  EXPECT_EQ(entries(*dialog), QStringList({"Автоматически", "/dev/ttyS0", kGone + " — нет в системе"}));
  EXPECT_EQ(dialog->choice(), kGone);
  choose(*dialog, 0);
  dialog->accept();
  EXPECT_EQ(settings_->ports(), QStringList({"auto"}));
  EXPECT_EQ(configured_ports(nullptr), QStringList({"auto"}));
}

TEST_F(PortDialogTest, TheWindowSearchesAutomaticallyAndShowsThePortItTries) {
  sim::SimulatorOptions o;
  o.instrument.records = 2;
  sim::Simulator simulator(o);
  const QString instrument = QString::fromStdString(simulator.start());
  present_ = {port(kGone), port(instrument)};
  download_->set_answer_wait(60000);  // the missing port is left at once, not after the wait
  EXPECT_EQ(download(), QDialog::Accepted) << dialogs_.messages().join("; ").toStdString();
  EXPECT_EQ(download_->ports(), QStringList({"auto"}));
  EXPECT_EQ(download_->controller().order(), QStringList({kGone, instrument}));
  EXPECT_EQ(label(*download_, "PortText"), QStringLiteral("Порт: ") + instrument);
  EXPECT_EQ(state_.rec_count, 2);
  EXPECT_EQ(simulator.data_answers(), 1u);
}

TEST_F(PortDialogTest, CheckIdentifiesTheInstrumentWithoutDownloadingOrSaysWhyNot) {
  sim::SimulatorOptions o;
  o.instrument.records = 3;
  sim::Simulator simulator(o);
  const QString instrument = QString::fromStdString(simulator.start());
  present_ = {port(kGone), port(instrument)};
  // The registry under Wine keeps what earlier tests stored: a check stores nothing itself.
  const QStringList stored = settings_->ports();
  auto dialog = port_dialog();
  const auto check = [&](int row) {
    choose(*dialog, row);
    dialog->findChild<QPushButton*>(QStringLiteral("CheckButton"))->click();
    QDeadlineTimer deadline(60000);
    while (dialog->checking() && !deadline.hasExpired()) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    EXPECT_FALSE(dialog->checking());
    return label(*dialog, "CheckResult");
  };
  EXPECT_EQ(check(2),
            QStringLiteral("Прибор найден на порту ") + instrument +
                QStringLiteral("\nТип прибора: ВКТ-РС7\nВерсия ПО: 02.14.05\nКоличество записей: 3"));
  // Identified only: the memory was not asked for, and the program's state is untouched.
  EXPECT_EQ(simulator.requests(), 1u);
  EXPECT_EQ(simulator.data_answers(), 0u);
  EXPECT_EQ(state_.rec_count, 0);

  EXPECT_EQ(check(1), link::not_found_text({{kGone, link::PortFailure::NoSuchPort, {}}}));
  EXPECT_EQ(settings_->ports(), stored);
}

}  // namespace
}  // namespace vkt
