#pragma once

#include <QByteArray>
#include <QList>

namespace palmota::ui {

// A Windows icon file holding `pngs`, each a square PNG image (sizes up to 256 pixels),
// in the order given. Empty when an image is not a square PNG of such a size.
QByteArray icoFile(const QList<QByteArray>& pngs);

}  // namespace palmota::ui
