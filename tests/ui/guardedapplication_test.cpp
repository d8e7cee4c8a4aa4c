// An error escaping an event handler is shown and the event loop goes on.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QTimer>
#include <stdexcept>

#include "store/dbf/dbferror.h"
#include "ui/guardedapplication.h"

namespace vkt {
namespace {

class Throwing : public QObject {
 public:
  bool event(QEvent* e) override {
    if (e->type() == QEvent::User) {
      throw dbf::DbfError(dbf::ErrorKind::Damaged, "Файл таблицы повреждён: проверка");
    }
    return QObject::event(e);
  }
};

TEST(GuardedApplication, ShowsTheErrorAndKeepsRunning) {
  static int argc = 1;
  static char name[] = "guardedapplication_test";
  static char* argv[] = {name, nullptr};
  GuardedApplication app(argc, argv);
  QStringList shown;
  app.set_error_reporter([&](const QString& text) { shown << text; });

  Throwing target;
  QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
  QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
  bool still_running = false;
  QTimer::singleShot(0, [&] {
    still_running = true;
    QCoreApplication::quit();
  });
  QCoreApplication::exec();

  EXPECT_TRUE(still_running);
  ASSERT_EQ(shown.size(), 2);
  EXPECT_TRUE(shown[0].contains(QStringLiteral("Файл таблицы повреждён: проверка")))
      << shown[0].toStdString();
}

}  // namespace
}  // namespace vkt
