#include "output/protocol/protocolpdf.h"

#include <QFileInfo>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

#include "output/protocol/protocolpainter.h"

namespace vkt::protocol {

namespace {

constexpr int kPdfDotsPerInch = 300;

}  // namespace

void set_up_page(QPagedPaintDevice& device) {
  device.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0),
                                   QPageLayout::Millimeter));
}

void paint_pages(QPainter& painter, QPagedPaintDevice& device, const Protocol& protocol,
                 const std::vector<int>& pages) {
  ProtocolPainter protocol_painter(&device);
  bool first = true;
  for (const int page : pages) {
    if (!first) {
      device.newPage();
    }
    first = false;
    protocol_painter.paint_page(painter, protocol, page - 1);
  }
}

bool write_pdf(const Protocol& protocol, const QString& path, QString* error) {
  auto fail = [error](const QString& why) {
    if (error != nullptr) {
      *error = why;
    }
    return false;
  };
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) {
    return fail(QStringLiteral("Не удалось создать файл %1: %2").arg(path, file.errorString()));
  }
  {
    QPdfWriter writer(&file);
    writer.setCreator(QStringLiteral("ВКТ-РС7"));
    writer.setTitle(QStringLiteral("Протокол испытания"));
    // A tenth of a millimetre is finer than any printer needs; fewer digits per coordinate make
    // the page streams shorter, and compressing them is most of the writing.
    writer.setResolution(kPdfDotsPerInch);
    set_up_page(writer);
    QPainter painter;
    if (!painter.begin(&writer)) {
      file.cancelWriting();
      return fail(QStringLiteral("Не удалось записать файл %1").arg(path));
    }
    std::vector<int> all;
    for (int p = 1; p <= protocol.page_count(); ++p) {
      all.push_back(p);
    }
    paint_pages(painter, writer, protocol, all);
    painter.end();
  }
  if (!file.commit()) {
    return fail(QStringLiteral("Не удалось записать файл %1: %2").arg(path, file.errorString()));
  }
  return true;
}

}  // namespace vkt::protocol
