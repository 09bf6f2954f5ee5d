#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include "cli/pdf_platform.h"

namespace palmota::cli {

namespace {

QtMessageHandler previous = nullptr;

// Run from cron, ssh or a service, no XDG_RUNTIME_DIR is set, and Qt says on standard error
// that it takes a folder of its own instead: nothing is wrong, and a script that takes any
// line there for a failure must not see one.
void quietRuntimeFolder(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set"))) return;
    if (previous) previous(type, context, message);
}

}  // namespace

void preparePdfPlatform() {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    previous = qInstallMessageHandler(quietRuntimeFolder);
}

}  // namespace palmota::cli
