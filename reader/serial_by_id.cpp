#include "reader/serial_by_id.h"

#include <QDir>
#include <QFileInfo>

namespace palmota {

QHash<QString, QString> serialByIdLinks(const QString& dir) {
    QHash<QString, QString> links;
    for (const QFileInfo& link :
         QDir(dir).entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name)) {
        if (!link.isSymLink()) continue;
        const QString target = link.canonicalFilePath();
        if (!target.isEmpty() && !links.contains(target)) links.insert(target, link.filePath());
    }
    return links;
}

}  // namespace palmota
