#include "ui/downloaddialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include "scripteddialogs.h"
#include "sim/simulator.h"

namespace vkt {
namespace {

class DownloadDialogTest : public ::testing::Test {
 protected:
  // Shows the window modally; `while_shown` runs on every event loop turn until it returns true.
  int run(DownloadDialog& dialog, std::function<bool()> while_shown = {}) {
    QTimer watcher;
    if (while_shown) {
      QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (dialog.isVisible() && while_shown()) {
          watcher.stop();
        }
      });
      watcher.start(5);
    }
    // A download that never ends fails the test instead of hanging it.
    QTimer::singleShot(240000, &dialog, [&] { dialog.QDialog::done(99); });
    return dialog.exec();
  }

  QString text(DownloadDialog& dialog, const char* name) {
    auto* label = dialog.findChild<QLabel*>(QString::fromLatin1(name));
    return label == nullptr ? QStringLiteral("<missing>") : label->text();
  }

  ProgramState state;
  testing::ScriptedDialogs dialogs;
};

TEST_F(DownloadDialogTest, LooksAsTheUserKnowsIt) {
  DownloadDialog dialog(dialogs, state, {QStringLiteral("/dev/a")});
  EXPECT_EQ(dialog.objectName(), QStringLiteral("TForm2"));
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Прием данных"));
  EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
  EXPECT_FALSE(dialog.windowFlags().testFlag(Qt::WindowCloseButtonHint));
  auto* group = dialog.findChild<QGroupBox*>();
  ASSERT_NE(group, nullptr);
  EXPECT_EQ(group->title(), QStringLiteral("Информация"));
  QStringList captions;
  for (auto* l : group->findChildren<QLabel*>()) {
    captions << l->text();
  }
  EXPECT_TRUE(captions.contains(QStringLiteral("Тип прибора:")));
  EXPECT_TRUE(captions.contains(QStringLiteral("Версия ПО:")));
  EXPECT_TRUE(captions.contains(QStringLiteral("Количество записей:")));
  for (const char* name : {"StaticText1", "StaticText2", "StaticText5", "StaticText7"}) {
    EXPECT_NE(dialog.findChild<QLabel*>(QString::fromLatin1(name)), nullptr) << name;
  }
  EXPECT_TRUE(dialog.findChild<QLabel*>(QStringLiteral("StaticText2"))->font().bold());
  auto* cancel = dialog.findChild<QPushButton*>(QStringLiteral("Button1"));
  ASSERT_NE(cancel, nullptr);
  EXPECT_EQ(cancel->text(), QStringLiteral("Отмена"));
  EXPECT_NE(dialog.findChild<QProgressBar*>(QStringLiteral("ProgressBar1")), nullptr);
  EXPECT_NE(dialog.findChild<QTimer*>(QStringLiteral("Timer1")), nullptr);
  EXPECT_NE(dialog.findChild<link::SerialPortDriver*>(QStringLiteral("SerialPort1")), nullptr);
#ifdef Q_OS_WIN
  EXPECT_EQ(DownloadDialog::default_ports(), (QStringList{"\\\\.\\COM1", "\\\\.\\COM2"}));
#else
  EXPECT_EQ(DownloadDialog::default_ports(), (QStringList{"/dev/ttyS0", "/dev/ttyS1"}));
#endif
}

TEST_F(DownloadDialogTest, DownloadFromTheSimulator) {
  sim::SimulatorOptions o;
  o.instrument.records = 3;
  sim::Simulator simulator(o);
  DownloadDialog dialog(dialogs, state, {QString::fromStdString(simulator.start())});
  dialog.set_polling_delay(5);
  EXPECT_EQ(run(dialog), QDialog::Accepted);
  EXPECT_TRUE(dialogs.shown.isEmpty());
  EXPECT_EQ(text(dialog, "StaticText5"), QStringLiteral("ВКТ-РС7"));
  EXPECT_EQ(text(dialog, "StaticText1"), QStringLiteral("02.14.05"));
  EXPECT_EQ(text(dialog, "StaticText7"), QStringLiteral(" 3"));
  EXPECT_EQ(text(dialog, "StaticText2"),
            QStringLiteral("Данные приняты, прибор можно отключить! Обработка данных"));
  auto* bar = dialog.findChild<QProgressBar*>(QStringLiteral("ProgressBar1"));
  EXPECT_EQ(bar->maximum(), 73656);
  EXPECT_EQ(bar->value(), bar->maximum());
  // The bar's figures, as the command line prints them.
  EXPECT_TRUE(text(dialog, "ProgressText").startsWith(QStringLiteral("100%  73656 из 73656 симв.")))
      << text(dialog, "ProgressText").toStdString();
  EXPECT_EQ(state.rec_count, 3);
  EXPECT_EQ(state.image_length, simulator.instrument().image().size() + 4);
  EXPECT_FALSE(dialog.controller().SerialPort1().IsOpen());
  EXPECT_FALSE(dialog.findChild<QTimer*>(QStringLiteral("Timer1"))->isActive());
}

TEST_F(DownloadDialogTest, NoInstrumentFound) {
  DownloadDialog dialog(dialogs, state,
                        {QStringLiteral("/dev/no-such-port-1"), QStringLiteral("/dev/no-such-port-2")});
  dialog.set_answer_wait(50);
  EXPECT_EQ(run(dialog), QDialog::Rejected);
  ASSERT_EQ(dialogs.shown.size(), 1);
  const auto& box = dialogs.shown.front();
  EXPECT_EQ(box.caption, QStringLiteral("Ошибка"));
  EXPECT_EQ(box.text,
            QStringLiteral("Прибор не обнаружен! Проверте правильность подключения согласно инструкции!"));
  EXPECT_EQ(box.icon, Dialogs::Icon::Error);
  EXPECT_EQ(box.buttons, QList<Dialogs::Button>{Dialogs::Button::Ok});
}

TEST_F(DownloadDialogTest, ExchangeErrorInAStandardErrorBox) {
  sim::SimulatorOptions o;
  o.instrument.fault = sim::Fault::WrongType;
  sim::Simulator simulator(o);
  DownloadDialog dialog(dialogs, state, {QString::fromStdString(simulator.start())});
  dialog.set_polling_delay(5);
  EXPECT_EQ(run(dialog), QDialog::Rejected);
  ASSERT_EQ(dialogs.shown.size(), 1);
  EXPECT_EQ(dialogs.shown.front().caption, QStringLiteral("Error"));
  EXPECT_EQ(dialogs.shown.front().text, QStringLiteral("Вы подключили не тот прибор !"));
  EXPECT_EQ(dialogs.shown.front().icon, Dialogs::Icon::Error);
  EXPECT_FALSE(dialog.controller().SerialPort1().IsOpen());
}

TEST_F(DownloadDialogTest, CancelWhileWaitingAndShownAgain) {
  sim::SimulatorOptions o;
  o.instrument.fault = sim::Fault::Silence;
  sim::Simulator silent(o);
  DownloadDialog dialog(dialogs, state, {QString::fromStdString(silent.start())});
  dialog.set_polling_delay(5);
  const int result = run(dialog, [&] {
    if (text(dialog, "StaticText2") != QStringLiteral("Ожидание готовности прибора ...") ||
        !dialog.controller().SerialPort1().IsOpen()) {
      return false;
    }
    dialog.findChild<QPushButton*>(QStringLiteral("Button1"))->click();
    return true;
  });
  EXPECT_EQ(result, QDialog::Rejected);
  EXPECT_TRUE(dialogs.shown.isEmpty());
  EXPECT_FALSE(dialog.controller().SerialPort1().IsOpen());
  EXPECT_FALSE(dialog.findChild<QTimer*>(QStringLiteral("Timer1"))->isActive());

  // The same window serves the next download, which starts afresh; Escape works as "Отмена".
  sim::Simulator instrument(sim::SimulatorOptions{});
  dialog.set_ports({QString::fromStdString(instrument.start())});
  EXPECT_EQ(run(dialog), QDialog::Accepted);
  const int escaped = run(dialog, [&] {
    if (!dialog.controller().SerialPort1().IsOpen()) {
      return false;
    }
    dialog.reject();
    return true;
  });
  EXPECT_EQ(escaped, QDialog::Rejected);
  EXPECT_FALSE(dialog.controller().SerialPort1().IsOpen());
}

}  // namespace
}  // namespace vkt
