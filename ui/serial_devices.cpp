#include "ui/serial_devices.h"

#include <QDir>
#include <algorithm>

namespace palmota::ui {

namespace {
// The number after the prefix (ttyUSB10 -> 10); names with no number sort first.
long deviceNumber(const QString& name, qsizetype prefixLength) {
    bool ok = false;
    const long number = name.mid(prefixLength).toLong(&ok);
    return ok ? number : -1;
}
}  // namespace

QStringList serialAdapterDevices(const QString& deviceDir) {
    const QDir dir(deviceDir);
    QStringList devices;
    for (const QString& prefix : {QStringLiteral("ttyUSB"), QStringLiteral("ttyACM")}) {
        // System: device nodes; Files: plain files, as a test directory holds them.
        QStringList names =
            dir.entryList({prefix + u'*'}, QDir::System | QDir::Files | QDir::NoDotAndDotDot);
        std::sort(names.begin(), names.end(), [&](const QString& a, const QString& b) {
            const long na = deviceNumber(a, prefix.size());
            const long nb = deviceNumber(b, prefix.size());
            return na != nb ? na < nb : a < b;
        });
        for (const QString& name : names) devices.append(dir.filePath(name));
    }
    return devices;
}

}  // namespace palmota::ui
