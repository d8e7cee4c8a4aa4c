#include "ui/measurementchoice.h"

#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

#include "ui/programtitle.h"

namespace vkt {

MeasurementChoiceWindow::MeasurementChoiceWindow(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint) {
  setObjectName(QStringLiteral("TForm7"));
  setWindowTitle(QStringLiteral("График"));
  setFont(program_font());
  setModal(true);
  setFixedSize(146, 154);

  for (int i = 0; i < 3; ++i) {
    auto* button = new QRadioButton(QStringLiteral("Измерение №%1").arg(i + 1), this);
    button->setObjectName(QStringLiteral("RadioButton%1").arg(i + 1));
    button->setGeometry(16, 16 + 28 * i, 120, 20);
    buttons_[i] = button;
  }
  buttons_[0]->setChecked(true);

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("Button1"));
  ok->setDefault(true);
  ok->setGeometry((146 - 75) / 2, 112, 75, 25);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

int MeasurementChoiceWindow::drop() const {
  for (int i = 0; i < 3; ++i) {
    if (buttons_[i]->isChecked()) {
      return i + 1;
    }
  }
  return 1;
}

void MeasurementChoiceWindow::set_drop(int drop) {
  if (drop >= 1 && drop <= 3) {
    buttons_[drop - 1]->setChecked(true);
  }
}

QRadioButton* MeasurementChoiceWindow::radio_button(int drop) const {
  return drop >= 1 && drop <= 3 ? buttons_[drop - 1] : nullptr;
}

void MeasurementChoiceWindow::showEvent(QShowEvent* event) {
  move(screen()->availableGeometry().center() - rect().center());
  QDialog::showEvent(event);
}

}  // namespace vkt
