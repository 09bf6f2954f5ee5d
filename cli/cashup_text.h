#pragma once

#include <QJsonObject>
#include <QString>
#include <string>
#include <vector>

#include "journal/cashup.h"

namespace palmota::cli {

// The cash-up as a cashier reads it (text within 80 columns, in the language of the
// translator installed: French under a French locale) and as scripts read it (JSON, whose
// names and values never depend on the language). Pure functions of the shapes.

// "2026-12-09 00:30:21 +01:00": the station's clock at that instant.
std::string stationTimeText(const journal::StationTime& time);
// The standing as scripts name it: confirmed, refused, doubtful, resolved.
std::string standingName(journal::WriteStanding standing);
// The standing as a person reads it, translated.
QString standingText(journal::WriteStanding standing);

// journal list: the writes one a line under a heading per station and day: time, operator,
// badge, credit before -> after, top-up, outcome. A name too long for its cell is cut there,
// and shown whole on a line of its own above the write.
std::string writeListText(const std::vector<journal::ListedWrite>& writes);
// One object a write.
QJsonObject listedWriteJson(const journal::ListedWrite& write);
std::vector<QJsonObject> writeListJson(const std::vector<journal::ListedWrite>& writes);

// The report's lines per operator, as a table with its header.
std::string operatorsText(const std::vector<journal::OperatorLine>& lines);

// journal close / journal closure N: the closure as made, its figures, its operators, its
// doubtful writes still open, and the first characters of its chain head.
std::string closureText(const journal::Closure& closure);
QJsonObject closureJson(const journal::Closure& closure);

// How many characters of the chain head a printed closure carries: enough to tell a rewrite
// apart (64 bits), short enough to copy by hand.
inline constexpr int kChainHeadShown = 16;

// Objects as JSON lines, one a line.
std::string jsonLines(const std::vector<QJsonObject>& objects);

}  // namespace palmota::cli
