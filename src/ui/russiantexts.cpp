#include "ui/russiantexts.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace vkt {

bool install_russian_qt_texts(QCoreApplication& application) {
  const QStringList folders = {
      QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("translations")),
      QLibraryInfo::path(QLibraryInfo::TranslationsPath)};
  auto* translator = new QTranslator(&application);
  for (const QString& folder : folders) {
    if (translator->load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qtbase"),
                         QStringLiteral("_"), folder)) {
      return QCoreApplication::installTranslator(translator);
    }
  }
  delete translator;
  return false;
}

}  // namespace vkt
