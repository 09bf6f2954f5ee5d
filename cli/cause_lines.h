#pragma once

#include <string>

#include "cli/write_report.h"
#include "till/till.h"

namespace palmota::cli {

// The line palmota-cli writes on standard error (and as the JSON `error`) when a till's
// verdict is a failure, in English, naming the device, the badge and what to do. A link
// operation's failure is told by describe() (reader/outcome.h), the journal's by the
// ledger (till/ledger.h); the till's own causes are told here, each once.

// A write, a verified write or a top-up; empty when it succeeded, or when the journal's own
// line says why it stopped. `amountText`: the amount as given on the command line.
std::string writeFailureLine(WriteKind kind, const std::string& amountText,
                             const till::WriteVerdict& verdict);

// Journal check; empty when the badge holds no more than the journal explains.
// `serial` and `credit`: the texts the reads gave.
std::string checkFailureLine(const till::CheckVerdict& verdict, const std::string& serial,
                             const std::string& credit);

}  // namespace palmota::cli
