#pragma once

#include <QJsonObject>
#include <string>
#include <vector>

#include "till/till.h"

namespace palmota::cli {

// How palmota-cli tells a write, a verified write or a top-up: its lines on standard
// output, its results for --json, its lines for standard error.
struct WriteReport {
    std::vector<std::string> lines;
    QJsonObject results;
    std::vector<std::string> errors;  // without the "palmota-cli: " prefix
};

enum class WriteKind { Write, VerifiedWrite, Topup };

// `amountText`: the amount as given on the command line.
WriteReport writeReport(WriteKind kind, const std::string& amountText,
                        const till::WriteVerdict& verdict);

}  // namespace palmota::cli
