#include <QByteArray>
#include <QtGlobal>

#include "cli/pdf_platform.h"

namespace palmota::cli {

// Qt's offscreen platform on Windows has no fonts of its own: its pages would carry no text.
void preparePdfPlatform() {
    qputenv("QT_QPA_PLATFORM", "windows");
}

}  // namespace palmota::cli
