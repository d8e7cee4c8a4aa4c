#include "ui/aboutwindow.h"

#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include "ui/programtitle.h"

#ifndef VKT_VERSION
#define VKT_VERSION ""
#endif

namespace vkt {

namespace {

QLabel* centred_label(QWidget* parent, const QString& name, const QString& text, int point_size, bool bold,
                      int top) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  QFont font = program_font();
  font.setPointSize(point_size);
  font.setBold(bold);
  label->setFont(font);
  label->setAlignment(Qt::AlignCenter);
  label->setGeometry(0, top, 515, 24);
  return label;
}

}  // namespace

AboutWindow::AboutWindow(QWidget* parent) : QDialog(parent, Qt::Tool) {
  setObjectName(QStringLiteral("Tform6"));
  setWindowTitle(QStringLiteral("О программе"));
  setModal(true);
  setFixedSize(515, 151);

  centred_label(this, QStringLiteral("Label1"), program_title(), 12, true, 12);
  version_label_ = centred_label(this, QStringLiteral("Label2"), QString(), 10, false, 44);
  centred_label(this, QStringLiteral("Label3"),
                QStringLiteral("Программа для передачи данных с приборов ВКТ-РС7"), 10, false, 72);

  auto* ok = new QPushButton(QStringLiteral("Ок"), this);
  ok->setObjectName(QStringLiteral("Button1"));
  ok->setDefault(true);
  ok->setGeometry((515 - 75) / 2, 108, 75, 25);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

QString AboutWindow::version_text(const QString& compiled) {
  return compiled.size() >= 2 ? compiled : QStringLiteral("0.0.0.0");
}

void AboutWindow::showEvent(QShowEvent* event) {
  // Computed each time the window is shown.
  version_label_->setText(QStringLiteral("Версия ") + version_text(QStringLiteral(VKT_VERSION)));
  move(screen()->availableGeometry().center() - rect().center());
  QDialog::showEvent(event);
}

}  // namespace vkt
