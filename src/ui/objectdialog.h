#pragma once

// "Параметры объекта": what the engineer states about the tested object (object, layer,
// operator, the instrument's serial number) and the modulus each point must reach. Kept with the
// file's waveforms, never in the measurement file itself.

#include <QDialog>

#include "store/measurement/evaluation.h"

class QLabel;
class QLineEdit;

namespace vkt {

class ObjectDialog : public QDialog {
  Q_OBJECT

 public:
  explicit ObjectDialog(const measurement::ObjectParameters& parameters, QWidget* parent = nullptr);

  // What the fields hold; valid after the dialog was accepted.
  const measurement::ObjectParameters& parameters() const { return parameters_; }

  // Takes the fields; a required modulus that is not a positive number keeps the dialog open
  // and says so under the field.
  void accept() override;

 private:
  measurement::ObjectParameters parameters_;
  QLineEdit* object_ = nullptr;
  QLineEdit* layer_ = nullptr;
  QLineEdit* operator_ = nullptr;
  QLineEdit* serial_ = nullptr;
  QLineEdit* required_ = nullptr;
  QLabel* error_ = nullptr;
};

}  // namespace vkt
