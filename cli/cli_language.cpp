#include "cli/cli_language.h"

#include <QCoreApplication>
#include <QTranslator>
#include <cstdlib>

namespace palmota::cli {

bool frenchWanted(const std::function<std::string(const char*)>& variable, const QLocale& system) {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const std::string value = variable(name);
        if (!value.empty()) return value.rfind("fr", 0) == 0;
    }
    return system.language() == QLocale::French;
}

bool installCliTranslations() {
    const auto variable = [](const char* name) { return qEnvironmentVariable(name).toStdString(); };
    if (!frenchWanted(variable, QLocale::system())) return true;
    // Made by lrelease from translations/palmota_fr.ts and carried in the program itself.
    static QTranslator translator;
    return translator.load(QStringLiteral(":/i18n/palmota_fr.qm")) &&
           QCoreApplication::installTranslator(&translator);
}

}  // namespace palmota::cli
