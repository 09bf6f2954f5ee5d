#include "app/qt_french.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace palmota::app {

bool installQtFrench(QTranslator& translator) {
    for (const QString& folder :
         {QLibraryInfo::path(QLibraryInfo::TranslationsPath),
          QCoreApplication::applicationDirPath() + QStringLiteral("/translations")}) {
        if (translator.load(QStringLiteral("qtbase_fr"), folder))
            return QCoreApplication::installTranslator(&translator);
    }
    return false;
}

}  // namespace palmota::app
