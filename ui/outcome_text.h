#pragma once

#include <QString>
#include <QTime>

#include "reader/outcome.h"

namespace palmota::ui {

// What an operation met, in French, for the operator who points at the box showing its
// result, naming the device the Reader was on: "Le lecteur ne répond pas sur
// /dev/ttyUSB0.", "Aucun badge sur le lecteur de /dev/ttyUSB0.", and after a success the
// time it ended, `at` ("Lu à 14:32:05 sur /dev/ttyUSB0", "Écrit à 14:32:05 sur ...").
// Texts that came from outside (a device path, a port text) are shown with their control
// characters escaped.
QString outcomeText(const Outcome& outcome, QTime at);

}  // namespace palmota::ui
