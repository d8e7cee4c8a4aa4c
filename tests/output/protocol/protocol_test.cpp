// The protocol as the engineer gets it: pages written to PDF and read back with pdftotext, and a
// page painted into a picture to see the curves.
#include <gtest/gtest.h>

#include <QColor>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <filesystem>

#include "core/programstate.h"
#include "image/imagelayout.h"
#include "output/protocol/protocoldata.h"
#include "output/protocol/protocolpainter.h"
#include "output/protocol/protocolpdf.h"
#include "sim/measurements.h"
#include "store/measurement/measurementdocument.h"
#include "store/waveform/waveformfile.h"

namespace vkt::protocol {
namespace {

class ProtocolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    records_ = sim::make_measurements(4, 7);
    // A file as "Создать" makes it: rows and their waveforms beside them.
    const std::vector<std::uint8_t> image = image::build_image(records_);
    std::copy(image.begin(), image.end(), state_.mem_image.begin());
    state_.image_length = image.size();
    db_ = std::filesystem::path(dir_.filePath(QStringLiteral("field.db")).toStdString());
    document_.reserve(db_);
    document_.create(state_, ",");
    document_.set_filter("NB_TYPE=0");
  }

  static bool have_pdftotext() {
    return !QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty();
  }

  // The pages' texts, one string per page.
  QStringList pdf_pages(const Protocol& protocol) {
    const QString file = dir_.filePath(QStringLiteral("protocol.pdf"));
    QString error;
    EXPECT_TRUE(write_pdf(protocol, file, &error)) << error.toStdString();
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), file, QStringLiteral("-")});
    EXPECT_TRUE(p.waitForFinished(60000));
    QStringList pages = QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\f'));
    pages.removeLast();  // after the last form feed
    return pages;
  }

  // Pixels of the second and third drops' colours (blue, red) on a painted page: only curves
  // have them.
  static int curve_pixels(const Protocol& protocol, int page) {
    QImage picture(840, 1188, QImage::Format_RGB32);  // A4 at 4 pixels per mm
    picture.setDotsPerMeterX(4000);
    picture.setDotsPerMeterY(4000);
    picture.fill(Qt::white);
    QPainter painter(&picture);
    ProtocolPainter(&picture).paint_page(painter, protocol, page);
    painter.end();
    int count = 0;
    for (int yy = 0; yy < picture.height(); ++yy) {
      for (int xx = 0; xx < picture.width(); ++xx) {
        const QColor c = picture.pixelColor(xx, yy);
        count +=
            (c.blue() > 150 && c.red() < 100) || (c.red() > 150 && c.blue() < 100 && c.green() < 100) ? 1 : 0;
      }
    }
    return count;
  }

  // To the nearest 10 N, halves up.
  static QString kilonewtons(std::uint16_t newtons) {
    const int tens = (newtons + 5) / 10;
    return QStringLiteral("%1,%2").arg(tens / 100).arg(tens % 100, 2, 10, QLatin1Char('0'));
  }

  QTemporaryDir dir_;
  std::vector<image::DeviceARecord> records_;
  ProgramState state_;
  std::filesystem::path db_;
  measurement::MeasurementDocument document_;
};

TEST_F(ProtocolTest, EachChosenPointHasItsPageWithValuesAndVerdictAndASummaryCloses) {
  if (!have_pdftotext()) {
    GTEST_SKIP() << "pdftotext is not installed";
  }
  const std::vector<std::uint32_t> rows = document_.rows();
  ASSERT_EQ(rows.size(), 4u);
  const std::vector<std::size_t> chosen = {0, 1, 3};
  // The second point's modulus is the requirement: it passes, lower ones fail.
  measurement::ObjectParameters parameters;
  parameters.object = "Дорога М-11, ПК 12+40";
  parameters.layer = "Щебёночное основание";
  parameters.operator_name = "Петров И. С.";
  parameters.instrument_serial = "0457";
  parameters.required_modulus = records_[1].modulus[0];
  const std::vector<std::uint32_t> recnos = {rows[0], rows[1], rows[3]};
  const Protocol protocol = read_protocol(document_, recnos, parameters);
  const QStringList pages = pdf_pages(protocol);
  ASSERT_EQ(pages.size(), 4);

  double sum = 0;
  double low = 1e9;
  double high = 0;
  int passing = 0;
  for (std::size_t i = 0; i < chosen.size(); ++i) {
    const image::DeviceARecord& m = records_[chosen[i]];
    const QString& page = pages[static_cast<qsizetype>(i)];
    SCOPED_TRACE(i);
    EXPECT_TRUE(page.contains(QStringLiteral("ПРОТОКОЛ ИСПЫТАНИЯ № %1").arg(chosen[i] + 1)));
    EXPECT_TRUE(page.contains(QStringLiteral("Стр. %1 из 4").arg(i + 1)));
    for (const char* text : {"Дорога М-11, ПК 12+40", "Щебёночное основание", "Петров И. С.", "зав. № 0457",
                             "Осадка штампа", "Сила удара"}) {
      EXPECT_TRUE(page.contains(QString::fromUtf8(text))) << text;
    }
    EXPECT_TRUE(page.contains(QString::fromStdString(image::dependency_name(m.dependency))));
    for (std::size_t k = 0; k < 4; ++k) {
      EXPECT_TRUE(page.contains(kilonewtons(m.force[k]))) << "force " << k;
      EXPECT_TRUE(page.contains(QString::number(m.displacement[k]))) << "settlement " << k;
      EXPECT_TRUE(page.contains(QString::number(m.modulus[k]))) << "modulus " << k;
    }
    const bool passes = m.modulus[0] >= records_[1].modulus[0];
    passing += passes ? 1 : 0;
    EXPECT_TRUE(page.contains(passes ? QStringLiteral("Заключение: соответствует требованию")
                                     : QStringLiteral("Заключение: не соответствует требованию")))
        << page.toStdString();
    sum += m.modulus[0];
    low = std::min<double>(low, m.modulus[0]);
    high = std::max<double>(high, m.modulus[0]);
  }
  const QString summary = pages.back().simplified();
  EXPECT_TRUE(summary.contains(QStringLiteral("СВОДКА РЕЗУЛЬТАТОВ")));
  EXPECT_TRUE(summary.contains(QStringLiteral("Количество точек 3")));
  EXPECT_TRUE(summary.contains(decimal(sum / 3, 1))) << summary.toStdString();
  EXPECT_TRUE(summary.contains(QStringLiteral("Минимум, МН/м² %1").arg(low)));
  EXPECT_TRUE(summary.contains(QStringLiteral("Максимум, МН/м² %1").arg(high)));
  EXPECT_TRUE(summary.contains(QStringLiteral("%1 из 3").arg(passing)));
  EXPECT_TRUE(summary.contains(QStringLiteral("Стр. 4 из 4")));
  EXPECT_GT(curve_pixels(protocol, 0), 500);
}

TEST_F(ProtocolTest, APointWithoutWaveformsKeepsItsPageAndStoredValues) {
  if (!have_pdftotext()) {
    GTEST_SKIP() << "pdftotext is not installed";
  }
  document_.close();
  std::filesystem::remove(waveform::companion_path(db_));
  document_.open(db_, measurement::Access::ReadOnly);
  document_.set_filter("NB_TYPE=0");
  const std::vector<std::uint32_t> one = {document_.rows()[2]};
  const Protocol protocol = read_protocol(document_, one, {});
  const QStringList pages = pdf_pages(protocol);
  ASSERT_EQ(pages.size(), 1);  // a single point: no summary
  const QString& page = pages[0];
  EXPECT_TRUE(page.contains(QStringLiteral("Осциллограммы не сохранены")));
  EXPECT_TRUE(page.contains(QStringLiteral("Заключение: не выносится")));
  EXPECT_TRUE(page.contains(QString::number(records_[2].modulus[0])));
  EXPECT_TRUE(page.contains(kilonewtons(records_[2].force[0])));
  EXPECT_FALSE(page.contains(QStringLiteral("Сила удара F")));
  EXPECT_EQ(curve_pixels(protocol, 0), 0);
}

}  // namespace
}  // namespace vkt::protocol
