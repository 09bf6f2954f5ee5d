#pragma once

#include <QString>
#include <QTime>

#include "reader/outcome.h"
#include "till/till.h"

namespace palmota::ui {

// What an operation met, in French, for the operator who points at the box showing its
// result, naming the device the Reader was on: "Le lecteur ne répond pas sur
// /dev/ttyUSB0.", "Aucun badge sur le lecteur de /dev/ttyUSB0.", and after a success the
// time it ended, `at` ("Lu à 14:32:05 sur /dev/ttyUSB0", "Écrit à 14:32:05 sur ...").
// Texts that came from outside (a device path, a port text) are shown with their control
// characters escaped.
QString outcomeText(const Outcome& outcome, QTime at);

// The same for a credit write and the till's verdict on it: the write's own outcome, or
// why the till stopped it or doubts it ("Journal indisponible : rien n'a été écrit.").
QString verdictText(const till::WriteVerdict& verdict, QTime at);

}  // namespace palmota::ui
