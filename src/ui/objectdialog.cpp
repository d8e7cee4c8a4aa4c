#include "ui/objectdialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

namespace vkt {

namespace {

QString from_utf8(const std::string& s) {
  return QString::fromStdString(s);
}

std::string trimmed(const QLineEdit* edit) {
  return edit->text().trimmed().toStdString();
}

// The required modulus as the user reads numbers: the system's decimal separator, no needless
// zeros.
QString modulus_text(std::optional<double> value) {
  if (!value) {
    return {};
  }
  QString text = QString::number(*value, 'g', 15);
  return text.replace('.', QLocale::system().decimalPoint());
}

}  // namespace

ObjectDialog::ObjectDialog(const measurement::ObjectParameters& parameters, QWidget* parent)
    : QDialog(parent), parameters_(parameters) {
  setObjectName(QStringLiteral("ObjectParameters"));
  setWindowTitle(QStringLiteral("Параметры объекта"));
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  layout->addLayout(form);
  const auto add = [&](const char* name, const QString& label, const std::string& text) {
    auto* edit = new QLineEdit(from_utf8(text), this);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setMaxLength(200);
    edit->setMinimumWidth(fontMetrics().horizontalAdvance(QLatin1Char('0')) * 36);
    form->addRow(label, edit);
    return edit;
  };
  object_ = add("ObjectEdit", QStringLiteral("Объект:"), parameters.object);
  layer_ = add("LayerEdit", QStringLiteral("Слой:"), parameters.layer);
  operator_ = add("OperatorEdit", QStringLiteral("Оператор:"), parameters.operator_name);
  serial_ = add("SerialEdit", QStringLiteral("Заводской номер прибора:"), parameters.instrument_serial);
  required_ = add("RequiredEdit", QStringLiteral("Требуемый модуль, МН/м²:"), {});
  required_->setText(modulus_text(parameters.required_modulus));
  required_->setToolTip(QStringLiteral("Пусто: точки не оцениваются"));
  // Read from the instrument at each download, not typed.
  auto* firmware =
      new QLabel(parameters.instrument_firmware.empty() ? QStringLiteral("—")
                                                        : from_utf8(parameters.instrument_firmware),
                 this);
  firmware->setObjectName(QStringLiteral("FirmwareText"));
  form->insertRow(4, QStringLiteral("Версия ПО прибора:"), firmware);

  error_ = new QLabel(this);
  error_->setObjectName(QStringLiteral("ErrorText"));
  error_->setStyleSheet(QStringLiteral("color: #b00000;"));
  error_->setWordWrap(true);
  error_->hide();
  layout->addWidget(error_);
  connect(required_, &QLineEdit::textEdited, error_, &QWidget::hide);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
  buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &ObjectDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &ObjectDialog::reject);
}

void ObjectDialog::accept() {
  std::optional<double> required;
  if (!required_->text().trimmed().isEmpty()) {
    required = measurement::parse_required_modulus(required_->text().toStdString());
    if (!required) {
      error_->setText(QStringLiteral("Требуемый модуль должен быть положительным числом (МН/м²)."));
      error_->show();
      required_->setFocus();
      required_->selectAll();
      return;
    }
  }
  parameters_.object = trimmed(object_);
  parameters_.layer = trimmed(layer_);
  parameters_.operator_name = trimmed(operator_);
  parameters_.instrument_serial = trimmed(serial_);
  parameters_.required_modulus = required;
  QDialog::accept();
}

}  // namespace vkt
