#include "ui/helpwindow.h"

#include <QFile>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

// The ui layer is a static library: its resources must be registered by hand.
static void init_ui_resources() {
  Q_INIT_RESOURCE(ui);
}

namespace vkt {

HelpWindow::HelpWindow(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("HelpWindow"));
  setWindowTitle(QStringLiteral("Помощь"));
  resize(640, 560);
  auto* layout = new QVBoxLayout(this);
  auto* text = new QTextBrowser(this);
  text->setObjectName(QStringLiteral("HelpText"));
  text->setHtml(contents());
  layout->addWidget(text);
  auto* close = new QPushButton(QStringLiteral("Закрыть"), this);
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
  layout->addWidget(close, 0, Qt::AlignRight);
}

QString HelpWindow::contents() {
  init_ui_resources();
  QFile file(QStringLiteral(":/help/help.html"));
  if (!file.open(QIODevice::ReadOnly)) {
    return {};
  }
  return QString::fromUtf8(file.readAll());
}

}  // namespace vkt
