// "Параметры объекта" refuses a required modulus that is no positive number and keeps what the
// fields hold otherwise.
#include "ui/objectdialog.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>

namespace vkt {
namespace {

TEST(ObjectDialog, RequiredModulusMustBePositive) {
  measurement::ObjectParameters given;
  given.object = "Дорога М-4, ПК 12";
  given.required_modulus = 80;
  given.instrument_firmware = "07.12.03";
  ObjectDialog dialog(given);
  auto* required = dialog.findChild<QLineEdit*>("RequiredEdit");
  auto* error = dialog.findChild<QLabel*>("ErrorText");
  ASSERT_NE(required, nullptr);
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(dialog.findChild<QLineEdit*>("ObjectEdit")->text(), "Дорога М-4, ПК 12");
  EXPECT_EQ(required->text(), "80");

  for (const char* bad : {"-5", "0", "сорок"}) {
    required->setText(QString::fromUtf8(bad));
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Rejected) << bad;
    EXPECT_FALSE(error->isHidden()) << bad;
  }
  EXPECT_EQ(dialog.parameters(), given);

  required->setText(" 45,5 ");
  dialog.findChild<QLineEdit*>("LayerEdit")->setText("  Щебёночное основание ");
  dialog.accept();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.parameters().required_modulus, 45.5);
  EXPECT_EQ(dialog.parameters().layer, "Щебёночное основание");
  // The firmware is shown, not typed, and kept.
  EXPECT_EQ(dialog.findChild<QLabel*>("FirmwareText")->text(), "07.12.03");
  EXPECT_EQ(dialog.parameters().instrument_firmware, "07.12.03");

  // An empty requirement is allowed: the rows are simply not judged.
  required->clear();
  dialog.accept();
  EXPECT_FALSE(dialog.parameters().required_modulus);
}

}  // namespace
}  // namespace vkt
